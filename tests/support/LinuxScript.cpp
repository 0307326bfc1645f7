#include "LinuxScript.h"

#include "ProcessRunner.h"
#include "TestFolders.h"
#include "TextConvert.h"

#include <windows.h>

#include <cstdlib>

std::wstring UnixPath(const std::wstring& windowsPath) {
    using TConvert = char*(CDECL*)(LPCWSTR);
    const auto convert = reinterpret_cast<TConvert>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return {};
    char* unixPath = convert(windowsPath.c_str());
    if (!unixPath) return {};
    std::wstring path = Utf8ToWide(unixPath);
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return path;
}

int RunLinuxScript(const std::wstring& scriptPath, const std::wstring& arguments, const std::wstring& folder,
                   unsigned timeoutMs, std::string& log) {
    const std::wstring status = folder + L"\\status";
    ::DeleteFileW(status.c_str());
    std::wstring commandLine = L"/bin/sh " + QuoteArgument(UnixPath(scriptPath)) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        log = "cannot start /bin/sh: " + WideToUtf8(SystemErrorText(::GetLastError()));
        return -1;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (::GetFileAttributesW(status.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount64() > deadline) {
            log = "did not finish in time; log: " + ReadBytes(folder + L"\\control.log");
            return -1;
        }
        ::Sleep(20);
    }
    log = ReadBytes(folder + L"\\control.log");
    return std::atoi(ReadBytes(status).c_str());
}
