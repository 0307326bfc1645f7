#pragma once
#include "OrgDirectoryCache.h"
#include "OrgDirectorySync.h"

#include <string>

// What the windows say of the organisation's directory, in the user's words.

// Why a read failed, with the server and its own message when there are any;
// empty for no failure.
std::wstring OrgDirectoryErrorText(const TOrgDirectoryError& error);
// The settings dialog's check: how many entries with numbers, or why none.
std::wstring OrgCheckResultText(const TOrgCheckResult& result);
// The diagnostics' line: the last sync's time, duration, entries and numbers,
// or its error and the names still in use.
std::wstring OrgSyncStatusText(const TOrgSyncStatus& status, bool enabled);
