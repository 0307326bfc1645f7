#pragma once
#include "DirectoryBulk.h"

#include <string>
#include <vector>

// The directory as a CSV file for spreadsheet programs with Russian regional
// settings: UTF-8 with a BOM (so the Cyrillic is not read as the ANSI code page),
// ";" between fields (the list separator there), a header row, CR LF line ends;
// a field is quoted when it holds a ";", a quote, a line break or blanks at an
// end, with its quotes doubled. ReadImportFile reads it back unchanged.
std::string ExportDirectoryCsv(const std::vector<DirectoryRow>& rows);

// Header texts of the exported file; the import recognises them.
inline constexpr const wchar_t* kExportHeader[] = {L"Номер", L"Имя", L"Комментарий"};
