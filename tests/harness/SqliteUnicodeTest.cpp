// SQLite built for the target stores and returns UTF-16 Cyrillic text in a file.
#include <gtest/gtest.h>

#include "TestFolders.h"

#include <sqlite3.h>

#include <string>

TEST(SqliteOnTarget, CyrillicTextRoundTripsThroughADatabaseFile) {
    TempFolder folder;
    const std::wstring path = folder.file(L"Абоненты.db");
    const std::u16string name = u"Иван Петрович Сидоров";

    {
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open16(path.c_str(), &db));
        ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "CREATE TABLE t (phone TEXT PRIMARY KEY, name TEXT)", nullptr,
                                          nullptr, nullptr));
        sqlite3_stmt* insert = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_prepare16_v2(db, u"INSERT INTO t VALUES (?, ?)", -1, &insert, nullptr));
        sqlite3_bind_text16(insert, 1, u"74951234567", -1, SQLITE_TRANSIENT);
        sqlite3_bind_text16(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        EXPECT_EQ(SQLITE_DONE, sqlite3_step(insert));
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }

    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open16(path.c_str(), &db));
    sqlite3_stmt* select = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare16_v2(db, u"SELECT name FROM t WHERE phone = ?", -1, &select, nullptr));
    sqlite3_bind_text16(select, 1, u"74951234567", -1, SQLITE_TRANSIENT);
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(select));
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(select, 0));
    EXPECT_EQ(name, std::u16string(text));
    sqlite3_finalize(select);
    sqlite3_close(db);
}
