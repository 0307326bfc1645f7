#include "ProgramRestart.h"

#include "ExceptionText.h"
#include "TextConvert.h"
#include "ThreadPrivileges.h"
#include "UniqueHandle.h"

#include <userenv.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cwctype>

namespace {

constexpr wchar_t kSeparator = L'|';  // never part of a file name

// The thread's token when it impersonates one, else the process's.
UniqueKernelHandle EffectiveToken() {
    HANDLE token = nullptr;
    if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token) ||
        ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return UniqueKernelHandle(token);
    return UniqueKernelHandle();
}

TRestartResult Failure(DWORD session, DWORD error) {
    return {TRestartStatus::Failed, session, SystemErrorText(error)};
}

std::wstring FolderOf(const std::wstring& program) {
    const size_t delimiter = program.find_last_of(L"\\/");
    return delimiter == std::wstring::npos ? std::wstring() : program.substr(0, delimiter);
}

TRestartResult Start(HANDLE userToken, DWORD session, const std::wstring& program) {
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = FolderOf(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    wchar_t desktop[] = L"winsta0\\default";
    PROCESS_INFORMATION process{};
    BOOL started = FALSE;
    if (userToken) {
        // Giving a process another user's token takes these; the machine holds them.
        const TThreadPrivileges privileges{SE_ASSIGNPRIMARYTOKEN_NAME, SE_INCREASE_QUOTA_NAME};
        // The user's own environment (their %APPDATA%, %TEMP%), not the machine's.
        void* environment = nullptr;
        if (!::CreateEnvironmentBlock(&environment, userToken, FALSE)) environment = nullptr;
        startup.lpDesktop = desktop;
        started = ::CreateProcessAsUserW(userToken, program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                         CREATE_UNICODE_ENVIRONMENT, environment,
                                         folder.empty() ? nullptr : folder.c_str(), &startup, &process);
        const DWORD error = ::GetLastError();
        if (environment) ::DestroyEnvironmentBlock(environment);
        ::SetLastError(error);
    } else {
        started = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    }
    if (!started) return Failure(session, ::GetLastError());
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return {TRestartStatus::Started, session, {}};
}

}  // namespace

TInstallerIdentity CurrentInstallerIdentity() {
    TInstallerIdentity identity;
    const UniqueKernelHandle token = EffectiveToken();
    if (!token) return identity;
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
    DWORD size = 0;
    if (::GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size))
        identity.LocalSystem = ::IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, WinLocalSystemSid);
    TOKEN_ELEVATION elevation{};
    if (::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        identity.Elevated = elevation.TokenIsElevated != 0;
    return identity;
}

TRestartWay ChooseRestartWay(const TInstallerIdentity& installer) {
    if (installer.LocalSystem) return TRestartWay::AsSessionUser;
    if (installer.Elevated) return TRestartWay::NotAtAll;
    return TRestartWay::Directly;
}

std::wstring RestartData(const std::vector<DWORD>& sessions, const std::wstring& program) {
    std::wstring data;
    for (DWORD session : sessions) {
        if (!data.empty()) data += L',';
        data += std::to_wstring(session);
    }
    return data + kSeparator + program;
}

bool ParseRestartData(const std::wstring& data, std::vector<DWORD>& sessions, std::wstring& program) {
    sessions.clear();
    const size_t separator = data.find(kSeparator);
    if (separator == std::wstring::npos || separator + 1 >= data.size()) return false;
    program = data.substr(separator + 1);
    size_t at = 0;
    while (at < separator) {
        size_t end = data.find(L',', at);
        if (end == std::wstring::npos || end > separator) end = separator;
        const std::wstring number = data.substr(at, end - at);
        if (number.empty() || number.size() > 9 ||
            !std::all_of(number.begin(), number.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
            return false;
        const DWORD session = static_cast<DWORD>(std::stoul(number));
        if (std::find(sessions.begin(), sessions.end(), session) == sessions.end()) sessions.push_back(session);
        at = end + 1;
    }
    return !sessions.empty();
}

std::wstring RestartResultText(const TRestartResult& result, const std::wstring& program) {
    const std::wstring session = L" (session " + std::to_wstring(result.Session) + L")";
    switch (result.Status) {
    case TRestartStatus::Started: return L"started again as the signed-in user" + session + L": " + program;
    case TRestartStatus::NotStartedElevated:
        return L"not started again" + session +
               L": the installer runs with administrator rights and has no token of the user's own; "
               L"the user starts it: " + program;
    case TRestartStatus::NoUserInSession: return L"not started again" + session + L": nobody is signed in to it";
    case TRestartStatus::Failed: break;
    }
    return L"not started again" + session + L": " + result.Reason;
}

TRestartResult StartProgramAs(TRestartWay way, DWORD session, const std::wstring& program) {
    switch (way) {
    case TRestartWay::NotAtAll: return {TRestartStatus::NotStartedElevated, session, {}};
    case TRestartWay::Directly: return Start(nullptr, session, program);
    case TRestartWay::AsSessionUser: break;
    }
    HANDLE token = nullptr;
    if (!::WTSQueryUserToken(session, &token)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_NO_TOKEN) return {TRestartStatus::NoUserInSession, session, {}};
        return Failure(session, error);
    }
    const UniqueKernelHandle userToken(token);
    return Start(userToken.get(), session, program);
}

std::vector<TRestartResult> RestartStoppedCopies(const std::wstring& data, const TInstallerIdentity& installer,
                                                 const TProgramStarter& start) {
    std::vector<TRestartResult> results;
    std::vector<DWORD> sessions;
    std::wstring program;
    if (!ParseRestartData(data, sessions, program)) return results;
    const TRestartWay way = ChooseRestartWay(installer);
    // Without a user's token the installer starts a program only in its own
    // session, which is the only one whose copies it could have seen and ended.
    if (way != TRestartWay::AsSessionUser) sessions.resize(1);
    for (DWORD session : sessions) {
        try {
            results.push_back(start(way, session, program));
        } catch (...) {
            results.push_back({TRestartStatus::Failed, session, GetExceptionText(std::current_exception())});
        }
    }
    return results;
}
