#pragma once
#include "AppError.h"
#include "SharedText.h"
#include "UniqueHandle.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A small table store over SQLite: one table per file "<name>.db" in a folder.
// String fields have a width in UTF-16 units that the store enforces: texts are
// cut to it when stored and keys are cut to it when looked up. An empty text is a
// missing value, so a required field cannot be left empty.
// Objects of this store are not thread-safe; their owner serialises calls.

enum class FieldKind { String, Memo, Other };

struct FieldDef {
    std::wstring name;
    FieldKind kind = FieldKind::String;
    int width = 0;  // string fields only
    bool required = false;
};

struct IndexDef {
    std::wstring name;  // ignored for the primary index
    std::vector<std::wstring> fields;
    bool primary = false;
    bool unique = false;
};

class TableStoreError : public AppError {
public:
    enum class Kind { General, NoTable, TableExists, NotOpen, Damaged, Locked, RequiredField, KeyViolation, NoField, ReadOnly };
    TableStoreError(Kind kind, std::wstring message) : AppError(std::move(message)), kind_(kind) {}
    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// Another process's lock is waited out this many times, this far apart.
inline constexpr int kTableLockRetries = 15;
inline constexpr unsigned kTableLockRetryDelayMs = 100;

// A point in time after which an operation stops waiting for locks; none: the
// store's own retries apply.
using LockDeadline = std::optional<std::chrono::steady_clock::time_point>;

// While it lives, the calling thread's table operations that have no deadline of
// their own wait for other connections' locks until this one instead of the
// store's retries (opening a table from a timer of the user-interface thread).
class ScopedLockDeadline {
public:
    explicit ScopedLockDeadline(LockDeadline deadline);
    ~ScopedLockDeadline();
    ScopedLockDeadline(const ScopedLockDeadline&) = delete;
    ScopedLockDeadline& operator=(const ScopedLockDeadline&) = delete;

private:
    LockDeadline previous_;
};

// Cuts text to a width in UTF-16 units without leaving half a surrogate pair.
std::wstring CutToWidth(std::wstring_view text, int width);

// Creates a folder and every missing parent; true when the folder exists afterwards.
bool CreateFolderWithParents(const std::wstring& folder);

// The field of that name, or TableStoreError(NoField).
const FieldDef& FieldByName(const std::vector<FieldDef>& fields, std::wstring_view name, std::wstring_view table);

struct SqliteConnectionTraits {
    using Value = sqlite3*;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept;
};
struct SqliteStatementTraits {
    using Value = sqlite3_stmt*;
    static Value invalid() noexcept { return nullptr; }
    static void close(Value v) noexcept;
};
using SqliteConnection = UniqueHandle<SqliteConnectionTraits>;
using SqliteStatement = UniqueHandle<SqliteStatementTraits>;

class Table;

// A folder of tables. Closing it closes every table opened through it.
class TableDatabase {
public:
    TableDatabase() = default;
    ~TableDatabase();
    TableDatabase(const TableDatabase&) = delete;
    TableDatabase& operator=(const TableDatabase&) = delete;

    // Binds the database to a folder, creating it with its parents first. A folder
    // that cannot be created is not an error here: the table operations that
    // follow fail on it.
    void Connect(const std::wstring& folder);
    bool Connected() const noexcept { return connected_; }
    const std::wstring& Folder() const noexcept { return folder_; }
    void Close() noexcept;

    std::wstring TablePath(std::wstring_view table) const;
    bool TableExists(std::wstring_view table) const;
    std::vector<FieldDef> ReadFieldDefs(std::wstring_view table) const;

    enum class CreateMode { FailIfExists, ReplaceExisting };
    // Builds the table in a temporary file and moves it into place, so that a
    // failure never leaves a half-built table. Each row holds one text per field.
    void CreateTable(std::wstring_view table, const std::vector<FieldDef>& fields,
                     const std::vector<IndexDef>& indexes,
                     const std::vector<std::vector<std::wstring>>& rows = {},
                     CreateMode mode = CreateMode::FailIfExists);

    // Gives a string field a larger width (and the definition's required flag),
    // keeping every row: the table is rebuilt inside one transaction.
    void WidenStringField(std::wstring_view table, const FieldDef& field);

private:
    friend class Table;
    void RequireConnected() const;
    void Register(Table* table);
    void Unregister(Table* table) noexcept;

    std::wstring folder_;
    bool connected_ = false;
    std::vector<Table*> tables_;
};

// One open table with a current row, found by exact key on its primary index.
class Table {
public:
    enum class Mode { ReadOnly, ReadWrite };

    Table(TableDatabase& database, std::wstring name);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The database must be connected. Raises when the table is missing or unusable.
    void Open(Mode mode);
    void Close() noexcept;
    bool Active() const noexcept { return connection_.valid(); }
    const std::wstring& Name() const noexcept { return name_; }
    const std::vector<FieldDef>& Fields() const noexcept { return fields_; }
    int FieldIndex(std::wstring_view field) const;
    // The primary index's single field, or -1 for a table without one.
    int KeyField() const noexcept { return keyField_; }

    // Makes the row with this key current; false (and no current row) when absent.
    bool FindKey(std::wstring_view key);
    // The current row's text (empty for a missing value or no current row).
    std::wstring FieldText(int field) const;

    // Until the deadline, locks of other connections are waited out in short
    // steps, then the operation fails as locked. Without one, the store's retries
    // apply. Holds for every later operation until changed.
    void SetLockDeadline(LockDeadline deadline) noexcept { lockDeadline_ = deadline; }

    // Editing takes the table's write lock (waiting out other connections' locks)
    // and keeps it until Post or Cancel.
    void Append();
    void Edit();
    // Takes the write lock first, then edits the row with this key, or begins a
    // new one when there is none: true when the row exists. Nobody else can add
    // or remove that row before Post.
    bool EditOrAppendKey(std::wstring_view key);
    void SetFieldText(int field, std::wstring_view text);
    void Post();
    void Cancel() noexcept;
    bool Editing() const noexcept { return state_ != State::Browse; }

    // Every row, one text per field, in key order, read in one snapshot.
    std::vector<std::vector<std::wstring>> ReadAllRows();
    // Adds or replaces many rows by key inside one write transaction: all of them
    // are stored or, on any error (a lock held too long included), none.
    // A row's texts by field; shared, so that one long text on many rows is held once.
    using Row = std::vector<TSharedText>;
    void PutRows(const std::vector<Row>& rows);
    // As PutRows, with the rows chosen under the write lock: `rowsUnderLock`
    // may read the table (FindKey, FieldText) as it is inside the transaction,
    // so nobody changes a row between that read and the write. `onRow` is told
    // each row written and may throw to stop: then nothing is stored.
    using RowsUnderLock = std::function<std::vector<Row>()>;
    using RowWritten = std::function<void(std::size_t done, std::size_t total)>;
    void PutRowsUnderLock(const RowsUnderLock& rowsUnderLock, const RowWritten& onRow = {});
    // Removes the row with this key in one transaction; false when there was none.
    bool DeleteKey(std::wstring_view key);

private:
    enum class State { Browse, Insert, Edit };
    void RequireActive() const;
    void RequireWritable() const;
    void Begin();
    bool ReadRow(std::wstring_view key);
    // Takes the write lock and reads the row with this key under it.
    bool BeginAndReadRow(std::wstring_view key);
    // Runs `body` in a write transaction with the row statements ready: all it
    // does is stored, or on any error none of it.
    void InWriteTransaction(const std::function<void()>& body);
    // Inside a transaction: adds or replaces each row by key.
    void WriteRows(const std::vector<Row>& rows, const RowWritten& onRow);
    [[noreturn]] void Fail(int rc) const;
    static int WaitForLock(void* table, int count);

    TableDatabase& database_;
    std::wstring name_;
    Mode mode_ = Mode::ReadOnly;
    SqliteConnection connection_;
    SqliteStatement select_, insert_, update_;
    std::vector<FieldDef> fields_;
    int keyField_ = -1;
    std::vector<std::optional<std::wstring>> row_;
    bool hasRow_ = false;
    State state_ = State::Browse;
    std::wstring editKey_;
    LockDeadline lockDeadline_;
};
