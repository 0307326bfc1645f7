#include "CallbackLink.h"

#include "CrmLink.h"
#include "TextTrim.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Schemes that open files, run scripts or reach the shell's own handlers: a
// dialler never needs them, and a template is typed by people who may be misled.
constexpr std::array<std::wstring_view, 12> kRefusedSchemes{
    L"file", L"javascript", L"vbscript", L"data", L"about", L"shell", L"search", L"search-ms", L"res", L"mk", L"its",
    L"hcp"};

// The template's scheme in lower case, or empty when it has none (RFC 3986: a
// letter, then letters, digits, "+", "-" or "."; two letters at least, so that
// a drive letter is no scheme).
std::wstring SchemeOf(std::wstring_view text) {
    const size_t colon = text.find(L':');
    if (colon == std::wstring_view::npos || colon < 2 || !IsAsciiLetter(text[0])) return {};
    std::wstring scheme;
    for (size_t i = 0; i < colon; ++i) {
        const wchar_t c = text[i];
        if (!IsAsciiLetter(c) && !IsDigit(c) && c != L'+' && c != L'-' && c != L'.') return {};
        scheme += AsciiLower(c);
    }
    return scheme;
}

bool SchemeRefused(const std::wstring& scheme) {
    if (scheme.empty() || scheme.starts_with(L"ms-")) return true;
    return std::find(kRefusedSchemes.begin(), kRefusedSchemes.end(), scheme) != kRefusedSchemes.end();
}

const std::wstring& FirstEntry(const std::vector<std::wstring>& list) {
    static const std::wstring none;
    for (const std::wstring& entry : list)
        if (!entry.empty()) return entry;
    return none;
}

}  // namespace

TCallbackTemplateCheck CheckCallbackTemplate(const std::wstring& urlTemplate) {
    const std::wstring text = TrimControlChars(urlTemplate);
    if (text.empty()) return TCallbackTemplateCheck::Empty;
    if (SchemeRefused(SchemeOf(text))) return TCallbackTemplateCheck::SchemeRefused;
    std::wstring detail;
    if (FindUnknownPlaceholder(text, detail)) return TCallbackTemplateCheck::UnknownPlaceholder;
    return TCallbackTemplateCheck::Accepted;
}

std::wstring DialledNumber(const std::wstring& canonical, const TDiallingSettings& dialling,
                           const std::wstring& outsidePrefix) {
    std::wstring number;
    for (wchar_t c : canonical)
        if (std::wstring_view(L" \t-.()\u00A0").find(c) == std::wstring_view::npos) number += c;
    if (!HasCallNumber(number)) return {};
    bool international = false;
    if (number.front() == L'+') {
        // Written as a complete international number.
        number.erase(0, 1);
        international = true;
    }
    if (!std::all_of(number.begin(), number.end(), IsDigit)) return number;
    if (number.size() < static_cast<size_t>(kFullNumberLength) && !international) return number;

    const std::wstring& country = dialling.FDefaultCountryCode;
    const std::wstring own = country + dialling.FDefaultCityCode;
    std::wstring dialled;
    if (!country.empty() && !dialling.FDefaultCityCode.empty() && number.size() > own.size() &&
        number.starts_with(own))
        dialled = number.substr(own.size());
    else if (!country.empty() && number.size() > country.size() && number.starts_with(country))
        dialled = FirstEntry(dialling.FCountryPrefixes) + number.substr(country.size());
    else
        dialled = FirstEntry(dialling.FWorldPrefixes) + number;
    return outsidePrefix + dialled;
}

std::wstring BuildCallbackUrl(const std::wstring& urlTemplate, const std::wstring& dialledNumber,
                              const TCaller& caller, const std::wstring& channel) {
    if (CheckCallbackTemplate(urlTemplate) != TCallbackTemplateCheck::Accepted) return {};
    TCaller dialled = caller;
    dialled.Number = dialledNumber;
    return FillUrlTemplate(urlTemplate, dialled, channel);
}

TCallbackResult CallBack(const TCallbackSettings& settings, const TDiallingSettings& dialling, const TCaller& caller,
                         const std::wstring& channel, std::wstring* error) {
    switch (CheckCallbackTemplate(settings.UrlTemplate)) {
    case TCallbackTemplateCheck::Empty: return TCallbackResult::NotConfigured;
    case TCallbackTemplateCheck::Accepted: break;
    default: return TCallbackResult::TemplateRefused;
    }
    const std::wstring number = DialledNumber(caller.Number, dialling, settings.Prefix);
    if (number.empty()) return TCallbackResult::NoNumber;
    std::wstring reason;
    if (OpenUrl(BuildCallbackUrl(settings.UrlTemplate, number, caller, channel), reason)) return TCallbackResult::Opened;
    if (error) *error = reason;
    return TCallbackResult::OpenFailed;
}
