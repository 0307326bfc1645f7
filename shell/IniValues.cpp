#include "IniValues.h"

#include <cstdint>

namespace {
int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}
}  // namespace

std::optional<int> ParseIniInteger(std::wstring_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == L'-' || text[0] == L'+')) {
        negative = text[0] == L'-';
        text.remove_prefix(1);
    }
    bool hex = false;
    if (StartsWith(text, L"0x") || StartsWith(text, L"0X")) {
        hex = true;
        text.remove_prefix(2);
    } else if (StartsWith(text, L"$")) {
        hex = true;
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;

    if (hex) {
        uint64_t value = 0;
        for (wchar_t c : text) {
            const int digit = HexDigit(c);
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<uint64_t>(digit);
            if (value > UINT32_MAX) return std::nullopt;
        }
        uint32_t bits = static_cast<uint32_t>(value);
        if (negative) bits = 0u - bits;
        return static_cast<int>(static_cast<int32_t>(bits));
    }

    int64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
        if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return std::nullopt;
    return static_cast<int>(value);
}

std::wstring CapIniText(std::wstring_view text) {
    if (text.size() <= kMaxIniTextLength) return std::wstring(text);
    size_t length = kMaxIniTextLength;
    const wchar_t last = text[length - 1];
    if (last >= 0xD800 && last <= 0xDBFF) --length;  // a high surrogate without its partner
    return std::wstring(text.substr(0, length));
}

std::wstring OneLineIniValue(std::wstring_view text) {
    std::wstring result(text);
    for (auto& c : result)
        if (c == L'\r' || c == L'\n' || c == L'\0') c = L' ';
    return result;
}

std::wstring QuotedIniText(std::wstring_view text) {
    std::wstring result;
    result.reserve(text.size() + 2);
    result += L'"';
    result += text;
    result += L'"';
    return result;
}
