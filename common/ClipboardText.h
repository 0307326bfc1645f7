#pragma once
#include <windows.h>

#include <string>

// Puts text on the clipboard as Unicode text (empty text too). Another program
// may hold the clipboard for a moment, so opening is retried briefly.
// Returns false when the clipboard could not be written.
bool PutClipboardText(HWND owner, const std::wstring& text);

// The clipboard's Unicode text, or empty text when it holds none or cannot be
// opened (retried briefly, as above).
std::wstring GetClipboardText(HWND owner);
