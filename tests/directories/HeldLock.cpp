#include "HeldLock.h"

#include "ProcessRunner.h"
#include "TestFolders.h"

HeldLock::HeldLock(const std::wstring& table, const wchar_t* mode, DWORD maxMs) {
    static int counter = 0;
    const std::wstring prefix =
        L"kordavin-lock-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    ready_.reset(::CreateEventW(nullptr, TRUE, FALSE, (prefix + L"-ready").c_str()));
    release_.reset(::CreateEventW(nullptr, TRUE, FALSE, (prefix + L"-release").c_str()));
    std::wstring commandLine = QuoteArgument(ProgramFolder() + L"\\DirectoryLockHolder.exe") + L" " +
                               QuoteArgument(table) + L" " + mode + L" " + prefix + L"-ready " + prefix +
                               L"-release " + std::to_wstring(maxMs);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &info))
        return;
    process_.reset(info.hProcess);
    ::CloseHandle(info.hThread);
    HANDLE waits[] = {ready_.get(), process_.get()};
    held_ = ::WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

void HeldLock::Release() {
    if (!process_) return;
    ::SetEvent(release_.get());
    ::WaitForSingleObject(process_.get(), 30000);
    process_.reset();
}
