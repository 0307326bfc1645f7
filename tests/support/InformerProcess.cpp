#include "InformerProcess.h"

#include "ProcessRunner.h"
#include "SimInstances.h"
#include "TestFolders.h"

namespace {

constexpr UINT kExitCommand = 1201;  // the tray menu's exit item

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindDialogOfProcess(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (owner == search->processId && std::wstring(className) == L"#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

InformerProcess::InformerProcess(const Options& options) : session_(options.simSession) {
    ::SetEnvironmentVariableW(L"KORDAVIN_SIM_SESSION", session_.c_str());
    ::SetEnvironmentVariableW(L"KORDAVIN_TEST_ACTIVE", options.active ? L"1" : L"0");
    const std::wstring folder = options.folder.empty() ? ProgramFolder() : options.folder;
    std::wstring line = QuoteArgument(folder + L"\\KordavinInformer.exe");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                         &info)) {
        process_.reset(info.hProcess);
        ::CloseHandle(info.hThread);
        processId_ = info.dwProcessId;
    }
}

InformerProcess::~InformerProcess() {
    if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_.get(), 99);
        ::WaitForSingleObject(process_.get(), 5000);
    }
}

bool InformerProcess::WaitForSimulator(DWORD timeoutMs) const {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (::GetTickCount64() < deadline) {
        for (const auto& instance : ListSimInstances(session_))
            if (instance.processId == processId_) return true;
        ::Sleep(50);
    }
    return false;
}

HWND InformerProcess::MainWindow(DWORD timeoutMs) const {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (true) {
        WindowSearch search{processId_, nullptr};
        ::EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&search));
        if (search.found || ::GetTickCount64() >= deadline) return search.found;
        ::Sleep(50);
    }
}

std::wstring InformerProcess::StatusText() const {
    HWND statusBar = ::FindWindowExW(MainWindow(), nullptr, L"msctls_statusbar32", nullptr);
    if (!statusBar) return L"(no status bar)";
    wchar_t text[512] = {};
    ::SendMessageTimeoutW(statusBar, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

DWORD InformerProcess::Recsim(const std::vector<std::wstring>& arguments) const {
    std::wstring line = QuoteArgument(ProgramFolder() + L"\\recsim.exe") + L" --session " + session_ + L" --pid " +
                        std::to_wstring(processId_);
    for (const auto& argument : arguments) line += L" " + QuoteArgument(argument);
    return RunProgram(line).exitCode;
}

DWORD InformerProcess::Exit(DWORD timeoutMs) {
    ::PostMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0);
    if (::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return static_cast<DWORD>(-1);
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}
