#pragma once
#include "Caller.h"

#include <functional>
#include <string>

// The screen-pop into a CRM: a URL template such as
//   https://crm.example/card?phone={number}&line={channel}
// filled with one call's data and opened in the user's default browser.
//
// Placeholders are {number}, {name} and {channel}, matched without regard to
// letter case. Every substituted value is percent-encoded as UTF-8 with only
// the unreserved characters of RFC 3986 kept, so call data can never add a
// path, a query parameter or a quote to the URL. The template's own text is
// kept as typed where it is valid in a URL; blanks, quotes, non-ASCII letters
// and other characters a URL cannot hold are percent-encoded as UTF-8, so the
// result is plain ASCII without blanks or quotes.

// When the CRM card opens. The ordinals are what the settings file keeps.
enum TCrmOpenMode : int { comNever = 0, comButton = 1, comOnAnswer = 2 };
// Values outside the enumeration (a hand-edited file) act as comNever.
TCrmOpenMode EffectiveCrmOpenMode(TCrmOpenMode mode);

// The CRM link's settings: the URL template (empty: none) and when a card opens.
struct TCrmSettings {
    std::wstring UrlTemplate;
    TCrmOpenMode OpenMode = comNever;
};

enum class TCrmTemplateCheck {
    Accepted,
    Empty,               // no template: the CRM link is off
    SchemeRefused,       // not http:// or https:// followed by a host
    UnknownPlaceholder,  // a {word} that is not one of the three placeholders
};

struct TCrmTemplateVerdict {
    TCrmTemplateCheck Check = TCrmTemplateCheck::Empty;
    // For UnknownPlaceholder: the placeholder as typed, braces included.
    std::wstring Detail;
};

// Blanks at either end of the template are not part of it.
TCrmTemplateVerdict CheckCrmTemplate(const std::wstring& urlTemplate);

// Whether cards can be opened at all: a mode other than "never" and an accepted template.
bool CrmLinkUsable(const TCrmSettings& settings);
// Whether a call's card opens when it is answered.
bool CrmOpensOnAnswer(const TCrmSettings& settings);

// The URL for one call, or empty when the template is not Accepted.
std::wstring BuildCrmUrl(const std::wstring& urlTemplate, const TCaller& caller, const std::wstring& channel);

// The URL for one call from a template whose scheme the caller has checked:
// the template's text made valid as above, each placeholder replaced by its
// value, percent-encoded. Other link kinds (calling back) share it.
std::wstring FillUrlTemplate(const std::wstring& urlTemplate, const TCaller& caller, const std::wstring& channel);
// Whether the template holds a {word} (or a lone brace) that is no placeholder;
// detail gets it as typed.
bool FindUnknownPlaceholder(const std::wstring& urlTemplate, std::wstring& detail);

// Every unit except A-Z a-z 0-9 - . _ ~ as %XX of its UTF-8 bytes; a lone
// surrogate counts as U+FFFD.
std::wstring PercentEncodeValue(const std::wstring& value);

// Opens a URL. True when it was handed on; otherwise error says why.
using TUrlOpener = std::function<bool(const std::wstring& url, std::wstring& error)>;

// The default browser, through the shell's "open" verb with the URL alone: no
// command line is ever built here.
bool OpenUrlInBrowser(const std::wstring& url, std::wstring& error);

// Replaces the opener for the whole process (null restores the browser), so
// that tests record URLs instead of starting a browser.
void SetCrmUrlOpener(TUrlOpener opener);

// Opens a URL through the opener SetCrmUrlOpener installed, or the browser.
bool OpenUrl(const std::wstring& url, std::wstring& error);

// Whether a call's number is one: a withheld-number marker or an empty text is not.
bool HasCallNumber(const std::wstring& number);

enum class TCrmOpenResult { Opened, NotConfigured, NoNumber, TemplateRefused, OpenFailed };

// Builds the card's URL for a call and opens it. A call without a number opens
// nothing. error holds the opener's reason for OpenFailed.
TCrmOpenResult OpenCrmCard(const std::wstring& urlTemplate, const TCaller& caller, const std::wstring& channel,
                           std::wstring* error = nullptr);
