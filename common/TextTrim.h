#pragma once
#include <string>
#include <string_view>

// The text without the blanks and control characters (every unit up to and
// including the space, NUL too) at either end.
std::wstring TrimControlChars(std::wstring_view text);

// The text for one line of a list: line breaks and tabs become spaces.
std::wstring SingleLineText(std::wstring text);
