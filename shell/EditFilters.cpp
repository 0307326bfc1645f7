#include "EditFilters.h"

#include "ClipboardText.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kEditFilterId = 1;
constexpr UINT_PTR kKeepEnterId = 2;

LRESULT CALLBACK FilteredEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR refData) {
    const auto filter = static_cast<TEditFilter>(refData);
    switch (message) {
    case WM_CHAR: {
        const auto c = static_cast<wchar_t>(wParam);
        // Backspace and the Ctrl shortcuts arrive as control characters.
        if (c >= L' ' && !IsAllowedCharacter(c, filter)) return 0;
        break;
    }
    case WM_PASTE:
        // Out of memory for the text: the paste does nothing.
        try {
            const std::wstring allowed = FilterEditText(GetClipboardText(edit), filter);
            if (!allowed.empty())
                ::SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(allowed.c_str()));
        } catch (...) {
        }
        return 0;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(edit, FilteredEditProc, kEditFilterId);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(edit, message, wParam, lParam);
}

LRESULT CALLBACK KeepEnterProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_GETDLGCODE && lParam) {
        const auto* pending = reinterpret_cast<const MSG*>(lParam);
        if (pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN)
            return ::DefSubclassProc(control, message, wParam, lParam) | DLGC_WANTMESSAGE;
    }
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(control, KeepEnterProc, kKeepEnterId);
    return ::DefSubclassProc(control, message, wParam, lParam);
}

}  // namespace

bool IsAllowedCharacter(wchar_t c, TEditFilter filter) {
    if (c >= L'0' && c <= L'9') return true;
    return filter == TEditFilter::Prefix && (c == L'#' || c == L'*' || c == L',');
}

std::wstring FilterEditText(std::wstring_view text, TEditFilter filter) {
    std::wstring allowed;
    for (wchar_t c : text)
        if (IsAllowedCharacter(c, filter)) allowed += c;
    return allowed;
}

void InstallEditFilter(HWND edit, TEditFilter filter) {
    ::SetWindowSubclass(edit, FilteredEditProc, kEditFilterId, static_cast<DWORD_PTR>(filter));
}

void KeepEnterKey(HWND control) { ::SetWindowSubclass(control, KeepEnterProc, kKeepEnterId, 0); }
