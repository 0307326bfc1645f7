#pragma once
#include "CallJournal.h"

#include <string>

// What the tray says of missed calls: the icon's hint with their count, and the
// balloon text of one missed call. Texts from the program's string table.
std::wstring TrayHintWithMissedCalls(const std::wstring& caption, int64_t missed);
std::wstring MissedCallBalloonText(const TCallRecord& record);
