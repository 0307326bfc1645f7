#pragma once
#include <string>

// Locale-aware comparison ignoring letter case (Cyrillic and Latin alike), by the
// user's locale rules; the whole strings are compared.
bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b);
