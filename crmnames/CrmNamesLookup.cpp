#include "CrmNamesLookup.h"

#include "CrmLink.h"
#include "HttpGet.h"
#include "JsonNameAnswer.h"
#include "TextTrim.h"

TCrmNamesResult LookUpNameOverHttp(const TCrmNamesSettings& settings, const std::wstring& number,
                                   const std::wstring& channel, HANDLE cancelEvent) {
    const TCrmNamesVerdict verdict = CheckCrmNamesSettings(settings);
    if (verdict.Check == TCrmNamesCheck::Off) return TCrmNamesResult::Fail(TCrmNamesError::NotConfigured);
    if (verdict.Check != TCrmNamesCheck::Accepted)
        return TCrmNamesResult::Fail(TCrmNamesError::SettingsRefused, verdict.Detail);
    if (!HasCallNumber(number)) return TCrmNamesResult::Fail(TCrmNamesError::NoNumber);

    THttpGetRequest request;
    request.Url = BuildLookupUrl(settings, number, channel);
    request.ExtraHeader = TrimControlChars(settings.LookupHeader);
    request.TimeoutMs = EffectiveLookupTimeoutMs(settings.LookupTimeoutMs);
    request.MaxBodyBytes = kMaxAnswerBytes;
    const THttpGetResponse response = HttpGet(request, cancelEvent);
    if (response.Error != TCrmNamesError::None) return TCrmNamesResult::Fail(response.Error, response.Detail);
    return ReadNameAnswer(response.Status, response.Body, settings.LookupNamePath, settings.LookupCommentPath);
}
