#pragma once
#include <string>

// Where and how to ask a CRM for a caller's name. The values here are the
// built-in defaults; the keys are the settings file's names.
struct TCrmNamesSettings {
    // http:// or https:// with {number} and {channel}, as a CRM card's template.
    std::wstring LookupUrlTemplate;
    // JSON Pointer paths into the answer; an empty comment path reads no comment.
    std::wstring LookupNamePath = L"/name";
    std::wstring LookupCommentPath;
    // For the whole exchange: resolving, connecting, sending and receiving.
    int LookupTimeoutMs = 1500;
    // One extra request header such as "Authorization: Bearer …"; empty for none.
    // Held as plain text here; the settings file keeps it only protected for
    // the Windows user (ProtectForUser).
    std::wstring LookupHeader;

    bool operator==(const TCrmNamesSettings&) const = default;
};

namespace CrmNamesKeys {
inline constexpr wchar_t UrlTemplate[] = L"LookupUrlTemplate";
inline constexpr wchar_t NamePath[] = L"LookupNamePath";
inline constexpr wchar_t CommentPath[] = L"LookupCommentPath";
inline constexpr wchar_t TimeoutMs[] = L"LookupTimeoutMs";
inline constexpr wchar_t ProtectedHeader[] = L"LookupHeader";
}  // namespace CrmNamesKeys

// The time-out actually used: a value below the minimum or above the maximum
// (a hand-edited file) is moved to the nearest end.
inline constexpr int kLookupTimeoutMinMs = 100;
inline constexpr int kLookupTimeoutMaxMs = 30000;
int EffectiveLookupTimeoutMs(int timeoutMs);

enum class TCrmNamesCheck {
    Accepted,
    Off,                 // no template: the lookup is off
    TemplateRefused,     // see Detail: the CRM template's own check, or a {name} placeholder
    NamePathRefused,     // empty, or not a JSON Pointer
    CommentPathRefused,  // not a JSON Pointer
    HeaderRefused,       // not "Name: value" on one line
};

struct TCrmNamesVerdict {
    TCrmNamesCheck Check = TCrmNamesCheck::Off;
    // What was refused: a placeholder as typed, or a path.
    std::wstring Detail;
};

TCrmNamesVerdict CheckCrmNamesSettings(const TCrmNamesSettings& settings);

// "" or "/a/b~1c/0": every reference token after a '/', '~' only as ~0 or ~1.
bool IsJsonPointer(const std::wstring& path);

// A header line that can go out as it stands: a name of token characters, a
// colon, a value without line breaks or other control characters.
bool IsSingleHeaderLine(const std::wstring& header);

// The URL that asks for one number, or empty when the settings are not Accepted.
std::wstring BuildLookupUrl(const TCrmNamesSettings& settings, const std::wstring& number,
                            const std::wstring& channel);
