// dialogprobe TIMEOUT-MS
// dialogprobe --exit-request PROGRAM-FILE
// Takes an NSIS wizard of this Wine prefix (an installer or uninstaller that is
// not silent) to its end as a user pressing its default button would, answers
// each message box with OK and prints the box's text, UTF-8, one box after the
// other. Exit code 0 once the wizard has come and gone, 1 when it did not end
// in time. The installation test reads what the uninstaller tells through it.
// With --exit-request: exit code 0 when a copy running from PROGRAM-FILE shows
// the exit-request window by which an installer would ask it to end.
#include "RunningCopies.h"
#include "TextConvert.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr ULONGLONG kClickIntervalMs = 500;

std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

std::vector<HWND> VisibleDialogs() {
    std::vector<HWND> dialogs;
    for (HWND window = ::FindWindowExW(nullptr, nullptr, kDialogClass, nullptr); window;
         window = ::FindWindowExW(nullptr, window, kDialogClass, nullptr))
        if (::IsWindowVisible(window)) dialogs.push_back(window);
    return dialogs;
}

// The wizard holds its pages as a child dialog; a message box has none.
bool IsWizard(HWND dialog) { return ::FindWindowExW(dialog, nullptr, kDialogClass, nullptr) != nullptr; }

std::wstring MessageText(HWND box) {
    std::wstring text;
    for (HWND child = ::FindWindowExW(box, nullptr, L"Static", nullptr); child;
         child = ::FindWindowExW(box, child, L"Static", nullptr)) {
        const std::wstring part = TextOf(child);
        if (!part.empty()) text += part + L"\n";
    }
    return text;
}

void Click(HWND dialog, int id) {
    HWND button = ::GetDlgItem(dialog, id);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--exit-request") return ExitRequestWindowsOf(argv[2]).empty() ? 1 : 0;
    const DWORD timeoutMs = argc > 1 ? static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) : 30000;
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    std::set<HWND> answered;
    std::wstring told;
    bool sawWizard = false;
    ULONGLONG lastClick = 0;
    for (;;) {
        const std::vector<HWND> dialogs = VisibleDialogs();
        bool wizardOpen = false;
        for (HWND dialog : dialogs) {
            if (IsWizard(dialog)) {
                wizardOpen = sawWizard = true;
                HWND next = ::GetDlgItem(dialog, IDOK);
                const ULONGLONG now = ::GetTickCount64();
                if (next && ::IsWindowEnabled(next) && ::IsWindowVisible(next) && now - lastClick >= kClickIntervalMs) {
                    Click(dialog, IDOK);
                    lastClick = now;
                }
            } else if (answered.insert(dialog).second) {
                told += MessageText(dialog);
                Click(dialog, IDOK);
            }
        }
        if (sawWizard && !wizardOpen && dialogs.empty()) break;
        if (::GetTickCount64() >= deadline) break;
        ::Sleep(100);
    }
    const std::string output = WideToUtf8(told);
    std::fwrite(output.data(), 1, output.size(), stdout);
    return sawWizard && ::GetTickCount64() < deadline ? 0 : 1;
}
