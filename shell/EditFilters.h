#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// The character sets of the settings window's restricted edits.
enum class TEditFilter {
    Digits,  // the dialling codes and the popup sizes
    Prefix,  // prefix lists: digits, "#", "*" and ","
};

bool IsAllowedCharacter(wchar_t c, TEditFilter filter);
// What of a typed or pasted text the edit accepts: the allowed characters, in order.
std::wstring FilterEditText(std::wstring_view text, TEditFilter filter);

// Makes an edit accept only the filter's characters, typed or pasted alike. A
// paste with nothing allowed in it changes nothing. Control keys (Backspace,
// the clipboard shortcuts) work as usual.
void InstallEditFilter(HWND edit, TEditFilter filter);

// Keeps Enter in a control (a list in a dialog), so that it does not press the
// dialog's default button.
void KeepEnterKey(HWND control);
