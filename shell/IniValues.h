#pragma once
#include <optional>
#include <string>
#include <string_view>

// How single values look in the settings file, apart from the file itself.

// Longest text taken from one value; the rest of a longer value is ignored.
constexpr size_t kMaxIniTextLength = 2047;

// A 32-bit integer in decimal or in hexadecimal after "0x", "0X" or "$", with an
// optional sign. Hexadecimal gives the 32-bit pattern (0xFFFFFFFF is -1). Anything
// else, a decimal number outside the 32-bit range included, gives nothing.
std::optional<int> ParseIniInteger(std::wstring_view text);

// The first kMaxIniTextLength characters, never ending inside a surrogate pair.
std::wstring CapIniText(std::wstring_view text);

// A value cannot span lines: a line break would end it and start a new key.
// CR, LF and NUL become blanks.
std::wstring OneLineIniValue(std::wstring_view text);

// Text between double quotes, so that blanks and quotes at its ends survive reading.
std::wstring QuotedIniText(std::wstring_view text);
