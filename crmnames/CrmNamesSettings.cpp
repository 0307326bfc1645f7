#include "CrmNamesSettings.h"

#include "CrmLink.h"
#include "TextTrim.h"

#include <algorithm>
#include <string_view>

namespace {

// The screen-pop's template knows the caller's name; a lookup asks for it,
// so the placeholder could only ever be empty there.
constexpr std::wstring_view kNamePlaceholder = L"{name}";

bool ContainsIgnoringAsciiCase(std::wstring_view text, std::wstring_view part) {
    const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; };
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [&](wchar_t a, wchar_t b) { return lower(a) == lower(b); }) != text.end();
}

bool IsTokenChar(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
           std::wstring_view(L"!#$%&'*+-.^_`|~").find(c) != std::wstring_view::npos;
}

}  // namespace

int EffectiveLookupTimeoutMs(int timeoutMs) {
    return std::clamp(timeoutMs, kLookupTimeoutMinMs, kLookupTimeoutMaxMs);
}

bool IsJsonPointer(const std::wstring& path) {
    if (path.empty()) return true;
    if (path.front() != L'/') return false;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != L'~') continue;
        if (i + 1 >= path.size() || (path[i + 1] != L'0' && path[i + 1] != L'1')) return false;
    }
    return true;
}

bool IsSingleHeaderLine(const std::wstring& header) {
    const size_t colon = header.find(L':');
    if (colon == 0 || colon == std::wstring::npos) return false;
    for (size_t i = 0; i < colon; ++i)
        if (!IsTokenChar(header[i])) return false;
    for (size_t i = colon + 1; i < header.size(); ++i) {
        const wchar_t c = header[i];
        if ((c < L' ' && c != L'\t') || c == 0x7F) return false;
    }
    return true;
}

TCrmNamesVerdict CheckCrmNamesSettings(const TCrmNamesSettings& settings) {
    const TCrmTemplateVerdict crm = CheckCrmTemplate(settings.LookupUrlTemplate);
    if (crm.Check == TCrmTemplateCheck::Empty) return {TCrmNamesCheck::Off, {}};
    if (crm.Check != TCrmTemplateCheck::Accepted) return {TCrmNamesCheck::TemplateRefused, crm.Detail};
    if (ContainsIgnoringAsciiCase(settings.LookupUrlTemplate, kNamePlaceholder))
        return {TCrmNamesCheck::TemplateRefused, std::wstring(kNamePlaceholder)};
    if (settings.LookupNamePath.empty() || !IsJsonPointer(settings.LookupNamePath))
        return {TCrmNamesCheck::NamePathRefused, settings.LookupNamePath};
    if (!IsJsonPointer(settings.LookupCommentPath))
        return {TCrmNamesCheck::CommentPathRefused, settings.LookupCommentPath};
    const std::wstring header = TrimControlChars(settings.LookupHeader);
    if (!header.empty() && !IsSingleHeaderLine(header)) return {TCrmNamesCheck::HeaderRefused, {}};
    return {TCrmNamesCheck::Accepted, {}};
}

std::wstring BuildLookupUrl(const TCrmNamesSettings& settings, const std::wstring& number,
                            const std::wstring& channel) {
    if (CheckCrmNamesSettings(settings).Check != TCrmNamesCheck::Accepted) return {};
    return BuildCrmUrl(settings.LookupUrlTemplate, TCaller{number, {}, {}, {}}, channel);
}
