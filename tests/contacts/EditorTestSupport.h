#pragma once
// Driving contact editors the way a user would: keys go to the focused control
// and every message passes the same IsDialogMessage gate as in the program.
#include "MessagePump.h"
#include "WindowText.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace contactstest {

using ::PumpPending;
using ::PumpUntil;

inline LPARAM KeyData(UINT virtualKey, bool up) {
    const UINT scanCode = ::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    LPARAM data = 1 | (static_cast<LPARAM>(scanCode) << 16);
    if (up) data |= (1LL << 30) | (1LL << 31);
    return data;
}

// A key press and release, queued to the focused window and pumped through.
inline void PressKey(UINT virtualKey) {
    const HWND focus = ::GetFocus();
    ::PostMessageW(focus, WM_KEYDOWN, virtualKey, KeyData(virtualKey, false));
    ::PostMessageW(focus, WM_KEYUP, virtualKey, KeyData(virtualKey, true));
    PumpPending();
}

// Typed characters, queued to the focused window and pumped through.
inline void TypeText(const std::wstring& text) {
    const HWND focus = ::GetFocus();
    for (wchar_t c : text) ::PostMessageW(focus, WM_CHAR, c, 1);
    PumpPending();
}

// Real keyboard input through the system's input queue: it reaches whichever
// window has the focus in the foreground, as a user's typing would.
inline UINT SendKeys(const std::vector<WORD>& virtualKeys) {
    std::vector<INPUT> inputs;
    for (WORD key : virtualKeys) {
        INPUT down{};
        down.type = INPUT_KEYBOARD;
        down.ki.wVk = key;
        INPUT up = down;
        up.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(down);
        inputs.push_back(up);
    }
    return ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

inline UINT SendText(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        INPUT down{};
        down.type = INPUT_KEYBOARD;
        down.ki.wScan = c;
        down.ki.dwFlags = KEYEVENTF_UNICODE;
        INPUT up = down;
        up.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(down);
        inputs.push_back(up);
    }
    return ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

inline std::wstring Text(HWND window) { return WindowText(window); }

// A child's rectangle in its parent's client coordinates.
inline RECT ChildRect(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace contactstest
