#pragma once
#include <string>
#include <string_view>

struct sqlite3_stmt;

// The program's UTF-16 text in and out of SQLite statements; a NULL column reads as empty.
void BindWide(sqlite3_stmt* statement, int index, std::wstring_view text);
std::wstring ColumnWide(sqlite3_stmt* statement, int column);
