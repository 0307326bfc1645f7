#pragma once
#include "Caller.h"
#include "KordavinUtils.h"

#include <string>

// Calling a caller back: a URL template such as tel:{number}, callto:{number},
// sip:{number}@pbx.example or a softphone's own scheme, filled with the number
// as this office dials it and opened through the shell, as the CRM link opens
// its cards (the same encoding of every value, the same replaceable opener).

inline constexpr wchar_t kDefaultCallbackUrlTemplate[] = L"tel:{number}";

struct TCallbackSettings {
    std::wstring UrlTemplate = kDefaultCallbackUrlTemplate;  // empty: no calling back
    std::wstring Prefix;  // dialled before every outside number (an exchange's outside line)
};

enum class TCallbackTemplateCheck {
    Accepted,
    Empty,               // no template: the command is hidden
    SchemeRefused,       // no scheme, or one that opens files or runs scripts
    UnknownPlaceholder,  // a {word} other than {number}, {name} and {channel}
};

// Blanks at either end of the template are not part of it.
TCallbackTemplateCheck CheckCallbackTemplate(const std::wstring& urlTemplate);
// Whether the command is offered at all.
inline bool CallbackUsable(const TCallbackSettings& settings) {
    return CheckCallbackTemplate(settings.UrlTemplate) == TCallbackTemplateCheck::Accepted;
}

// The canonical number (country code, area code, subscriber) as this office
// dials it: a number of the own city as the bare subscriber number, one of the
// own country behind the first long-distance prefix, any other complete number
// behind the first international prefix; outsidePrefix goes in front of each
// of these. Blanks, hyphens, dots and brackets are dropped. A number shorter
// than a complete one (an extension, a service number) or one holding other
// characters than digits is dialled as it stands, without outsidePrefix. Empty
// when the number has no digit.
std::wstring DialledNumber(const std::wstring& canonical, const TDiallingSettings& dialling,
                           const std::wstring& outsidePrefix);

// The URL for calling back, or empty when the template is not Accepted:
// {number} is the dialled number, {name} and {channel} as in the CRM link.
std::wstring BuildCallbackUrl(const std::wstring& urlTemplate, const std::wstring& dialledNumber,
                              const TCaller& caller, const std::wstring& channel);

enum class TCallbackResult { Opened, NotConfigured, NoNumber, TemplateRefused, OpenFailed };

// Dials the caller back. A call without a number opens nothing. error holds the
// opener's reason for OpenFailed.
TCallbackResult CallBack(const TCallbackSettings& settings, const TDiallingSettings& dialling, const TCaller& caller,
                         const std::wstring& channel, std::wstring* error = nullptr);
