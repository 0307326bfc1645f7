#include "InformerProcess.h"

#include "ProcessRunner.h"
#include "SimInstances.h"
#include "TestFolders.h"

#include <commctrl.h>

#include <gtest/gtest.h>

namespace {

constexpr UINT kExitCommand = 1201;  // the tray menu's exit item
constexpr UINT kTrayCallbackMessage = WM_APP + 1;
constexpr UINT kTrayIconId = 1;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[2048] = {};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

}  // namespace

InformerProcess::InformerProcess(const Options& options) : session_(options.simSession) {
    if (options.folder.empty()) {
        ownFolder_ = std::make_unique<TempFolder>();
        folder_ = ownFolder_->path();
    } else {
        folder_ = options.folder;
    }
    const std::wstring exe = folder_ + L"\\KordavinInformer.exe";
    // Our own city-code table, as an installation would have it.
    if (::GetFileAttributesW((folder_ + L"\\TQR\\CityCodes.db").c_str()) == INVALID_FILE_ATTRIBUTES)
        RunProgram(QuoteArgument(ProgramFolder() + L"\\citycodes.exe") + L" " +
                   QuoteArgument(ProgramFolder() + L"\\numbers-data\\CityCodes.csv") + L" " +
                   QuoteArgument(folder_ + L"\\TQR"));
    // Recording the URLs takes the test build of the program, under the same name.
    const std::wstring built =
        ProgramFolder() + (options.urlLog.empty() ? L"\\KordavinInformer.exe" : L"\\KordavinInformerTesting.exe");
    // A copy already running from this folder keeps its file: that one is started again.
    if (!::CopyFileW(built.c_str(), exe.c_str(), FALSE) &&
        ::GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    std::vector<std::wstring> lines{std::wstring(L"Active=") + (options.active ? L"1" : L"0"),
                                    L"AreaCodesPath=" + folder_ + L"\\TQR",
                                    L"AbonentPhonePath=" + folder_ + L"\\PQR"};
    lines.insert(lines.end(), options.iniLines.begin(), options.iniLines.end());
    WriteIniFile(folder_ + L"\\KordavinInformer.ini", lines);

    ::SetEnvironmentVariableW(L"KORDAVIN_SIM_SESSION", session_.c_str());
    // Each test's calls go to a journal of its own, never to the user's.
    ::SetEnvironmentVariableW(L"KORDAVIN_JOURNAL_DIR", (folder_ + L"\\Journal").c_str());
    ::SetEnvironmentVariableW(L"KORDAVIN_TEST_URL_LOG", options.urlLog.empty() ? nullptr : options.urlLog.c_str());
    std::wstring line = QuoteArgument(exe);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &startup,
                         &info)) {
        process_.reset(info.hProcess);
        ::CloseHandle(info.hThread);
        processId_ = info.dwProcessId;
    }
}

void InformerProcess::WriteIniFile(const std::wstring& path, const std::vector<std::wstring>& lines) {
    std::wstring text = L"\xFEFF[Main]\r\n";
    for (const auto& line : lines) text += line + L"\r\n";
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (file) ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
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

std::vector<HWND> InformerProcess::TopLevelWindows() const {
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId_, {}};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND InformerProcess::MainWindow(DWORD timeoutMs) const {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (true) {
        for (HWND window : TopLevelWindows()) {
            wchar_t caption[64] = {};
            ::GetWindowTextW(window, caption, 64);
            // The program's error boxes carry the same caption: the main window is
            // the one with the status line.
            if (ClassOf(window) == L"#32770" && std::wstring(caption) == L"Информатор Kordavin" &&
                ::FindWindowExW(window, nullptr, L"msctls_statusbar32", nullptr))
                return window;
        }
        if (::GetTickCount64() >= deadline) return nullptr;
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

std::wstring InformerProcess::DialogTexts() const {
    const HWND main = MainWindow(0);
    std::wstring texts;
    for (HWND window : TopLevelWindows()) {
        if (window == main || ClassOf(window) != L"#32770" || !::IsWindowVisible(window)) continue;
        for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            texts += L"[" + TextOf(child) + L"]";
    }
    return texts;
}

std::wstring InformerProcess::MessageBoxText(HWND box) {
    std::wstring texts;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == L"Static") texts += TextOf(child);
    return texts;
}

HWND InformerProcess::FindMessageBox(const std::wstring& part, DWORD timeoutMs) const {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (true) {
        for (HWND window : TopLevelWindows())
            if (ClassOf(window) == L"#32770" && ::IsWindowVisible(window) &&
                MessageBoxText(window).find(part) != std::wstring::npos)
                return window;
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(50);
    }
}

std::vector<HWND> InformerProcess::VisibleWindowsOfClass(const std::wstring& className) const {
    std::vector<HWND> found;
    for (HWND window : TopLevelWindows())
        if (ClassOf(window) == className && ::IsWindowVisible(window)) found.push_back(window);
    return found;
}

std::vector<HWND> InformerProcess::Popups() const { return VisibleWindowsOfClass(L"KordavinTMWForm"); }

HWND InformerProcess::FindVisibleWindow(const std::wstring& caption, DWORD timeoutMs) const {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (true) {
        for (HWND window : TopLevelWindows()) {
            wchar_t text[128] = {};
            ::GetWindowTextW(window, text, 128);
            if (::IsWindowVisible(window) && caption == text) return window;
        }
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(50);
    }
}

std::wstring InformerProcess::PopupTitle(HWND popup) { return TextOf(popup); }

std::wstring InformerProcess::PopupText(HWND popup) {
    HWND text = ::FindWindowExW(popup, nullptr, L"RICHEDIT50W", nullptr);
    return text ? TextOf(text) : L"(no text area)";
}

bool InformerProcess::WaitForPopups(size_t count, DWORD timeoutMs) const {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (::GetTickCount64() < deadline) {
        if (Popups().size() == count) return true;
        ::Sleep(50);
    }
    return false;
}

bool InformerProcess::WaitForPopupText(HWND popup, const std::wstring& part, DWORD timeoutMs) {
    for (const ULONGLONG deadline = ::GetTickCount64() + timeoutMs; ::GetTickCount64() < deadline; ::Sleep(50))
        if (PopupText(popup).find(part) != std::wstring::npos) return true;
    return false;
}

bool InformerProcess::SaveNameFromPopup(HWND popup, const std::wstring& name) const {
    constexpr int kEditDataButton = 2102;
    constexpr int kEditorName = 3103;
    ::PostMessageW(::GetDlgItem(popup, kEditDataButton), BM_CLICK, 0, 0);
    const HWND editor = FindVisibleWindow(L"Изменение данных абонента");
    if (!editor) return false;
    const HWND field = ::GetDlgItem(editor, kEditorName);
    ::SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()), SMTO_BLOCK, 5000, nullptr);
    ::PostMessageW(field, WM_KEYDOWN, VK_RETURN, 0);
    for (const ULONGLONG deadline = ::GetTickCount64() + 10000; ::IsWindow(editor) && ::GetTickCount64() < deadline;)
        ::Sleep(50);
    return !::IsWindow(editor);
}

DWORD InformerProcess::Recsim(const std::vector<std::wstring>& arguments) const {
    std::wstring line = QuoteArgument(ProgramFolder() + L"\\recsim.exe") + L" --session " + session_ + L" --pid " +
                        std::to_wstring(processId_);
    for (const auto& argument : arguments) line += L" " + QuoteArgument(argument);
    return RunProgram(line).exitCode;
}

HWND InformerProcess::Call(const std::wstring& channel, const std::wstring& number,
                           const std::wstring& canonical) const {
    EXPECT_EQ(0u, Recsim({L"ani", channel, number}));
    if (!WaitForPopups(1)) return nullptr;
    HWND popup = Popups().front();
    EXPECT_TRUE(WaitForPopupText(popup, canonical));
    return popup;
}

void InformerProcess::EndCall(const std::wstring& channel) const {
    EXPECT_EQ(0u, Recsim({L"end", channel}));
    EXPECT_TRUE(WaitForPopups(0));
}

DWORD InformerProcess::Exit(DWORD timeoutMs) {
    RequestExit();
    return WaitForExit(timeoutMs);
}

void InformerProcess::RequestExit() { ::PostMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0); }

DWORD InformerProcess::WaitForExit(DWORD timeoutMs) const {
    if (::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return static_cast<DWORD>(-1);
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

void InformerProcess::TrayEvent(UINT event, POINT anchor) const {
    ::PostMessageW(MainWindow(), kTrayCallbackMessage,
                   MAKEWPARAM(static_cast<WORD>(anchor.x), static_cast<WORD>(anchor.y)),
                   MAKELPARAM(event, kTrayIconId));
}

std::vector<std::wstring> InformerProcess::ListViewRow(HWND list, int row, int columns) {
    // The list answers with pointers into its own process: the item and the text
    // buffer are placed there and read back.
    std::vector<std::wstring> texts;
    DWORD processId = 0;
    ::GetWindowThreadProcessId(list, &processId);
    UniqueKernelHandle process(
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    if (!process) return texts;
    constexpr int kChars = 1024;
    const SIZE_T size = sizeof(LVITEMW) + kChars * sizeof(wchar_t);
    void* remote = ::VirtualAllocEx(process.get(), nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return texts;
    auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<BYTE*>(remote) + sizeof(LVITEMW));
    for (int column = 0; column < columns; ++column) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = remoteText;
        item.cchTextMax = kChars;
        SIZE_T done = 0;
        wchar_t text[kChars] = {};
        ::WriteProcessMemory(process.get(), remote, &item, sizeof(item), &done);
        DWORD_PTR length = 0;
        ::SendMessageTimeoutW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                              SMTO_BLOCK, 5000, &length);
        ::ReadProcessMemory(process.get(), remoteText, text, sizeof(text) - sizeof(wchar_t), &done);
        texts.push_back(text);
    }
    ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return texts;
}
