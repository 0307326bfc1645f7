#pragma once
#include <string>
#include <string_view>

// UTF-16 is the program's own text; UTF-8 only at the edges (files, pipes, SQLite).
std::wstring Utf8ToWide(std::string_view text);
// Text in the given Windows code page (CP_ACP, CP_UTF8, ...) as UTF-16.
std::wstring CodePageToWide(unsigned codePage, std::string_view text);
std::string WideToUtf8(std::wstring_view text);
// UTF-16 code units from pairs of bytes in the given order; an odd last byte is no character.
std::wstring Utf16BytesToWide(std::string_view bytes, bool bigEndian);

// The system's message text for a Win32 error code, without the trailing line end.
std::wstring SystemErrorText(unsigned long code);
