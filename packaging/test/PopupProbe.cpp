// popupprobe TIMEOUT-MS [PART]
// Waits for a visible caller popup of any program in this Wine prefix (whose
// title or text holds PART, when given) and prints its title and then its text,
// UTF-8. Exit code 1 when none appeared in time; the last popup seen is printed.
// The installation test reads what an installed copy shows through it.
#include "TextConvert.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring TextOf(HWND window) {
    wchar_t text[2048] = {};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

// Title and text of the first visible popup; empty when there is none.
std::wstring VisiblePopupText() {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, L"KordavinTMWForm", nullptr); window;
         window = ::FindWindowExW(nullptr, window, L"KordavinTMWForm", nullptr)) {
        if (!::IsWindowVisible(window)) continue;
        HWND text = ::FindWindowExW(window, nullptr, L"RICHEDIT50W", nullptr);
        return TextOf(window) + L"\n" + (text ? TextOf(text) : L"") + L"\n";
    }
    return {};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const DWORD timeoutMs = argc > 1 ? static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) : 10000;
    const std::wstring part = argc > 2 ? argv[2] : L"";
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    std::wstring seen;
    bool found = false;
    for (;;) {
        seen = VisiblePopupText();
        found = !seen.empty() && seen.find(part) != std::wstring::npos;
        if (found || ::GetTickCount64() >= deadline) break;
        ::Sleep(100);
    }
    const std::string output = WideToUtf8(seen);
    std::fwrite(output.data(), 1, output.size(), stdout);
    return found ? 0 : 1;
}
