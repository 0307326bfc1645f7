#include "CallJournal.h"

#include "AppError.h"
#include "ExceptionText.h"
#include "KordavinUtils.h"
#include "SqliteSteps.h"
#include "SqliteText.h"
#include "TableStore.h"
#include "TextCompare.h"
#include "TextConvert.h"

#include <windows.h>

#include <sqlite3.h>

#include <algorithm>
#include <cwchar>

static_assert(sizeof(wchar_t) == 2, "texts are bound to SQLite as UTF-16");

namespace {

int64_t SecondsBetween(int64_t from, int64_t to) { return to > from ? (to - from) / 1000 : 0; }

}  // namespace

TCallRecord JournalRecordOf(const TCall& call) {
    TCallRecord record;
    record.StartTime = call.StartTime;
    record.EndTime = call.EndTime;
    record.Channel = call.Channel;
    record.Caller = {call.Caller.Number, call.Caller.Name, call.Caller.Region, {}};
    record.Outcome = call.Outcome.value_or(TCallOutcome::Interrupted);
    record.DurationSeconds = call.ConversationStart ? SecondsBetween(*call.ConversationStart, call.EndTime) : 0;
    return record;
}

TJournalLimits SanitizedLimits(TJournalLimits limits) {
    const TJournalLimits defaults;
    // More than this many calls would no longer open at once; a day count this
    // large already keeps everything.
    constexpr int kMaxCalls = 100000;
    constexpr int kMaxDays = 36500;
    if (limits.Days < 1) limits.Days = defaults.Days;
    if (limits.MaxCalls < 1) limits.MaxCalls = defaults.MaxCalls;
    limits.Days = std::min(limits.Days, kMaxDays);
    limits.MaxCalls = std::min(limits.MaxCalls, kMaxCalls);
    return limits;
}

TJournalFilter::TJournalFilter(std::wstring_view query, const TDiallingSettings& dialling) {
    const bool hasLetter = std::any_of(query.begin(), query.end(), [](wchar_t c) { return ::IsCharAlphaW(c); });
    if (hasLetter) {
        size_t first = 0, last = query.size();
        while (first < last && query[first] <= L' ') ++first;
        while (last > first && query[last - 1] <= L' ') --last;
        text_ = LowerCaseText(query.substr(first, last - first));
        return;
    }
    number_ = ReadNumberQuery(query, dialling);
}

bool TJournalFilter::Matches(const TCallRecord& record) const {
    if (!number_.Empty()) return number_.Matches(record.Caller.Number);
    if (!text_.empty())
        return LowerCaseText(record.Caller.Name).find(text_) != std::wstring::npos ||
               LowerCaseText(record.Note).find(text_) != std::wstring::npos;
    return true;
}

namespace {

bool LocalTimeOf(int64_t utcMilliseconds, SYSTEMTIME& local) {
    const int64_t ticks = utcMilliseconds * 10000 + kUnixEpochAsFileTime;
    FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal{};
    if (!::FileTimeToSystemTime(&utc, &universal)) return false;
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) local = universal;
    return true;
}

}  // namespace

std::wstring UserDateTimeText(int64_t utcMilliseconds) {
    SYSTEMTIME local{};
    if (!LocalTimeOf(utcMilliseconds, local)) return {};
    wchar_t date[128] = {};
    wchar_t time[128] = {};
    if (!::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128, nullptr) ||
        !::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, time, 128))
        return JournalTimeText(utcMilliseconds);
    return std::wstring(date) + L" " + time;
}

std::wstring JournalTimeText(int64_t utcMilliseconds) {
    SYSTEMTIME local{};
    if (!LocalTimeOf(utcMilliseconds, local)) return {};
    wchar_t text[32];
    std::swprintf(text, 32, L"%02u.%02u.%04u %02u:%02u:%02u", local.wDay, local.wMonth, local.wYear, local.wHour,
                  local.wMinute, local.wSecond);
    return text;
}

std::wstring JournalDurationText(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    wchar_t text[32];
    if (seconds < 3600)
        std::swprintf(text, 32, L"%lld:%02lld", static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
    else
        std::swprintf(text, 32, L"%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

std::wstring DefaultJournalPath() { return UserDataFile(L"KORDAVIN_JOURNAL_DIR", L"CallJournal.db"); }

// The store ------------------------------------------------------------------

namespace {

// A write is given this long to get past another program's lock: the journal is
// written on the thread that shows the popups.
constexpr int kBusyTimeoutMs = 250;

constexpr wchar_t kSchema[] =
    L"CREATE TABLE IF NOT EXISTS Calls(Id INTEGER PRIMARY KEY, StartTime INTEGER NOT NULL, "
    L"EndTime INTEGER NOT NULL, Channel TEXT NOT NULL, Number TEXT NOT NULL, Name TEXT NOT NULL, "
    L"Region TEXT NOT NULL, Outcome INTEGER NOT NULL, Duration INTEGER NOT NULL);"
    L"CREATE INDEX IF NOT EXISTS CallsByStart ON Calls(StartTime);"
    L"CREATE TABLE IF NOT EXISTS JournalState(Key TEXT PRIMARY KEY, Value INTEGER NOT NULL);";

constexpr char kCallColumns[] = "Id, StartTime, EndTime, Channel, Number, Name, Region, Outcome, Duration, Note";

[[noreturn]] void ThrowJournalError(int rc, const std::wstring& detail, const std::wstring& path) {
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: throw AppError(L"Файл журнала вызовов занят другой программой: " + path);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: throw AppError(L"Файл журнала вызовов повреждён: " + path);
    case SQLITE_FULL: throw AppError(L"Нет места на диске для журнала вызовов: " + path);
    case SQLITE_READONLY: throw AppError(L"Файл журнала вызовов доступен только для чтения: " + path);
    case SQLITE_CANTOPEN: throw AppError(L"Не удалось открыть файл журнала вызовов: " + path);
    default: break;
    }
    throw AppError(L"Ошибка журнала вызовов (" + detail + L"): " + path);
}

[[noreturn]] void ThrowJournalError(sqlite3* db, int rc, const std::wstring& path) {
    ThrowJournalError(rc, db ? Utf8ToWide(sqlite3_errmsg(db)) : std::to_wstring(rc), path);
}

}  // namespace

struct TCallJournalStore::Impl {
    SqliteConnection db;
    std::wstring path;

    [[noreturn]] void Throw(int rc) const { ThrowJournalError(db.get(), rc, path); }

    // A statement with its parameters bound by the caller.
    SqliteStatement Prepare(const std::string& sql) const {
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr);
        SqliteStatement statement(raw);
        if (rc != SQLITE_OK) Throw(rc);
        return statement;
    }
    void Run(sqlite3_stmt* statement) const {
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) Throw(rc);
    }
    void Exec(const std::string& sql) const { Run(Prepare(sql).get()); }
    int64_t Scalar(const std::string& sql, std::optional<int64_t> parameter = std::nullopt) const {
        SqliteStatement statement = Prepare(sql);
        if (parameter) sqlite3_bind_int64(statement.get(), 1, *parameter);
        const int rc = sqlite3_step(statement.get());
        if (rc == SQLITE_ROW) return sqlite3_column_int64(statement.get(), 0);
        if (rc != SQLITE_DONE) Throw(rc);
        return 0;
    }
    void PruneInTransaction(const TJournalLimits& limits, int64_t now) const {
        SqliteStatement old = Prepare("DELETE FROM Calls WHERE StartTime < ?1");
        sqlite3_bind_int64(old.get(), 1, now - static_cast<int64_t>(limits.Days) * kMillisecondsPerDay);
        Run(old.get());
        SqliteStatement beyond = Prepare(
            "DELETE FROM Calls WHERE Id IN (SELECT Id FROM Calls ORDER BY StartTime DESC, Id DESC LIMIT -1 OFFSET ?1)");
        sqlite3_bind_int64(beyond.get(), 1, limits.MaxCalls);
        Run(beyond.get());
    }
    // Runs work inside one write transaction: all of it is stored or none.
    template <class Work> void InTransaction(Work work) const {
        Exec("BEGIN IMMEDIATE");
        try {
            work();
            Exec("COMMIT");
        } catch (...) {
            sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
};

TCallJournalStore::TCallJournalStore() : impl_(std::make_unique<Impl>()) {}
TCallJournalStore::~TCallJournalStore() = default;

void TCallJournalStore::Open(const std::wstring& path) {
    Close();
    impl_->path = path;
    try {
        impl_->db = SqliteOpenOwnFile(path, SQLITE_OPEN_NOMUTEX, kBusyTimeoutMs);
    } catch (const TSqliteFailure& failure) {
        ThrowJournalError(failure.code(), failure.message(), path);
    }
    try {
        // A journal is worth less than a stalled popup: one sync per call is enough.
        impl_->Exec("PRAGMA synchronous=NORMAL");
        impl_->InTransaction([&] {
            const std::string schema = WideToUtf8(kSchema);
            char* error = nullptr;
            const int created = sqlite3_exec(impl_->db.get(), schema.c_str(), nullptr, nullptr, &error);
            sqlite3_free(error);
            if (created != SQLITE_OK) impl_->Throw(created);
            // Journals written before notes existed get the column, empty.
            if (impl_->Scalar("SELECT COUNT(*) FROM pragma_table_info('Calls') WHERE name = 'Note'") == 0)
                impl_->Exec("ALTER TABLE Calls ADD COLUMN Note TEXT NOT NULL DEFAULT ''");
        });
    } catch (...) {
        Close();
        throw;
    }
}

void TCallJournalStore::Close() noexcept { impl_->db.reset(); }

bool TCallJournalStore::Active() const { return impl_->db.valid(); }

void TCallJournalStore::Add(TCallRecord& record, const TJournalLimits& limits, int64_t now) {
    std::vector<TCallRecord> one{record};
    AddAll(one, limits, now);
    record.Id = one.front().Id;
}

void TCallJournalStore::AddAll(std::vector<TCallRecord>& records, const TJournalLimits& limits, int64_t now) {
    if (!Active()) throw AppError(L"Журнал вызовов не открыт.");
    impl_->InTransaction([&] {
        SqliteStatement insert = impl_->Prepare(
            "INSERT INTO Calls(StartTime, EndTime, Channel, Number, Name, Region, Outcome, Duration, Note) "
            "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        for (TCallRecord& record : records) {
            sqlite3_reset(insert.get());
            sqlite3_bind_int64(insert.get(), 1, record.StartTime);
            sqlite3_bind_int64(insert.get(), 2, record.EndTime);
            BindWide(insert.get(), 3, record.Channel);
            BindWide(insert.get(), 4, record.Caller.Number);
            BindWide(insert.get(), 5, record.Caller.Name);
            BindWide(insert.get(), 6, record.Caller.Region);
            sqlite3_bind_int(insert.get(), 7, static_cast<int>(record.Outcome));
            sqlite3_bind_int64(insert.get(), 8, record.DurationSeconds);
            BindWide(insert.get(), 9, record.Note);
            impl_->Run(insert.get());
            record.Id = sqlite3_last_insert_rowid(impl_->db.get());
        }
        impl_->PruneInTransaction(SanitizedLimits(limits), now);
    });
}

bool TCallJournalStore::SetName(int64_t id, const std::wstring& name) {
    if (!Active()) throw AppError(L"Журнал вызовов не открыт.");
    // A name the call was stored with is kept: a late answer only fills a gap.
    SqliteStatement update = impl_->Prepare("UPDATE Calls SET Name = ?2 WHERE Id = ?1 AND Name = ''");
    sqlite3_bind_int64(update.get(), 1, id);
    BindWide(update.get(), 2, name);
    impl_->Run(update.get());
    return sqlite3_changes(impl_->db.get()) > 0;
}

bool TCallJournalStore::SetNote(int64_t id, const std::wstring& note) {
    if (!Active()) throw AppError(L"Журнал вызовов не открыт.");
    SqliteStatement update = impl_->Prepare("UPDATE Calls SET Note = ?2 WHERE Id = ?1");
    sqlite3_bind_int64(update.get(), 1, id);
    BindWide(update.get(), 2, note);
    impl_->Run(update.get());
    return sqlite3_changes(impl_->db.get()) > 0;
}

void TCallJournalStore::Prune(const TJournalLimits& limits, int64_t now) {
    if (!Active()) throw AppError(L"Журнал вызовов не открыт.");
    impl_->InTransaction([&] { impl_->PruneInTransaction(SanitizedLimits(limits), now); });
}

std::vector<TCallRecord> TCallJournalStore::ReadAll() {
    if (!Active()) return {};
    SqliteStatement select =
        impl_->Prepare(std::string("SELECT ") + kCallColumns + " FROM Calls ORDER BY StartTime DESC, Id DESC");
    std::vector<TCallRecord> records;
    int rc;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
        TCallRecord& record = records.emplace_back();
        sqlite3_stmt* row = select.get();
        record.Id = sqlite3_column_int64(row, 0);
        record.StartTime = sqlite3_column_int64(row, 1);
        record.EndTime = sqlite3_column_int64(row, 2);
        record.Channel = ColumnWide(row, 3);
        record.Caller.Number = ColumnWide(row, 4);
        record.Caller.Name = ColumnWide(row, 5);
        record.Caller.Region = ColumnWide(row, 6);
        const int outcome = sqlite3_column_int(row, 7);
        record.Outcome = outcome >= 0 && outcome <= static_cast<int>(TCallOutcome::Interrupted)
                             ? static_cast<TCallOutcome>(outcome)
                             : TCallOutcome::Interrupted;
        record.DurationSeconds = sqlite3_column_int64(row, 8);
        record.Note = ColumnWide(row, 9);
    }
    if (rc != SQLITE_DONE) impl_->Throw(rc);
    return records;
}

int64_t TCallJournalStore::Count() { return Active() ? impl_->Scalar("SELECT COUNT(*) FROM Calls") : 0; }

int64_t TCallJournalStore::MissedSince(int64_t time) {
    if (!Active()) return 0;
    return impl_->Scalar("SELECT COUNT(*) FROM Calls WHERE Outcome = " +
                             std::to_string(static_cast<int>(TCallOutcome::Missed)) + " AND EndTime > ?1",
                         time);
}

int64_t TCallJournalStore::LastViewed() {
    if (!Active()) return 0;
    return impl_->Scalar("SELECT Value FROM JournalState WHERE Key = 'LastViewed'");
}

void TCallJournalStore::SetLastViewed(int64_t time) {
    if (!Active()) throw AppError(L"Журнал вызовов не открыт.");
    SqliteStatement upsert = impl_->Prepare("INSERT OR REPLACE INTO JournalState(Key, Value) VALUES('LastViewed', ?1)");
    sqlite3_bind_int64(upsert.get(), 1, time);
    impl_->Run(upsert.get());
}

// The journal as the program uses it -------------------------------------------

TCallJournal::TCallJournal(TFailure onFailure, TClock clock)
    : onFailure_(std::move(onFailure)), clock_(std::move(clock)) {}

void TCallJournal::Open(const std::wstring& path, TJournalLimits limits) {
    limits_ = SanitizedLimits(limits);
    failed_ = false;
    try {
        store_.Open(path);
        store_.Prune(limits_, clock_());
        missedSinceViewed_ = store_.MissedSince(store_.LastViewed());
    } catch (...) {
        Fail(std::current_exception());
    }
}

void TCallJournal::Fail(const std::exception_ptr& error) {
    if (failed_) return;
    failed_ = true;
    store_.Close();
    if (onFailure_) onFailure_(GetExceptionText(error));
}

void TCallJournal::OnCallEvent(const TCallEvent& event) {
    if (!event.Call || !event.Call->Ended()) return;
    const int64_t stored = Record(JournalRecordOf(*event.Call));
    if (stored == 0) return;
    recentCalls_.emplace_back(event.Call->Id, stored);
    if (recentCalls_.size() > kRecentCalls) recentCalls_.pop_front();
}

bool TCallJournal::NameEndedCall(int64_t callId, const std::wstring& name) {
    if (!Enabled() || name.empty()) return false;
    for (const auto& [call, record] : recentCalls_) {
        if (call != callId) continue;
        try {
            return store_.SetName(record, name);
        } catch (...) {
            Fail(std::current_exception());
            return false;
        }
    }
    return false;
}

int64_t TCallJournal::Record(TCallRecord record) {
    if (Enabled()) {
        try {
            store_.Add(record, limits_, clock_());
        } catch (...) {
            Fail(std::current_exception());
            record.Id = 0;
        }
    }
    // The tray counts missed calls whether or not the file takes them.
    if (record.Outcome == TCallOutcome::Missed) ++missedSinceViewed_;
    if (onRecorded_) onRecorded_(record);
    return record.Id;
}

std::vector<TCallRecord> TCallJournal::ReadAll() {
    if (!Enabled()) return {};
    try {
        return store_.ReadAll();
    } catch (...) {
        Fail(std::current_exception());
        return {};
    }
}

bool TCallJournal::SetNote(int64_t recordId, const std::wstring& note) {
    if (!Enabled() || recordId == 0) return false;
    try {
        return store_.SetNote(recordId, note);
    } catch (...) {
        Fail(std::current_exception());
        return false;
    }
}

void TCallJournal::MarkViewed() {
    missedSinceViewed_ = 0;
    if (!Enabled()) return;
    try {
        store_.SetLastViewed(clock_());
    } catch (...) {
        Fail(std::current_exception());
    }
}
