#include "TextTrim.h"

namespace {
bool IsControlChar(wchar_t c) { return c <= L' '; }
}  // namespace

std::wstring TrimControlChars(std::wstring_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsControlChar(text[begin])) ++begin;
    while (end > begin && IsControlChar(text[end - 1])) --end;
    return std::wstring(text.substr(begin, end - begin));
}

std::wstring SingleLineText(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n' || c == L'\t') c = L' ';
    return text;
}
