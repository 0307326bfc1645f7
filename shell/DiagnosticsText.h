#pragma once
#include "EventDiagnostics.h"

#include <array>
#include <string>

// The texts of the diagnostics window, made from the compact records only when
// they are shown or copied.

enum TDiagnosticsColumn { dcTime, dcEvent, dcChannel, dcNumber, dcOutcome, dcColumnCount };
using TDiagnosticsRow = std::array<std::wstring, dcColumnCount>;

// Local time; with the date for the copied text, which may be read days later.
std::wstring DiagnosticsTimeText(const FILETIME& time, bool withDate);
TDiagnosticsRow DiagnosticsRow(const TEventRecord& record, bool withDate);
std::wstring DiagnosticsOutcomeText(const TEventRecord& record);
TDiagnosticsRow DiagnosticsColumnTitles();
std::wstring DiagnosticsStateText(const TEventDiagnostics& diagnostics);
std::wstring DiagnosticsErrorText(const TEventDiagnostics& diagnostics);
// Why the connection failed, as the diagnostics and the tray's hint say it; empty for none.
std::wstring ConnectionErrorText(const TConnectionError& error);
// Everything the window shows, newest event first, columns separated by tabs.
std::wstring DiagnosticsClipboardText(const TEventDiagnostics& diagnostics);
