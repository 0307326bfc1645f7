#include "AllowedClients.h"

#include "TextTrim.h"

#include <winsock2.h>

#include <algorithm>

namespace {

// A decimal number of 1 to 3 digits no greater than limit, and nothing else.
std::optional<uint32_t> SmallNumber(const std::wstring& text, uint32_t limit) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    uint32_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - L'0');
    }
    if (value > limit) return std::nullopt;
    return value;
}

// Four dotted decimal parts; host byte order.
std::optional<uint32_t> DottedAddress(const std::wstring& text) {
    uint32_t address = 0;
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t dot = text.find(L'.', start);
        if ((part < 3) != (dot != std::wstring::npos)) return std::nullopt;
        const auto value = SmallNumber(text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start), 255);
        if (!value) return std::nullopt;
        address = (address << 8) | *value;
        start = dot + 1;
    }
    return address;
}

// An entry that is not an address or a range: what the user most likely meant.
TAllowListProblem WhyUnreadable(const std::wstring& entry) {
    if (std::any_of(entry.begin(), entry.end(), [](wchar_t c) { return c == L';' || c <= L' '; }))
        return TAllowListProblem::WrongSeparator;
    if (entry.find(L'*') != std::wstring::npos) return TAllowListProblem::Wildcard;
    const size_t slash = entry.find(L'/');
    if (slash != std::wstring::npos && DottedAddress(entry.substr(0, slash))) return TAllowListProblem::BadPrefixLength;
    return TAllowListProblem::NotAnAddress;
}

}  // namespace

TAllowedClients TAllowedClients::Parse(const std::wstring& text) {
    TAllowedClients allowed;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(L',', start);
        if (comma == std::wstring::npos) comma = text.size();
        const std::wstring entry = TrimControlChars(std::wstring_view(text).substr(start, comma - start));
        start = comma + 1;
        if (entry.empty()) continue;
        allowed.FRestricted = true;
        const size_t slash = entry.find(L'/');
        const auto address = DottedAddress(entry.substr(0, slash));
        const auto bits = slash == std::wstring::npos ? std::optional<uint32_t>(32)
                                                      : SmallNumber(entry.substr(slash + 1), 32);
        if (!address || !bits) {
            allowed.FUnreadable.push_back({WhyUnreadable(entry), entry});
            continue;
        }
        const uint32_t mask = *bits == 0 ? 0 : 0xFFFFFFFFu << (32 - *bits);
        allowed.FRanges.push_back({*address & mask, mask});
    }
    return allowed;
}

std::optional<TUnreadableEntry> TAllowedClients::FirstUnreadable() const {
    if (FUnreadable.empty()) return std::nullopt;
    return FUnreadable.front();
}

bool TAllowedClients::Allows(uint32_t address) const {
    if (!FRestricted) return true;
    const uint32_t host = ::ntohl(address);
    for (const Range& range : FRanges)
        if ((host & range.mask) == range.network) return true;
    return false;
}
