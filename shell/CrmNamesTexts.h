#pragma once
#include "HttpLookupSettings.h"
#include "HttpNameResult.h"

#include <string>

// The words for what the CRM name lookup reports, from the string table: for
// the settings dialog's check and for the diagnostics.

// Why a lookup gave nothing, e.g. "CRM ответила кодом HTTP 500"; empty for None.
std::wstring HttpNameErrorText(THttpNameError error, const std::wstring& detail);

// A check's whole result: the name and comment, "not found", or the reason.
std::wstring HttpNameResultText(const THttpNameResult& result);

// Why settings cannot be applied; empty when they are Accepted.
std::wstring HttpLookupVerdictText(const THttpLookupVerdict& verdict);
