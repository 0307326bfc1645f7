#include "OrgDirectoryCache.h"

#include "AppError.h"
#include "CallJournal.h"
#include "KordavinUtils.h"
#include "PathText.h"
#include "SqliteSteps.h"
#include "SqliteText.h"
#include "TextConvert.h"

#include <windows.h>

#include <sqlite3.h>

#include <utility>

namespace {

// The sync is the only writer; a second copy of the program of the same user
// may hold the file briefly.
constexpr int kBusyTimeoutMs = 2000;

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS Entries(Id INTEGER PRIMARY KEY, Name TEXT NOT NULL, Comment TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS Numbers(Number TEXT PRIMARY KEY, EntryId INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS SyncState(Key TEXT PRIMARY KEY, Value) WITHOUT ROWID;";

// The state keys; the error kind is kept as the enumeration's ordinal.
constexpr const char* kAttemptTime = "AttemptTime";
constexpr const char* kDurationMs = "DurationMs";
constexpr const char* kErrorKind = "ErrorKind";
constexpr const char* kLdapCode = "LdapCode";
constexpr const char* kErrorServer = "ErrorServer";
constexpr const char* kErrorDetail = "ErrorDetail";
constexpr const char* kCacheTime = "CacheTime";
constexpr const char* kSource = "Source";

}  // namespace

void TOrgDirectoryCache::Open(const std::wstring& path) {
    const std::lock_guard file(fileLock_);
    try {
        OpenFile(path);
    } catch (const TSqliteFailure& failure) {
        if (!failure.Damaged()) throw;
        db_.reset();
        ::DeleteFileW(path.c_str());
        OpenFile(path);
    }
}

void TOrgDirectoryCache::OpenFile(const std::wstring& path) {
    SqliteConnection db = SqliteOpenOwnFile(path, SQLITE_OPEN_FULLMUTEX, kBusyTimeoutMs);
    SqliteExecute(db.get(), kSchema);
    db_ = std::move(db);
    open_ = false;
    TNames names = LoadNames();
    const std::unique_lock lock(namesLock_);
    names_ = std::move(names);
    LoadState();
    open_ = true;
}

bool TOrgDirectoryCache::IsOpen() const { return open_.load(); }

TOrgDirectoryCache::TNames TOrgDirectoryCache::LoadNames() {
    TNames names;
    sqlite3* db = db_.get();
    std::unordered_map<int64_t, uint32_t> byId;
    const SqliteStatement entries = SqlitePrepare(db, "SELECT Id, Name, Comment FROM Entries ORDER BY Id");
    int code;
    while ((code = sqlite3_step(entries.get())) == SQLITE_ROW) {
        byId.emplace(sqlite3_column_int64(entries.get(), 0), static_cast<uint32_t>(names.Names.size()));
        names.Names.push_back({ColumnWide(entries.get(), 1), ColumnWide(entries.get(), 2)});
    }
    if (code != SQLITE_DONE) ThrowSqliteFailure(db, code);
    const SqliteStatement numbers = SqlitePrepare(db, "SELECT Number, EntryId FROM Numbers");
    names.ByNumber.reserve(names.Names.size() * 2);
    while ((code = sqlite3_step(numbers.get())) == SQLITE_ROW) {
        const auto entry = byId.find(sqlite3_column_int64(numbers.get(), 1));
        if (entry != byId.end()) names.ByNumber.emplace(ColumnWide(numbers.get(), 0), entry->second);
    }
    if (code != SQLITE_DONE) ThrowSqliteFailure(db, code);
    return names;
}

// Called with namesLock_ held alone.
void TOrgDirectoryCache::LoadState() {
    sqlite3* db = db_.get();
    const SqliteStatement select = SqlitePrepare(db, "SELECT Key, Value FROM SyncState");
    TOrgSyncStatus status;
    std::wstring source;
    int code;
    while ((code = sqlite3_step(select.get())) == SQLITE_ROW) {
        const std::string key = reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0));
        const int64_t number = sqlite3_column_int64(select.get(), 1);
        if (key == kAttemptTime) status.AttemptTime = number;
        else if (key == kDurationMs) status.DurationMs = number;
        else if (key == kErrorKind) status.Error.Kind = static_cast<TOrgDirectoryFailure>(number);
        else if (key == kLdapCode) status.Error.LdapCode = static_cast<unsigned long>(number);
        else if (key == kErrorServer) status.Error.Server = ColumnWide(select.get(), 1);
        else if (key == kErrorDetail) status.Error.Detail = ColumnWide(select.get(), 1);
        else if (key == kCacheTime) status.CacheTime = number;
        else if (key == kSource) source = ColumnWide(select.get(), 1);
    }
    if (code != SQLITE_DONE) ThrowSqliteFailure(db, code);
    if (status.Error.Kind < TOrgDirectoryFailure::None || status.Error.Kind > TOrgDirectoryFailure::CacheFailed)
        status.Error.Kind = TOrgDirectoryFailure::SearchRefused;
    status.Entries = static_cast<int64_t>(names_.Names.size());
    status.Numbers = static_cast<int64_t>(names_.ByNumber.size());
    status_ = std::move(status);
    source_ = std::move(source);
}

void TOrgDirectoryCache::WriteState(const TOrgSyncStatus& status, const std::wstring* source) {
    sqlite3* db = db_.get();
    const SqliteStatement put = SqlitePrepare(db, "INSERT OR REPLACE INTO SyncState(Key, Value) VALUES(?, ?)");
    auto putNumber = [&](const char* key, int64_t value) {
        sqlite3_bind_text(put.get(), 1, key, -1, SQLITE_STATIC);
        sqlite3_bind_int64(put.get(), 2, value);
        SqliteStepDone(db, put.get());
    };
    auto putText = [&](const char* key, const std::wstring& value) {
        sqlite3_bind_text(put.get(), 1, key, -1, SQLITE_STATIC);
        BindWide(put.get(), 2, value);
        SqliteStepDone(db, put.get());
    };
    putNumber(kAttemptTime, status.AttemptTime);
    putNumber(kDurationMs, status.DurationMs);
    putNumber(kErrorKind, static_cast<int64_t>(status.Error.Kind));
    putNumber(kLdapCode, status.Error.LdapCode);
    putText(kErrorServer, status.Error.Server);
    putText(kErrorDetail, status.Error.Detail);
    putNumber(kCacheTime, status.CacheTime);
    if (source) putText(kSource, *source);
}

bool TOrgDirectoryCache::Lookup(const std::wstring& number, TOrgName& found) const {
    const std::shared_lock lock(namesLock_);
    const auto at = names_.ByNumber.find(number);
    if (at == names_.ByNumber.end()) return false;
    found = names_.Names[at->second];
    return true;
}

void TOrgDirectoryCache::Replace(const std::vector<TOrgDirectoryEntry>& entries, int64_t time, int64_t durationMs,
                                 const std::wstring& source) {
    const std::lock_guard file(fileLock_);
    if (!db_) throw AppError(L"cache not open");
    TNames names;
    names.ByNumber.reserve(entries.size() * 2);
    names.Names.reserve(entries.size());
    sqlite3* db = db_.get();
    TSqliteTransaction transaction(db);
    SqliteExecute(db, "DELETE FROM Numbers; DELETE FROM Entries;");
    const SqliteStatement insertEntry = SqlitePrepare(db, "INSERT INTO Entries(Id, Name, Comment) VALUES(?, ?, ?)");
    const SqliteStatement insertNumber = SqlitePrepare(db, "INSERT INTO Numbers(Number, EntryId) VALUES(?, ?)");
    for (const TOrgDirectoryEntry& entry : entries) {
        const auto index = static_cast<uint32_t>(names.Names.size());
        bool kept = false;
        for (const std::wstring& number : entry.Numbers) {
            if (!names.ByNumber.emplace(number, index).second) continue;
            BindWide(insertNumber.get(), 1, number);
            sqlite3_bind_int64(insertNumber.get(), 2, index + 1);
            SqliteStepDone(db, insertNumber.get());
            kept = true;
        }
        if (!kept) continue;
        sqlite3_bind_int64(insertEntry.get(), 1, index + 1);
        BindWide(insertEntry.get(), 2, entry.Name);
        BindWide(insertEntry.get(), 3, entry.Comment);
        SqliteStepDone(db, insertEntry.get());
        names.Names.push_back({entry.Name, entry.Comment});
    }
    TOrgSyncStatus status;
    status.AttemptTime = time;
    status.DurationMs = durationMs;
    status.CacheTime = time;
    status.Entries = static_cast<int64_t>(names.Names.size());
    status.Numbers = static_cast<int64_t>(names.ByNumber.size());
    WriteState(status, &source);
    transaction.Commit();

    const std::unique_lock lock(namesLock_);
    names_ = std::move(names);
    status_ = std::move(status);
    source_ = source;
}

void TOrgDirectoryCache::RecordFailure(const TOrgDirectoryError& error, int64_t time, int64_t durationMs) {
    TOrgSyncStatus status = Status();
    status.AttemptTime = time;
    status.DurationMs = durationMs;
    status.Error = error;
    {
        const std::unique_lock lock(namesLock_);
        status_ = status;
    }
    // The diagnostics still tell this session's failure when the file cannot keep it.
    const std::lock_guard file(fileLock_);
    if (!db_) return;
    try {
        TSqliteTransaction transaction(db_.get());
        WriteState(status, nullptr);
        transaction.Commit();
    } catch (const AppError&) {
    }
}

TOrgSyncStatus TOrgDirectoryCache::Status() const {
    const std::shared_lock lock(namesLock_);
    return status_;
}

std::wstring TOrgDirectoryCache::Source() const {
    const std::shared_lock lock(namesLock_);
    return source_;
}

std::wstring DefaultOrgDirectoryCachePath() {
    const std::wstring journal = DefaultJournalPath();
    const size_t separator = journal.find_last_of(L"\\/");
    return JoinPath(separator == std::wstring::npos ? std::wstring() : journal.substr(0, separator), L"OrgDirectory.db");
}
