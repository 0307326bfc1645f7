#include "SqlSyncStore.h"

#include "SqliteSteps.h"
#include "SqliteText.h"
#include "TextConvert.h"

#include <windows.h>

#include <sqlite3.h>

#include <utility>

namespace {

// Another copy of the program of the same user may hold the file briefly.
constexpr int kBusyTimeoutMs = 5000;

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS SyncState(Id INTEGER PRIMARY KEY CHECK (Id = 1), Source TEXT NOT NULL,"
    " Complete INTEGER NOT NULL, Watermark INTEGER NOT NULL, MaxSeen INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS ReadMarks(EndedUnixMs INTEGER NOT NULL, MaxSeen INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS Outbox(Seq INTEGER PRIMARY KEY AUTOINCREMENT, Phone TEXT NOT NULL,"
    " Name TEXT NOT NULL, Comment TEXT NOT NULL, Deleted INTEGER NOT NULL, ChangedBy TEXT NOT NULL,"
    " ChangedAtUnixMs INTEGER NOT NULL);";

// The store's failures as the subscriber directory's saves raise them.
template <typename TBody>
auto Guarded(TBody&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const TSqliteFailure& failure) {
        throw TableStoreError(failure.Busy() ? TableStoreError::Kind::Locked : TableStoreError::Kind::General,
                              L"Очередь сохранений справочника недоступна: " + failure.message());
    }
}

TSqlChange ChangeFrom(sqlite3_stmt* row, int first) {
    TSqlChange change;
    change.Phone = ColumnWide(row, first);
    change.Name = ColumnWide(row, first + 1);
    change.Comment = ColumnWide(row, first + 2);
    change.Deleted = sqlite3_column_int(row, first + 3) != 0;
    change.ChangedBy = ColumnWide(row, first + 4);
    change.ChangedAtUnixMs = sqlite3_column_int64(row, first + 5);
    return change;
}

}  // namespace

TSqlSyncStore::TSqlSyncStore(const std::wstring& path) {
    Guarded([&] {
        try {
            OpenFile(path);
        } catch (const TSqliteFailure& failure) {
            if (!failure.Damaged()) throw;
            FDb.reset();
            // Kept for whoever wants to look at what it held; a newer one replaces an older.
            ::MoveFileExW(path.c_str(), (path + L".damaged").c_str(), MOVEFILE_REPLACE_EXISTING);
            ::DeleteFileW((path + L"-journal").c_str());
            OpenFile(path);
        }
    });
}

void TSqlSyncStore::OpenFile(const std::wstring& path) {
    SqliteConnection db = SqliteOpenOwnFile(path, SQLITE_OPEN_NOMUTEX, kBusyTimeoutMs);
    SqliteExecute(db.get(), kSchema);
    FDb = std::move(db);
}

TSqlSyncState TSqlSyncStore::ReadState() const {
    return Guarded([&] {
        const std::lock_guard lock(FLock);
        sqlite3* db = FDb.get();
        TSqlSyncState state;
        const SqliteStatement select =
            SqlitePrepare(db, "SELECT Source, Complete, Watermark, MaxSeen FROM SyncState WHERE Id = 1");
        int code = sqlite3_step(select.get());
        if (code == SQLITE_ROW) {
            state.Source = ColumnWide(select.get(), 0);
            state.Complete = sqlite3_column_int(select.get(), 1) != 0;
            state.Watermark = sqlite3_column_int64(select.get(), 2);
            state.MaxSeen = sqlite3_column_int64(select.get(), 3);
        } else if (code != SQLITE_DONE) {
            ThrowSqliteFailure(db, code);
        }
        const SqliteStatement marks = SqlitePrepare(db, "SELECT EndedUnixMs, MaxSeen FROM ReadMarks ORDER BY rowid");
        while ((code = sqlite3_step(marks.get())) == SQLITE_ROW)
            state.Marks.push_back({sqlite3_column_int64(marks.get(), 0), sqlite3_column_int64(marks.get(), 1)});
        if (code != SQLITE_DONE) ThrowSqliteFailure(db, code);
        return state;
    });
}

void TSqlSyncStore::WriteState(const TSqlSyncState& state) {
    return Guarded([&] {
        const std::lock_guard lock(FLock);
        sqlite3* db = FDb.get();
        TSqliteTransaction transaction(db);
        const SqliteStatement put = SqlitePrepare(
            db,
            "INSERT OR REPLACE INTO SyncState(Id, Source, Complete, Watermark, MaxSeen) VALUES (1, ?1, ?2, ?3, ?4)");
        BindWide(put.get(), 1, state.Source);
        sqlite3_bind_int(put.get(), 2, state.Complete ? 1 : 0);
        sqlite3_bind_int64(put.get(), 3, state.Watermark);
        sqlite3_bind_int64(put.get(), 4, state.MaxSeen);
        SqliteStepDone(db, put.get());
        SqliteExecute(db, "DELETE FROM ReadMarks");
        const SqliteStatement mark = SqlitePrepare(db, "INSERT INTO ReadMarks(EndedUnixMs, MaxSeen) VALUES (?1, ?2)");
        for (const TSqlReadMark& each : state.Marks) {
            sqlite3_bind_int64(mark.get(), 1, each.EndedUnixMs);
            sqlite3_bind_int64(mark.get(), 2, each.MaxSeen);
            SqliteStepDone(db, mark.get());
        }
        transaction.Commit();
    });
}

void TSqlSyncStore::Append(const std::vector<TSqlChange>& changes) {
    return Guarded([&] {
        const std::lock_guard lock(FLock);
        sqlite3* db = FDb.get();
        TSqliteTransaction transaction(db);
        const SqliteStatement insert =
            SqlitePrepare(db,
                          "INSERT INTO Outbox(Phone, Name, Comment, Deleted, ChangedBy, ChangedAtUnixMs)"
                          " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        for (const TSqlChange& change : changes) {
            BindWide(insert.get(), 1, change.Phone);
            BindWide(insert.get(), 2, change.Name);
            BindWide(insert.get(), 3, change.Comment);
            sqlite3_bind_int(insert.get(), 4, change.Deleted ? 1 : 0);
            BindWide(insert.get(), 5, change.ChangedBy);
            sqlite3_bind_int64(insert.get(), 6, change.ChangedAtUnixMs);
            SqliteStepDone(db, insert.get());
        }
        transaction.Commit();
    });
}

std::vector<TSqlOutboxEntry> TSqlSyncStore::Oldest(std::size_t count) const {
    return Guarded([&] {
        const std::lock_guard lock(FLock);
        sqlite3* db = FDb.get();
        const SqliteStatement select = SqlitePrepare(
            db,
            "SELECT Seq, Phone, Name, Comment, Deleted, ChangedBy, ChangedAtUnixMs FROM Outbox ORDER BY Seq LIMIT ?1");
        sqlite3_bind_int64(select.get(), 1, static_cast<sqlite3_int64>(count));
        std::vector<TSqlOutboxEntry> entries;
        int code;
        while ((code = sqlite3_step(select.get())) == SQLITE_ROW)
            entries.push_back({sqlite3_column_int64(select.get(), 0), ChangeFrom(select.get(), 1)});
        if (code != SQLITE_DONE) ThrowSqliteFailure(db, code);
        return entries;
    });
}

void TSqlSyncStore::RemoveUpTo(int64_t seq) {
    return Guarded([&] {
        const std::lock_guard lock(FLock);
        sqlite3* db = FDb.get();
        const SqliteStatement remove = SqlitePrepare(db, "DELETE FROM Outbox WHERE Seq <= ?1");
        sqlite3_bind_int64(remove.get(), 1, seq);
        SqliteStepDone(db, remove.get());
    });
}

std::size_t TSqlSyncStore::Waiting() const {
    return Guarded([&] {
        const std::lock_guard lock(FLock);
        sqlite3* db = FDb.get();
        const SqliteStatement count = SqlitePrepare(db, "SELECT COUNT(*) FROM Outbox");
        const int code = sqlite3_step(count.get());
        if (code != SQLITE_ROW) ThrowSqliteFailure(db, code);
        return static_cast<std::size_t>(sqlite3_column_int64(count.get(), 0));
    });
}

std::unordered_map<std::wstring, TSqlChange> TSqlSyncStore::PendingByPhone() const {
    return Guarded([&] {
        const std::lock_guard lock(FLock);
        sqlite3* db = FDb.get();
        const SqliteStatement select = SqlitePrepare(
            db, "SELECT Phone, Name, Comment, Deleted, ChangedBy, ChangedAtUnixMs FROM Outbox ORDER BY Seq");
        std::unordered_map<std::wstring, TSqlChange> pending;
        int code;
        while ((code = sqlite3_step(select.get())) == SQLITE_ROW) {
            TSqlChange change = ChangeFrom(select.get(), 0);
            std::wstring phone = change.Phone;
            pending.insert_or_assign(std::move(phone), std::move(change));
        }
        if (code != SQLITE_DONE) ThrowSqliteFailure(db, code);
        return pending;
    });
}
