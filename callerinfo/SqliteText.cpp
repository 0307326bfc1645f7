#include "SqliteText.h"

#include <sqlite3.h>

void BindWide(sqlite3_stmt* statement, int index, std::wstring_view text) {
    sqlite3_bind_text16(statement, index, text.data(), static_cast<int>(text.size() * sizeof(wchar_t)),
                        SQLITE_TRANSIENT);
}

std::wstring ColumnWide(sqlite3_stmt* statement, int column) {
    const auto* text = static_cast<const wchar_t*>(sqlite3_column_text16(statement, column));
    const int bytes = sqlite3_column_bytes16(statement, column);
    return text ? std::wstring(text, static_cast<size_t>(bytes) / sizeof(wchar_t)) : std::wstring();
}
