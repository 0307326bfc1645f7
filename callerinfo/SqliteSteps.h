// The few steps every SQLite file of the program's own takes (the organisation
// directory's cache, the SQL directory's sync state): statements run, prepared
// and stepped, a transaction that rolls back unless committed; failures raise
// TSqliteFailure with SQLite's code and words.
#pragma once
#include "AppError.h"
#include "TableStore.h"

#include <string>

class TSqliteFailure : public AppError {
public:
    TSqliteFailure(int code, std::wstring message) : AppError(std::move(message)), FCode(code) {}
    // SQLite's (extended) result code.
    int code() const noexcept { return FCode; }
    // The file is not a database or is damaged: it cannot be repaired, only replaced.
    bool Damaged() const noexcept;
    // Another connection kept the file locked beyond the wait.
    bool Busy() const noexcept;

private:
    int FCode;
};

[[noreturn]] void ThrowSqliteFailure(sqlite3* db, int code);
// One of the program's own files, read-write, made (with its folder) when missing,
// with extended result codes and busyTimeoutMs of waiting for another connection's
// lock; threading is SQLITE_OPEN_NOMUTEX or SQLITE_OPEN_FULLMUTEX.
SqliteConnection SqliteOpenOwnFile(const std::wstring& path, int threading, int busyTimeoutMs);
void SqliteExecute(sqlite3* db, const char* sql);
SqliteStatement SqlitePrepare(sqlite3* db, const char* sql);
// Steps a statement that returns no rows, then makes it ready for the next use.
void SqliteStepDone(sqlite3* db, sqlite3_stmt* statement);

// BEGIN IMMEDIATE; rolls back unless committed, so that a failure half-way stores nothing.
class TSqliteTransaction {
public:
    explicit TSqliteTransaction(sqlite3* db);
    ~TSqliteTransaction();
    TSqliteTransaction(const TSqliteTransaction&) = delete;
    TSqliteTransaction& operator=(const TSqliteTransaction&) = delete;
    void Commit();

private:
    sqlite3* FDb;
    bool FCommitted = false;
};
