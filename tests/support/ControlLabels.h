#pragma once
// How a screen reader names the controls of a window that carry no caption of
// their own (edit boxes, lists, combo boxes): by the static text just before
// them in the window's order, which is also their tab order.
#include <windows.h>

#include <string>
#include <vector>

// The visible static text right before a control, or null.
inline HWND LabelWindowOf(HWND control) {
    const HWND before = ::GetWindow(control, GW_HWNDPREV);
    wchar_t kind[32] = {};
    if (!before || !::GetClassNameW(before, kind, 32) || ::lstrcmpiW(kind, L"Static") != 0 || !::IsWindowVisible(before))
        return nullptr;
    return before;
}

inline std::wstring LabelOf(HWND control) {
    const HWND label = LabelWindowOf(control);
    if (!label) return {};
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(label)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(label, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The visible controls a user can tab to that need a label but have none that
// offers an Alt+letter: "control id: label" each.
inline std::vector<std::wstring> ControlsWithoutLabel(HWND window) {
    std::vector<std::wstring> missing;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t kind[64] = {};
        ::GetClassNameW(child, kind, 64);
        const std::wstring name = kind;
        const bool needsLabel = ::lstrcmpiW(kind, L"Edit") == 0 || name == L"SysListView32" ||
                                ::lstrcmpiW(kind, L"ComboBox") == 0 || name.rfind(L"RichEdit", 0) == 0;
        if (!needsLabel || !(::GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP) || !::IsWindowVisible(child)) continue;
        const HWND labelWindow = LabelWindowOf(child);
        const std::wstring label = LabelOf(child);
        const size_t mnemonic = label.find(L'&');
        // A text without prefix processing shows "&" as it is.
        const bool offersKey = labelWindow && !(::GetWindowLongPtrW(labelWindow, GWL_STYLE) & SS_NOPREFIX) &&
                               mnemonic != std::wstring::npos && mnemonic + 1 < label.size();
        if (!offersKey) missing.push_back(std::to_wstring(::GetDlgCtrlID(child)) + L": " + label);
    }
    return missing;
}
