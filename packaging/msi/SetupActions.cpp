// Custom actions of the MSI package, called by Windows Installer. Each one
// catches at its edge: a failure here must never break an installation.
#include "CityCodesTarget.h"
#include "HeldFolderChain.h"
#include "KordavinUtils.h"
#include "PathText.h"
#include "ProgramRestart.h"
#include "RunningCopies.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

namespace {

constexpr DWORD kStopTimeoutMs = 30000;
// The deferred actions get their data through a property named after them.
constexpr wchar_t kPlaceCityCodesData[] = L"PlaceCityCodes";
constexpr wchar_t kStartStoppedCopiesData[] = L"StartStoppedCopies";
constexpr wchar_t kTableName[] = L"CityCodes.db";

// A text from Windows Installer, read by a call that reports the room it needs
// (without the terminating NUL) when the buffer is too small.
template <typename ReadText>
std::wstring MsiText(ReadText read) {
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(value.size());
        const UINT result = read(value.data(), &length);
        if (result == ERROR_SUCCESS) {
            value.resize(length);
            return value;
        }
        if (result != ERROR_MORE_DATA) return {};
        value.resize(static_cast<size_t>(length) + 1);
    }
}

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    return MsiText([&](wchar_t* buffer, DWORD* length) { return ::MsiGetPropertyW(install, name, buffer, length); });
}

// A formatted text such as "[#CityCodes.db]" (an installed file's full path).
std::wstring Formatted(MSIHANDLE install, const wchar_t* text) {
    PMSIHANDLE record = ::MsiCreateRecord(0);
    if (!record || ::MsiRecordSetStringW(record, 0, text) != ERROR_SUCCESS) return {};
    return MsiText(
        [&](wchar_t* buffer, DWORD* length) { return ::MsiFormatRecordW(install, record, buffer, length); });
}

void Log(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = ::MsiCreateRecord(0);
    if (!record) return;
    ::MsiRecordSetStringW(record, 0, (L"Kordavin Informer: " + text).c_str());
    ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

// "folder|source file": "|" is never part of a file name.
bool SplitPair(const std::wstring& data, std::wstring& first, std::wstring& second) {
    const size_t separator = data.find(L'|');
    if (separator == std::wstring::npos || separator == 0 || separator + 1 >= data.size()) return false;
    first = data.substr(0, separator);
    second = data.substr(separator + 1);
    return true;
}

}  // namespace

// Asks the copies running from the installation folder to end before their
// files are replaced or removed. When one did, hands their sessions to
// StartStoppedCopies, so that the new version is started again. A copy that does
// not end is left to Windows Installer's own handling of files in use.
extern "C" __declspec(dllexport) UINT __stdcall StopRunningCopies(MSIHANDLE install) {
    try {
        const std::wstring program = JoinPath(Property(install, L"INSTALLFOLDER"), L"KordavinInformer.exe");
        std::vector<DWORD> sessions = SessionsOf(ExitRequestWindowsOf(program));
        switch (StopRunningCopies(program, kStopTimeoutMs)) {
            case TStopResult::NoneRunning:
                return ERROR_SUCCESS;
            case TStopResult::Stopped:
                Log(install, L"the running copy of " + program + L" ended");
                break;
            case TStopResult::StillRunning:
                Log(install, L"a copy of " + program + L" is still running");
                break;
        }
        if (sessions.empty()) {
            DWORD own = 0;
            ::ProcessIdToSessionId(::GetCurrentProcessId(), &own);
            sessions.push_back(own);
        }
        ::MsiSetPropertyW(install, kStartStoppedCopiesData, RestartData(sessions, program).c_str());
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

// Starts the program again in each session whose copy StopRunningCopies ended,
// as the user signed in there; never with the installer's own rights (see
// ProgramRestart.h). Deferred, as the machine.
extern "C" __declspec(dllexport) UINT __stdcall StartStoppedCopies(MSIHANDLE install) {
    try {
        const std::wstring data = Property(install, L"CustomActionData");
        std::vector<DWORD> sessions;
        std::wstring program;
        if (!ParseRestartData(data, sessions, program)) return ERROR_SUCCESS;
        for (const TRestartResult& result : RestartStoppedCopies(data, CurrentInstallerIdentity()))
            Log(install, RestartResultText(result, program));
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

// Hands PlaceCityCodes the folder where the shipped city-code table goes and the
// installed table, or logs that a table is there already.
extern "C" __declspec(dllexport) UINT __stdcall FindCityCodesFolder(MSIHANDLE install) {
    try {
        const std::wstring folder = CityCodesFolderToBuild(Property(install, L"INSTALLFOLDER"));
        if (folder.empty()) {
            Log(install, L"the city-code table exists already and is kept");
            return ERROR_SUCCESS;
        }
        const std::wstring source = Formatted(install, L"[#CityCodes.db]");
        if (!source.empty()) ::MsiSetPropertyW(install, kPlaceCityCodesData, (folder + L"|" + source).c_str());
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

// Copies the shipped table into its folder as the machine, which a standard
// user may have made: see HeldFolderChain.h. The common data folder's default
// subscriber directory folder is made, where missing, for the users to write,
// as they no longer can make it themselves. A failure only leaves the table to
// be built later with citycodes.exe.
extern "C" __declspec(dllexport) UINT __stdcall PlaceCityCodes(MSIHANDLE install) {
    try {
        std::wstring folder;
        std::wstring source;
        if (!SplitPair(Property(install, L"CustomActionData"), folder, source)) return ERROR_SUCCESS;
        const std::wstring dataRoot = InstallerDataRoot();
        THeldFolderChain chain;
        const TPlaceResult opened = chain.Open(dataRoot, folder);
        if (opened.Status != TPlaceStatus::Done) {
            Log(install, L"the city-code table is not placed: " + PlaceResultText(opened));
            return ERROR_SUCCESS;
        }
        const std::wstring shared = DefaultAbonentPhoneDir();
        const std::wstring rootPrefix = IncludeTrailingPathDelimiter(dataRoot);
        if (!dataRoot.empty() && chain.Holds(dataRoot) && shared.size() > rootPrefix.size() &&
            shared.compare(0, rootPrefix.size(), rootPrefix) == 0) {
            const TPlaceResult made =
                chain.MakeFolder(dataRoot, shared.substr(rootPrefix.size()), kSharedFolderSecurity);
            Log(install, L"the subscriber directory's folder: " + PlaceResultText(made));
        }
        Log(install, L"the city-code table: " + PlaceResultText(chain.PlaceCopy(kTableName, source)));
    } catch (...) {
    }
    return ERROR_SUCCESS;
}
