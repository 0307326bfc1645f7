#include "SqliteSteps.h"

#include "TextConvert.h"

#include <sqlite3.h>

bool TSqliteFailure::Damaged() const noexcept {
    return (FCode & 0xff) == SQLITE_NOTADB || (FCode & 0xff) == SQLITE_CORRUPT;
}

bool TSqliteFailure::Busy() const noexcept { return (FCode & 0xff) == SQLITE_BUSY || (FCode & 0xff) == SQLITE_LOCKED; }

void ThrowSqliteFailure(sqlite3* db, int code) {
    const std::wstring detail = db ? Utf8ToWide(sqlite3_errmsg(db)) : Utf8ToWide(sqlite3_errstr(code));
    throw TSqliteFailure(code, detail);
}

SqliteConnection SqliteOpenOwnFile(const std::wstring& path, int threading, int busyTimeoutMs) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) CreateFolderWithParents(path.substr(0, slash));
    sqlite3* opened = nullptr;
    const int code =
        sqlite3_open_v2(WideToUtf8(path).c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | threading, nullptr);
    SqliteConnection db(opened);
    if (code != SQLITE_OK) ThrowSqliteFailure(db.get(), code);
    sqlite3_extended_result_codes(db.get(), 1);
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    return db;
}

void SqliteExecute(sqlite3* db, const char* sql) {
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) ThrowSqliteFailure(db, code);
}

SqliteStatement SqlitePrepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    const int code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    if (code != SQLITE_OK) ThrowSqliteFailure(db, code);
    return SqliteStatement(statement);
}

void SqliteStepDone(sqlite3* db, sqlite3_stmt* statement) {
    const int code = sqlite3_step(statement);
    if (code != SQLITE_DONE) ThrowSqliteFailure(db, code);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

TSqliteTransaction::TSqliteTransaction(sqlite3* db) : FDb(db) { SqliteExecute(FDb, "BEGIN IMMEDIATE"); }

TSqliteTransaction::~TSqliteTransaction() {
    if (!FCommitted) sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
}

void TSqliteTransaction::Commit() {
    SqliteExecute(FDb, "COMMIT");
    FCommitted = true;
}
