#pragma once
#include <string>
#include <string_view>

// Locale-aware comparison ignoring letter case (Cyrillic and Latin alike), by the
// user's locale rules; the whole strings are compared.
bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b);

// The text in lower (upper) case, Cyrillic and Latin alike, for matching typed
// text against many stored texts without comparing each pair by the locale.
std::wstring LowerCaseText(std::wstring_view text);
std::wstring UpperCaseText(std::wstring_view text);
