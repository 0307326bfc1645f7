#include "ProcessRunner.h"

#include "UniqueHandle.h"

#include <thread>

ProgramResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs) {
    ProgramResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!::CreatePipe(&readRaw, &writeRaw, &inherit, 0)) {
        result.exitCode = static_cast<DWORD>(-1);
        return result;
    }
    UniqueKernelHandle readEnd(readRaw), writeEnd(writeRaw);
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION info{};
    std::wstring mutableLine = commandLine;
    if (!::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &info)) {
        result.exitCode = static_cast<DWORD>(-1);
        result.output = "CreateProcess failed";
        return result;
    }
    UniqueKernelHandle process(info.hProcess), thread(info.hThread);
    writeEnd.reset();

    std::thread reader([&] {
        char buffer[4096];
        DWORD read = 0;
        while (::ReadFile(readEnd.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
            result.output.append(buffer, read);
    });
    if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        ::TerminateProcess(process.get(), 99);
        ::WaitForSingleObject(process.get(), 5000);
    }
    reader.join();
    ::GetExitCodeProcess(process.get(), &result.exitCode);
    return result;
}

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') quoted.append(backslashes * 2 + 1, L'\\');
        else quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}
