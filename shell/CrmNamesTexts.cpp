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

std::wstring CrmNamesErrorText(TCrmNamesError error, const std::wstring& detail) {
    if (error == TCrmNamesError::None) return {};
    return FormatResourceString(IDS_LOOKUP_ERROR_FIRST + static_cast<UINT>(error), ShortDetail(detail));
}

std::wstring CrmNamesResultText(const TCrmNamesResult& result) {
    switch (result.Outcome) {
    case TCrmNamesOutcome::Found:
        return result.Comment.empty() ? FormatResourceText(IDS_LOOKUP_FOUND, {result.Name})
                                      : FormatResourceText(IDS_LOOKUP_FOUND_COMMENT, {result.Name, result.Comment});
    case TCrmNamesOutcome::NotFound:
        return LoadResourceString(IDS_LOOKUP_NOT_FOUND);
    case TCrmNamesOutcome::Failed:
        break;
    }
    return FormatResourceString(IDS_LOOKUP_FAILED, CrmNamesErrorText(result.Error, result.Detail));
}

std::wstring CrmNamesVerdictText(const TCrmNamesVerdict& verdict) {
    switch (verdict.Check) {
    case TCrmNamesCheck::Accepted:
        return {};
    case TCrmNamesCheck::TemplateRefused:
        return verdict.Detail.empty() ? LoadResourceString(IDS_LOOKUP_SCHEME_REFUSED)
                                      : FormatResourceString(IDS_LOOKUP_PLACEHOLDER_REFUSED, verdict.Detail);
    default:
        return LoadResourceString(IDS_LOOKUP_CHECK_FIRST + static_cast<UINT>(verdict.Check));
    }
}
