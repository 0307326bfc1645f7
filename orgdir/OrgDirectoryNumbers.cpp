#include "OrgDirectoryNumbers.h"

#include "ContactImport.h"

#include <algorithm>
#include <array>

namespace {

bool IsPartSeparator(wchar_t c) { return c == L',' || c == L';' || c == L'\r' || c == L'\n'; }

// Enough case folding for the extension markers: Latin and basic Cyrillic.
wchar_t Folded(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + (L'a' - L'A'));
    if (c >= L'\x0410' && c <= L'\x042F') return static_cast<wchar_t>(c + 0x20);
    return c;
}

// Where an extension begins, or the part's end.
size_t ExtensionStart(std::wstring_view part) {
    static constexpr std::array<std::wstring_view, 5> kMarkers{L"доб", L"ext", L"x", L"#", L"вн"};
    for (size_t i = 0; i < part.size(); ++i) {
        for (const std::wstring_view marker : kMarkers) {
            if (part.size() - i < marker.size()) continue;
            bool same = true;
            for (size_t k = 0; k < marker.size() && same; ++k) same = Folded(part[i + k]) == marker[k];
            if (same) return i;
        }
    }
    return part.size();
}

void AddNumber(std::wstring_view part, const TDiallingSettings& dialling, std::vector<std::wstring>& numbers) {
    part = part.substr(0, ExtensionStart(part));
    const auto digits = static_cast<size_t>(std::count_if(part.begin(), part.end(), [](wchar_t c) {
        return c >= L'0' && c <= L'9';
    }));
    if (digits < kMinOrgDirectoryNumberDigits) return;
    std::wstring number, reason;
    if (!NormalizeImportedNumber(part, dialling, number, reason)) return;
    if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) numbers.push_back(std::move(number));
}

}  // namespace

std::vector<std::wstring> OrgDirectoryNumbers(std::wstring_view written, const TDiallingSettings& dialling) {
    std::vector<std::wstring> numbers;
    size_t start = 0;
    for (size_t i = 0; i <= written.size(); ++i) {
        if (i < written.size() && !IsPartSeparator(written[i])) continue;
        AddNumber(written.substr(start, i - start), dialling, numbers);
        start = i + 1;
    }
    return numbers;
}
