#pragma once
#include "DirectoryBulk.h"

#include <string>
#include <vector>

// The directory as a CSV file for spreadsheet programs with Russian regional
// settings: UTF-8 with a BOM (so the Cyrillic is not read as the ANSI code page),
// ";" between fields (the list separator there), a header row, CR LF line ends;
// a field is quoted when it holds a ";", a quote, a line break or blanks at an
// end, with its quotes doubled. A field that a spreadsheet would take for a
// formula gets an apostrophe in front (SpreadsheetSafeField). ReadImportFile
// reads the file back unchanged.
std::string ExportDirectoryCsv(const std::vector<DirectoryRow>& rows);

// A text that a spreadsheet would run as a formula (it begins with "=", "+",
// "-", "@", a tab or a carriage return) or that begins with an apostrophe gets
// one more apostrophe in front; the import takes exactly that one away again
// (WithoutSpreadsheetGuard), so a text of ours never changes on the way.
std::wstring SpreadsheetSafeField(const std::wstring& field);

// Header texts of the exported file; the import recognises them.
inline constexpr const wchar_t* kExportHeader[] = {L"Номер", L"Имя", L"Комментарий"};
