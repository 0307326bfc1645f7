#include "ListText.h"

#include "TextTrim.h"

namespace {
constexpr wchar_t kQuote = L'"';
constexpr wchar_t kDelimiter = L',';

bool IsBlankOrControl(wchar_t c) { return c >= 1 && c <= 32; }
bool EndsEntry(wchar_t c) { return c <= 32 || c == kDelimiter; }

bool NeedsQuotes(const std::wstring& entry) {
    for (wchar_t c : entry)
        if (IsBlankOrControl(c) || c == kDelimiter || c == kQuote) return true;
    return false;
}

std::wstring Quoted(const std::wstring& entry) {
    std::wstring result(1, kQuote);
    for (wchar_t c : entry) {
        if (c == kQuote) result += kQuote;
        result += c;
    }
    result += kQuote;
    return result;
}
}  // namespace

std::vector<std::wstring> ReadListText(std::wstring_view text) {
    // A NUL ends the text: it can neither start nor end an entry, and would
    // otherwise stop the scan from ever moving on.
    text = text.substr(0, text.find(L'\0'));
    std::vector<std::wstring> list;
    size_t p = 0;
    const size_t end = text.size();
    while (p < end && IsBlankOrControl(text[p])) ++p;
    while (p < end) {
        std::wstring entry;
        if (text[p] == kQuote) {
            ++p;
            while (p < end) {
                if (text[p] == kQuote) {
                    if (p + 1 < end && text[p + 1] == kQuote) {
                        entry += kQuote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                entry += text[p++];
            }
        } else {
            const size_t start = p;
            while (p < end && !EndsEntry(text[p])) ++p;
            entry.assign(text.substr(start, p - start));
        }
        list.push_back(std::move(entry));
        while (p < end && IsBlankOrControl(text[p])) ++p;
        if (p < end && text[p] == kDelimiter) {
            if (p + 1 == end) list.emplace_back();
            ++p;
            while (p < end && IsBlankOrControl(text[p])) ++p;
        }
    }
    return list;
}

std::wstring WriteListText(const std::vector<std::wstring>& list) {
    if (list.size() == 1 && list[0].empty()) return std::wstring(2, kQuote);
    std::wstring text;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0) text += kDelimiter;
        text += NeedsQuotes(list[i]) ? Quoted(list[i]) : list[i];
    }
    return text;
}

void TrimListEntries(std::vector<std::wstring>& list) {
    for (auto& entry : list) entry = TrimControlChars(entry);
}
