#include "NumberQuery.h"

#include <algorithm>

namespace {

// Stored numbers were normalised as the numbers of incoming calls.
constexpr int kIncomingKind = 1;

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

void AddStart(std::vector<std::wstring>& starts, std::wstring start) {
    if (!start.empty() && std::find(starts.begin(), starts.end(), start) == starts.end())
        starts.push_back(std::move(start));
}

// A number typed only in part cannot be normalised (it is too short for any
// rule), yet its access prefix already says how the canonical number begins.
void AddPartialReadings(std::wstring digits, const TDiallingSettings& dialling, std::vector<std::wstring>& starts) {
    if (dialling.FUseCityPrefixForIncoming) {
        for (const std::wstring& prefix : dialling.FCityPrefixes) {
            if (prefix.empty() || !StartsWith(digits, prefix)) continue;
            digits.erase(0, prefix.size());
            break;
        }
    }
    for (const std::wstring& prefix : dialling.FWorldPrefixes) {
        if (prefix.empty() || !StartsWith(digits, prefix)) continue;
        if (digits.size() > prefix.size()) AddStart(starts, digits.substr(prefix.size()));
        break;
    }
    // Without both codes no long-distance prefix is ever replaced.
    if (dialling.FDefaultCountryCode.empty() || dialling.FDefaultCityCode.empty()) return;
    for (const std::wstring& prefix : dialling.FCountryPrefixes) {
        // An empty entry hides the entries after it, as in the normalisation.
        if (prefix.empty()) break;
        if (!StartsWith(digits, prefix)) continue;
        if (digits.size() > prefix.size())
            AddStart(starts, dialling.FDefaultCountryCode + digits.substr(prefix.size()));
        break;
    }
}

}  // namespace

bool TNumberQuery::Matches(std::wstring_view number) const {
    if (Digits.empty()) return false;
    if (number.find(Digits) != std::wstring_view::npos) return true;
    return std::any_of(Starts.begin(), Starts.end(),
                       [number](const std::wstring& start) { return StartsWith(number, start); });
}

TNumberQuery ReadNumberQuery(std::wstring_view text, const TDiallingSettings& dialling) {
    TNumberQuery query;
    for (const wchar_t c : text)
        if (c >= L'0' && c <= L'9') query.Digits += c;
    if (query.Digits.empty()) return query;

    const auto first = std::find_if(text.begin(), text.end(), [](wchar_t c) { return c > L' '; });
    if (first != text.end() && *first == L'+') return query;

    const std::wstring whole = NormalizePhoneNumber(
        query.Digits, kIncomingKind, dialling.FDefaultCountryCode, dialling.FDefaultCityCode, dialling.FCityPrefixes,
        dialling.FWorldPrefixes, dialling.FCountryPrefixes, dialling.FUseCityPrefixForIncoming);
    if (whole != query.Digits) AddStart(query.Starts, whole);
    AddPartialReadings(query.Digits, dialling, query.Starts);
    // A beginning that holds the typed digits finds nothing they do not: one
    // test less per stored number on every keystroke.
    std::erase_if(query.Starts,
                  [&query](const std::wstring& start) { return start.find(query.Digits) != std::wstring::npos; });
    return query;
}
