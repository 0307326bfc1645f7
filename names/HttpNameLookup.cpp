#include "HttpNameLookup.h"

#include "CrmLink.h"
#include "HttpGet.h"
#include "JsonNameAnswer.h"
#include "TextTrim.h"

THttpNameResult LookUpNameOverHttp(const THttpLookupSettings& settings, const std::wstring& number,
                                   const std::wstring& channel, HANDLE cancelEvent) {
    const THttpLookupVerdict verdict = CheckHttpLookupSettings(settings);
    if (verdict.Check == THttpLookupCheck::Off) return THttpNameResult::Fail(THttpNameError::NotConfigured);
    if (verdict.Check != THttpLookupCheck::Accepted)
        return THttpNameResult::Fail(THttpNameError::SettingsRefused, verdict.Detail);
    if (!HasCallNumber(number)) return THttpNameResult::Fail(THttpNameError::NoNumber);

    THttpGetRequest request;
    request.Url = BuildLookupUrl(settings, number, channel);
    request.ExtraHeader = TrimControlChars(settings.LookupHeader);
    request.TimeoutMs = EffectiveLookupTimeoutMs(settings.LookupTimeoutMs);
    request.MaxBodyBytes = kMaxAnswerBytes;
    const THttpGetResponse response = HttpGet(request, cancelEvent);
    if (response.Error != THttpNameError::None) return THttpNameResult::Fail(response.Error, response.Detail);
    return ReadNameAnswer(response.Status, response.Body, settings.LookupNamePath, settings.LookupCommentPath);
}
