#pragma once
#include <string>

// A name or comment from outside as one line of plain text for a popup: line
// breaks and tabs become blanks; other control characters, direction overrides
// and byte-order marks are dropped; blanks at the ends are trimmed; the text is
// cut to maxLength units without splitting a surrogate pair.
std::wstring PlainNameText(std::wstring text, size_t maxLength);
