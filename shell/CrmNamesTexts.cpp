#include "CrmNamesTexts.h"

#include "CrmNamesRes.h"
#include "ResourceText.h"
#include "TextTrim.h"

namespace {

// A detail from a server (a redirect's target) shown on one short line.
constexpr size_t kMaxDetail = 200;

std::wstring ShortDetail(const std::wstring& detail) {
    std::wstring text = SingleLineText(detail);
    if (text.size() > kMaxDetail) text = text.substr(0, kMaxDetail) + L"…";
    return text;
}

}  // namespace

std::wstring HttpNameErrorText(THttpNameError error, const std::wstring& detail) {
    if (error == THttpNameError::None) return {};
    return FormatResourceString(IDS_LOOKUP_ERROR_FIRST + static_cast<UINT>(error), ShortDetail(detail));
}

std::wstring HttpNameResultText(const THttpNameResult& result) {
    switch (result.Outcome) {
    case THttpNameOutcome::Found:
        return result.Comment.empty() ? FormatResourceText(IDS_LOOKUP_FOUND, {result.Name})
                                      : FormatResourceText(IDS_LOOKUP_FOUND_COMMENT, {result.Name, result.Comment});
    case THttpNameOutcome::NotFound:
        return LoadResourceString(IDS_LOOKUP_NOT_FOUND);
    case THttpNameOutcome::Failed:
        break;
    }
    return FormatResourceString(IDS_LOOKUP_FAILED, HttpNameErrorText(result.Error, result.Detail));
}

std::wstring HttpLookupVerdictText(const THttpLookupVerdict& verdict) {
    switch (verdict.Check) {
    case THttpLookupCheck::Accepted:
        return {};
    case THttpLookupCheck::TemplateRefused:
        return verdict.Detail.empty() ? LoadResourceString(IDS_LOOKUP_SCHEME_REFUSED)
                                      : FormatResourceString(IDS_LOOKUP_PLACEHOLDER_REFUSED, verdict.Detail);
    default:
        return LoadResourceString(IDS_LOOKUP_CHECK_FIRST + static_cast<UINT>(verdict.Check));
    }
}
