#pragma once
#include "CrmNamesResult.h"

#include <windows.h>

#include <cstddef>
#include <string>

// One GET over WinHTTP with the system's proxy settings, held to one deadline
// for the whole exchange so that a server that trickles its answer is cut off.
struct THttpGetRequest {
    std::wstring Url;           // http:// or https://
    std::wstring ExtraHeader;   // one "Name: value" line, or empty
    int TimeoutMs = 1500;
    size_t MaxBodyBytes = 1024 * 1024;
    // Redirects are followed by hand: only within the same scheme, at most this
    // many, and the extra header goes only to the host it was meant for.
    int MaxRedirects = 5;
};

struct THttpGetResponse {
    // None: Status holds the answer's status and, for 200, Body its bytes.
    TCrmNamesError Error = TCrmNamesError::None;
    std::wstring Detail;
    int Status = 0;
    std::string Body;
};

// cancelEvent: an optional manual-reset event; once it is set the exchange
// ends within moments as Canceled.
THttpGetResponse HttpGet(const THttpGetRequest& request, HANDLE cancelEvent = nullptr);
