#pragma once
#include "SubscriberTable.h"
#include "TableStore.h"
#include "TestFolders.h"
#include "pqrUnit.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

// Files and tables for the directory tests, read and written around the store
// where a test needs to see what is really on disk.

void WriteBytes(const std::wstring& path, const std::string& bytes);
// The text in Windows-1251, as Russian desktop programs export it.
std::string Windows1251(const std::wstring& text);
bool PathExists(const std::wstring& path);
// The names in a folder, sorted.
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

// Every row of a subscriber table file: number -> (name, comment).
using SubscriberRows = std::map<std::wstring, std::pair<std::wstring, std::wstring>>;
SubscriberRows ReadSubscriberRows(const std::wstring& tablePath);

// A city-code table with these (code, name) rows.
void MakeCityTable(const std::wstring& folder, const std::vector<std::pair<std::wstring, std::wstring>>& rows);
