#pragma once
#include "SqlDirectory.h"
#include "SqlMoveOver.h"

#include <cstddef>
#include <string>

// What the windows say of the subscriber directory in the SQL server, in the
// user's words.

// Why an operation on the server failed, with the driver's own message where
// it helps; empty for no failure.
std::wstring SqlErrorText(const TSqlError& error);
// The settings dialog's check: the table is there with every column, or why not.
std::wstring SqlCheckResultText(const TSqlError& error, const std::wstring& table);
// The move-over's counts, or where and why it stopped.
std::wstring SqlMoveOverResultText(const TSqlMoveOverResult& result);
// The diagnostics' line: off, or the last sync, the saves waiting and the last error.
std::wstring SqlStatusText(const TSqlDirectoryStatus& status);
// The tray's hint line: the saves waiting for the server and the last error's
// kind; empty when none wait and nothing failed.
std::wstring SqlTrayText(const TSqlDirectoryStatus& status);
