#pragma once
#include "CallJournal.h"

#include <functional>
#include <string>
#include <vector>

// The journal as a CSV file that spreadsheet programs open as it is: UTF-8 with
// a byte-order mark, ";" between fields, CR LF between rows, a field quoted when
// it holds ";", a quote, a line break or blanks at its ends. A field that a
// spreadsheet would take for a formula (starting with "=", "+", "-", "@", a tab
// or CR) gets a leading apostrophe, so that a caller's name never runs as one.

// The words of the file, in the user's language: the window passes them in.
struct TJournalCsvTexts {
    std::vector<std::wstring> Headers;   // one per column: time, channel, number, name, region, outcome, duration, note
    std::vector<std::wstring> Outcomes;  // indexed by TCallOutcome
};

// The time of a call as the file shows it.
using TJournalTimeText = std::function<std::wstring(int64_t utcMilliseconds)>;

// One field as the file holds it.
std::wstring CsvField(const std::wstring& value);

// The whole file: the byte-order mark, the header row and one row per record, in order.
std::string JournalCsv(const std::vector<const TCallRecord*>& records, const TJournalCsvTexts& texts,
                       const TJournalTimeText& timeText);
