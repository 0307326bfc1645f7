// unelevated COMMAND-LINE
// Runs the command line with the limited token linked to this process's own, as
// Windows runs a user's programs when UAC is on, waits for it and returns its
// exit code (125 when it cannot be started). Under Wine every program otherwise
// runs as an elevated administrator; the installation tests run what a user
// runs through it. Windows itself hands such a token out for identification
// only, so this works under Wine alone.
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

namespace {

// The command line after this program's own name.
std::wstring RestOfCommandLine() {
    const wchar_t* at = ::GetCommandLineW();
    if (*at == L'"') {
        ++at;
        while (*at && *at != L'"') ++at;
        if (*at) ++at;
    } else {
        while (*at && *at != L' ' && *at != L'\t') ++at;
    }
    while (*at == L' ' || *at == L'\t') ++at;
    return at;
}

}  // namespace

int wmain() {
    std::wstring commandLine = RestOfCommandLine();
    HANDLE raw = nullptr;
    if (commandLine.empty() || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return 125;
    const UniqueKernelHandle own(raw);
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!::GetTokenInformation(own.get(), TokenLinkedToken, &linked, sizeof linked, &size)) return 125;
    const UniqueKernelHandle limited(linked.LinkedToken);
    HANDLE primary = nullptr;
    if (!::DuplicateTokenEx(limited.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, &primary))
        return 125;
    const UniqueKernelHandle token(primary);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessAsUserW(token.get(), nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &process))
        return 125;
    const UniqueKernelHandle thread(process.hThread);
    const UniqueKernelHandle child(process.hProcess);
    ::WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 125;
    ::GetExitCodeProcess(child.get(), &exitCode);
    return static_cast<int>(exitCode);
}
