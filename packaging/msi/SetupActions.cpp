// Custom actions of the MSI package, called by Windows Installer. Each one
// catches at its edge: a failure here must never break an installation.
#include "CityCodesTarget.h"
#include "PathText.h"
#include "RunningCopies.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

namespace {

constexpr DWORD kStopTimeoutMs = 30000;

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(value.size());
        const UINT result = ::MsiGetPropertyW(install, name, value.data(), &length);
        if (result == ERROR_SUCCESS) {
            value.resize(length);
            return value;
        }
        if (result != ERROR_MORE_DATA) return {};
        value.resize(static_cast<size_t>(length) + 1);
    }
}

void Log(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = ::MsiCreateRecord(0);
    if (!record) return;
    ::MsiRecordSetStringW(record, 0, text.c_str());
    ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

}  // namespace

// Asks the copies running from the installation folder to end before their
// files are replaced or removed; sets KORDAVIN_WAS_RUNNING when one did, so
// that the new version is started again. A copy that does not end is left to
// Windows Installer's own handling of files in use.
extern "C" __declspec(dllexport) UINT __stdcall StopRunningCopies(MSIHANDLE install) {
    try {
        const std::wstring program = JoinPath(Property(install, L"INSTALLFOLDER"), L"KordavinInformer.exe");
        switch (StopRunningCopies(program, kStopTimeoutMs)) {
            case TStopResult::NoneRunning:
                break;
            case TStopResult::Stopped:
                Log(install, L"Kordavin Informer: the running copy of " + program + L" ended");
                ::MsiSetPropertyW(install, L"KORDAVIN_WAS_RUNNING", L"1");
                break;
            case TStopResult::StillRunning:
                Log(install, L"Kordavin Informer: a copy of " + program + L" is still running");
                ::MsiSetPropertyW(install, L"KORDAVIN_WAS_RUNNING", L"1");
                break;
        }
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

// Sets KORDAVIN_CITYCODES_DIR to the folder where the shipped city-code table
// is to be built, or leaves it unset when a table is there already.
extern "C" __declspec(dllexport) UINT __stdcall FindCityCodesFolder(MSIHANDLE install) {
    try {
        const std::wstring folder = CityCodesFolderToBuild(Property(install, L"INSTALLFOLDER"));
        if (folder.empty())
            Log(install, L"Kordavin Informer: the city-code table exists already and is kept");
        else
            ::MsiSetPropertyW(install, L"KORDAVIN_CITYCODES_DIR", folder.c_str());
    } catch (...) {
    }
    return ERROR_SUCCESS;
}
