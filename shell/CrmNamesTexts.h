#pragma once
#include "CrmNamesSettings.h"
#include "CrmNamesResult.h"

#include <string>

// The words for what the CRM name lookup reports, from the string table: for
// the settings dialog's check and for the diagnostics.

// Why a lookup gave nothing, e.g. "CRM ответила кодом HTTP 500"; empty for None.
std::wstring CrmNamesErrorText(TCrmNamesError error, const std::wstring& detail);

// A check's whole result: the name and comment, "not found", or the reason.
std::wstring CrmNamesResultText(const TCrmNamesResult& result);

// Why settings cannot be applied; empty when they are Accepted.
std::wstring CrmNamesVerdictText(const TCrmNamesVerdict& verdict);
