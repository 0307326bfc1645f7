#pragma once
#include <cstddef>
#include <string>

// What a popup keeps of a name and a comment from outside (a CRM, a directory).
inline constexpr size_t kMaxNameLength = 256;
inline constexpr size_t kMaxCommentLength = 1024;

// A name or comment from outside as one line of plain text for a popup: line
// breaks and tabs become blanks; other control characters, direction overrides
// and byte-order marks are dropped; blanks at the ends are trimmed; the text is
// cut to maxLength units without splitting a surrogate pair.
std::wstring PlainNameText(std::wstring text, size_t maxLength);
