#pragma once
#include <string>
#include <string_view>

// The text without the blanks and control characters (every unit up to and
// including the space, NUL too) at either end.
std::wstring TrimControlChars(std::wstring_view text);
