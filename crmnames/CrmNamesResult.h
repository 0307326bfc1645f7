#pragma once
#include <cstdint>
#include <string>

// What asking a CRM over HTTP for a caller's name gave. Windows turn the error
// into text; the logic only says which one it was.

enum class TCrmNamesOutcome : uint8_t { Found, NotFound, Failed };

enum class TCrmNamesError : uint8_t {
    None,
    NotConfigured,     // no URL template: the lookup is off
    SettingsRefused,   // the template, a path or the header fails its check (detail: which)
    NoNumber,          // a withheld or empty number is never sent
    ServerNotReached,  // the name did not resolve or the connection was refused
    TimedOut,          // the whole exchange took longer than the time-out
    Canceled,          // the program is closing
    RequestFailed,     // any other transport failure (detail: WinHTTP's error code)
    HttpStatus,        // a status other than 200 and 404 (detail: the status)
    RedirectRefused,   // a redirect to another scheme, or too many (detail: the target)
    BodyTooLarge,      // more than the answer may hold
    NotJson,           // HTML, invalid JSON, text that is not UTF-8
    NotObject,         // JSON, but a bare string, number or literal
    TooDeep,           // nested deeper than an answer may be
    ValueNotText,      // the name's path leads to an object, an array or a boolean (detail: the path)
    Internal,          // out of memory and the like (detail: the error's text)
};

struct TCrmNamesResult {
    TCrmNamesOutcome Outcome = TCrmNamesOutcome::Failed;
    TCrmNamesError Error = TCrmNamesError::None;
    // For the diagnostics: a status code, an error code, a refused target.
    std::wstring Detail;
    // Plain one-line text, set when Found (the comment may be empty).
    std::wstring Name;
    std::wstring Comment;

    static TCrmNamesResult Fail(TCrmNamesError error, std::wstring detail = {}) {
        TCrmNamesResult result;
        result.Error = error;
        result.Detail = std::move(detail);
        return result;
    }
    static TCrmNamesResult NotFound() {
        TCrmNamesResult result;
        result.Outcome = TCrmNamesOutcome::NotFound;
        return result;
    }
};
