#include "PlainNameText.h"

#include "TextTrim.h"

namespace {

bool IsDropped(wchar_t c) {
    return c < L' ' || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

std::wstring PlainNameText(std::wstring text, size_t maxLength) {
    text = SingleLineText(std::move(text));
    std::wstring kept;
    kept.reserve(text.size());
    for (wchar_t c : text)
        if (!IsDropped(c)) kept += c;
    kept = TrimControlChars(kept);
    if (kept.size() > maxLength) {
        size_t cut = maxLength;
        if (cut > 0 && IsHighSurrogate(kept[cut - 1])) --cut;
        kept.resize(cut);
        kept = TrimControlChars(kept);
    }
    return kept;
}
