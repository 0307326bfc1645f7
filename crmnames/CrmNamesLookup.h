#pragma once
#include "CrmNamesSettings.h"
#include "CrmNamesResult.h"

#include <windows.h>

#include <string>

// One lookup from start to end on the calling thread: the settings' checks,
// the request and the reading of its answer. It blocks for at most the
// settings' time-out, so a window calls it from a thread of its own (the
// settings' "check" button) and the popups only through TCrmNamesService.
// cancelEvent: an optional manual-reset event that ends it early as Canceled.
TCrmNamesResult LookUpNameOverHttp(const TCrmNamesSettings& settings, const std::wstring& number,
                                   const std::wstring& channel, HANDLE cancelEvent = nullptr);
