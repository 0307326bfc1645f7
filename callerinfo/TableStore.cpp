#include "TableStore.h"

#include "PathText.h"
#include "TextConvert.h"

#include <windows.h>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cwctype>

static_assert(sizeof(wchar_t) == 2, "texts are bound to SQLite as UTF-16");

void SqliteConnectionTraits::close(sqlite3* v) noexcept { sqlite3_close_v2(v); }
void SqliteStatementTraits::close(sqlite3_stmt* v) noexcept { sqlite3_finalize(v); }

namespace {

using Kind = TableStoreError::Kind;

std::wstring Quoted(std::wstring_view text) { return L"«" + std::wstring(text) + L"»"; }

// Identifiers come from our own fixed table and field names or from a table's
// stored schema; they are quoted, never taken as SQL.
std::wstring QuoteIdentifier(std::wstring_view name) {
    std::wstring quoted = L"\"";
    for (wchar_t c : name) {
        if (c == L'"') quoted += L'"';
        quoted += c;
    }
    return quoted + L"\"";
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.empty() ? L"." : path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

[[noreturn]] void ThrowStoreError(sqlite3* db, int rc, std::wstring_view table, const std::wstring& path) {
    const std::wstring detail = db ? Utf8ToWide(sqlite3_errmsg(db)) : std::wstring();
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw TableStoreError(Kind::Locked, L"Таблица " + Quoted(table) +
                                                L" заблокирована другим пользователем: блокировка не снята после " +
                                                std::to_wstring(kTableLockRetries) + L" попыток.");
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        throw TableStoreError(Kind::Damaged, L"Файл таблицы " + Quoted(table) + L" повреждён или не является таблицей: " +
                                                 path);
    case SQLITE_READONLY:
        throw TableStoreError(Kind::ReadOnly, L"Таблица " + Quoted(table) + L" доступна только для чтения: " + path);
    case SQLITE_CANTOPEN:
        throw TableStoreError(Kind::General, L"Не удалось открыть файл таблицы " + Quoted(table) + L": " + path);
    case SQLITE_FULL:
        throw TableStoreError(Kind::General, L"Нет места на диске для таблицы " + Quoted(table) + L": " + path);
    case SQLITE_IOERR:
        throw TableStoreError(Kind::General, L"Ошибка чтения или записи файла таблицы " + Quoted(table) + L": " + path);
    case SQLITE_CONSTRAINT:
        if (rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE)
            throw TableStoreError(Kind::KeyViolation,
                                  L"В таблице " + Quoted(table) + L" уже есть запись с таким ключом.");
        if (rc == SQLITE_CONSTRAINT_NOTNULL)
            throw TableStoreError(Kind::RequiredField,
                                  L"Обязательное поле таблицы " + Quoted(table) + L" не заполнено: " + detail);
        break;
    default:
        break;
    }
    throw TableStoreError(Kind::General, L"Ошибка таблицы " + Quoted(table) + L": " + detail);
}

// The deadline of ScopedLockDeadline on this thread.
thread_local LockDeadline tThreadLockDeadline;

// Waits for a lock in short steps until the deadline: 1 to try again, 0 to give up.
int WaitUntilDeadline(const std::chrono::steady_clock::time_point& deadline) {
    using namespace std::chrono;
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) return 0;
    // Short steps: a bounded wait should end soon after the lock goes.
    ::Sleep(static_cast<DWORD>(std::min<long long>(left, 10)));
    return 1;
}

// Waits out another process's lock a fixed number of times, then gives up;
// within a ScopedLockDeadline, until its deadline.
int RetryLockedTable(void*, int count) {
    if (tThreadLockDeadline) return WaitUntilDeadline(*tThreadLockDeadline);
    if (count >= kTableLockRetries) return 0;
    ::Sleep(kTableLockRetryDelayMs);
    return 1;
}

SqliteConnection OpenConnection(const std::wstring& path, int flags, std::wstring_view table) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(WideToUtf8(path).c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    SqliteConnection connection(raw);
    if (rc != SQLITE_OK) ThrowStoreError(raw, rc, table, path);
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_handler(raw, RetryLockedTable, nullptr);
    return connection;
}

SqliteStatement Prepare(sqlite3* db, const std::wstring& sql, std::wstring_view table, const std::wstring& path) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare16_v3(db, sql.c_str(), static_cast<int>(sql.size() * sizeof(wchar_t)),
                                        SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    SqliteStatement statement(raw);
    if (rc != SQLITE_OK) ThrowStoreError(db, rc, table, path);
    return statement;
}

void Exec(sqlite3* db, const std::wstring& sql, std::wstring_view table, const std::wstring& path) {
    SqliteStatement statement = Prepare(db, sql, table, path);
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) ThrowStoreError(db, rc, table, path);
}

void RollbackQuietly(sqlite3* db) noexcept { sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr); }

// Resets a reused statement when a step is done with it, so that no read or write
// stays pending on the file (which would hold its lock).
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* statement) noexcept : statement_(statement) {}
    ~StatementUse() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

private:
    sqlite3_stmt* statement_;
};

void BindText(sqlite3_stmt* statement, int index, const std::optional<std::wstring>& text) {
    if (text)
        sqlite3_bind_text16(statement, index, text->data(), static_cast<int>(text->size() * sizeof(wchar_t)),
                            SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(statement, index);
}

std::optional<std::wstring> ColumnText(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) return std::nullopt;
    const auto* text = static_cast<const wchar_t*>(sqlite3_column_text16(statement, column));
    const int bytes = sqlite3_column_bytes16(statement, column);
    return text ? std::wstring(text, static_cast<size_t>(bytes) / sizeof(wchar_t)) : std::wstring();
}

std::wstring ColumnString(sqlite3_stmt* statement, int column) { return ColumnText(statement, column).value_or(L""); }

// A field as stored, with its declared type so that a rebuild keeps fields of
// kinds this store does not create itself.
struct StoredField {
    FieldDef def;
    std::wstring declaredType;
};

struct TableDefinition {
    std::vector<StoredField> fields;
    std::vector<IndexDef> indexes;  // the primary index first, when there is one
};

FieldDef ParseField(std::wstring name, const std::wstring& declaredType, bool required) {
    std::wstring type = declaredType;
    std::transform(type.begin(), type.end(), type.begin(), [](wchar_t c) { return std::towupper(c); });
    FieldDef def{std::move(name), FieldKind::Other, 0, required};
    for (const std::wstring prefix : {L"VARCHAR(", L"CHAR("}) {
        if (type.rfind(prefix, 0) == 0 && type.back() == L')') {
            try {
                def.width = std::stoi(type.substr(prefix.size()));
                def.kind = def.width > 0 ? FieldKind::String : FieldKind::Other;
            } catch (const std::exception&) {
                def.width = 0;
            }
            return def;
        }
    }
    if (type == L"TEXT" || type == L"MEMO" || type == L"CLOB") def.kind = FieldKind::Memo;
    return def;
}

std::wstring DeclaredType(const FieldDef& field) {
    return field.kind == FieldKind::String ? L"VARCHAR(" + std::to_wstring(field.width) + L")" : L"TEXT";
}

TableDefinition ReadDefinition(sqlite3* db, std::wstring_view table, const std::wstring& path) {
    TableDefinition definition;
    const std::wstring tableName(table);
    std::vector<std::pair<int, std::wstring>> keyFields;
    {
        SqliteStatement columns =
            Prepare(db, L"SELECT name, type, \"notnull\", pk FROM pragma_table_info(?1) ORDER BY cid", table, path);
        BindText(columns.get(), 1, tableName);
        int rc;
        while ((rc = sqlite3_step(columns.get())) == SQLITE_ROW) {
            const std::wstring name = ColumnString(columns.get(), 0);
            const std::wstring type = ColumnString(columns.get(), 1);
            const bool required = sqlite3_column_int(columns.get(), 2) != 0;
            definition.fields.push_back({ParseField(name, type, required), type});
            if (const int pk = sqlite3_column_int(columns.get(), 3); pk > 0) keyFields.emplace_back(pk, name);
        }
        if (rc != SQLITE_DONE) ThrowStoreError(db, rc, table, path);
    }
    if (definition.fields.empty())
        throw TableStoreError(Kind::NoTable, L"В файле " + path + L" нет таблицы " + Quoted(table) + L".");
    if (!keyFields.empty()) {
        std::sort(keyFields.begin(), keyFields.end());
        IndexDef primary{L"", {}, true, true};
        for (auto& field : keyFields) primary.fields.push_back(field.second);
        definition.indexes.push_back(std::move(primary));
    }

    SqliteStatement indexes =
        Prepare(db, L"SELECT name, \"unique\" FROM pragma_index_list(?1) WHERE origin = 'c' ORDER BY name", table, path);
    BindText(indexes.get(), 1, tableName);
    int rc;
    while ((rc = sqlite3_step(indexes.get())) == SQLITE_ROW)
        definition.indexes.push_back({ColumnString(indexes.get(), 0), {}, false, sqlite3_column_int(indexes.get(), 1) != 0});
    if (rc != SQLITE_DONE) ThrowStoreError(db, rc, table, path);

    SqliteStatement columnsOf =
        Prepare(db, L"SELECT name FROM pragma_index_info(?1) ORDER BY seqno", table, path);
    for (IndexDef& index : definition.indexes) {
        if (index.primary) continue;
        StatementUse use(columnsOf.get());
        BindText(columnsOf.get(), 1, index.name);
        while ((rc = sqlite3_step(columnsOf.get())) == SQLITE_ROW) index.fields.push_back(ColumnString(columnsOf.get(), 0));
        if (rc != SQLITE_DONE) ThrowStoreError(db, rc, table, path);
    }
    return definition;
}

std::wstring FieldList(const std::vector<std::wstring>& names) {
    std::wstring list;
    for (const std::wstring& name : names) list += (list.empty() ? L"" : L", ") + QuoteIdentifier(name);
    return list;
}

// The CREATE statements for a table: the table with its primary key, then one
// statement per further index.
std::vector<std::wstring> CreateStatements(std::wstring_view table, const std::vector<StoredField>& fields,
                                           const std::vector<IndexDef>& indexes) {
    std::wstring columns;
    for (const StoredField& field : fields) {
        columns += (columns.empty() ? L"" : L", ") + QuoteIdentifier(field.def.name) + L" " + field.declaredType;
        if (field.def.required) columns += L" NOT NULL";
    }
    std::vector<std::wstring> statements{L""};
    for (const IndexDef& index : indexes) {
        for (const std::wstring& name : index.fields) {
            if (std::none_of(fields.begin(), fields.end(), [&](const StoredField& f) { return f.def.name == name; }))
                throw TableStoreError(Kind::NoField,
                                      L"Индекс таблицы " + Quoted(table) + L" ссылается на неизвестное поле " + Quoted(name));
        }
        if (index.primary)
            columns += L", PRIMARY KEY (" + FieldList(index.fields) + L")";
        else
            statements.push_back(std::wstring(index.unique ? L"CREATE UNIQUE INDEX " : L"CREATE INDEX ") +
                                 QuoteIdentifier(index.name) + L" ON " + QuoteIdentifier(table) + L" (" +
                                 FieldList(index.fields) + L")");
    }
    statements[0] = L"CREATE TABLE " + QuoteIdentifier(table) + L" (" + columns + L")";
    return statements;
}

std::vector<std::wstring> FieldNames(const std::vector<StoredField>& fields) {
    std::vector<std::wstring> names;
    for (const StoredField& field : fields) names.push_back(field.def.name);
    return names;
}

std::wstring Placeholders(size_t count, size_t first = 1) {
    std::wstring list;
    for (size_t i = 0; i < count; ++i) list += (i ? L", ?" : L"?") + std::to_wstring(first + i);
    return list;
}

// The value a field stores for a text: missing when empty, cut to a string width.
std::optional<std::wstring> StoredValue(const FieldDef& field, std::wstring_view text) {
    if (text.empty()) return std::nullopt;
    if (field.kind == FieldKind::String) return CutToWidth(text, field.width);
    return std::wstring(text);
}

[[noreturn]] void ThrowRequired(std::wstring_view table, const FieldDef& field) {
    throw TableStoreError(Kind::RequiredField,
                          L"Поле " + Quoted(field.name) + L" таблицы " + Quoted(table) + L" должно иметь значение.");
}

// Deletes a temporary table file unless it was moved into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (path_.empty()) return;
        ::DeleteFileW(path_.c_str());
        ::DeleteFileW((path_ + L"-journal").c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::wstring& path() const { return path_; }
    void keep() { path_.clear(); }

private:
    std::wstring path_;
};

std::wstring TemporaryName(const std::wstring& target) {
    static std::atomic<unsigned> counter{0};
    return target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".tmp";
}

}  // namespace

ScopedLockDeadline::ScopedLockDeadline(LockDeadline deadline) : previous_(tThreadLockDeadline) {
    tThreadLockDeadline = deadline;
}

ScopedLockDeadline::~ScopedLockDeadline() { tThreadLockDeadline = previous_; }

std::wstring CutToWidth(std::wstring_view text, int width) {
    if (width < 0 || text.size() <= static_cast<size_t>(width)) return std::wstring(text);
    size_t length = static_cast<size_t>(width);
    if (length > 0 && IS_HIGH_SURROGATE(text[length - 1])) --length;
    return std::wstring(text.substr(0, length));
}

bool CreateFolderWithParents(const std::wstring& folder) {
    if (folder.empty()) return true;
    // Every prefix that ends before a delimiter, then the folder itself; failures
    // on existing parts (a drive, a share) are expected and ignored.
    for (size_t at = folder.find_first_of(L"\\/", 1); at != std::wstring::npos; at = folder.find_first_of(L"\\/", at + 1)) {
        if (folder[at - 1] == L':' || folder[at - 1] == L'\\' || folder[at - 1] == L'/') continue;
        ::CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return FolderExists(folder);
}

const FieldDef& FieldByName(const std::vector<FieldDef>& fields, std::wstring_view name, std::wstring_view table) {
    for (const FieldDef& field : fields)
        if (field.name == name) return field;
    throw TableStoreError(Kind::NoField, L"В таблице " + Quoted(table) + L" нет поля " + Quoted(name) + L".");
}

TableDatabase::~TableDatabase() { Close(); }

void TableDatabase::Connect(const std::wstring& folder) {
    Close();
    folder_ = folder;
    CreateFolderWithParents(folder_);
    connected_ = true;
}

void TableDatabase::Close() noexcept {
    const std::vector<Table*> open = tables_;
    for (Table* table : open) table->Close();
    connected_ = false;
}

void TableDatabase::RequireConnected() const {
    if (!connected_) throw TableStoreError(Kind::NotOpen, L"База таблиц не подключена к папке.");
}

void TableDatabase::Register(Table* table) { tables_.push_back(table); }

void TableDatabase::Unregister(Table* table) noexcept { std::erase(tables_, table); }

std::wstring TableDatabase::TablePath(std::wstring_view table) const {
    return JoinPath(folder_, std::wstring(table) + L".db");
}

bool TableDatabase::TableExists(std::wstring_view table) const {
    RequireConnected();
    return FileExists(TablePath(table));
}

std::vector<FieldDef> TableDatabase::ReadFieldDefs(std::wstring_view table) const {
    RequireConnected();
    const std::wstring path = TablePath(table);
    if (!FileExists(path))
        throw TableStoreError(Kind::NoTable, L"Таблица " + Quoted(table) + L" не найдена в папке " + folder_);
    SqliteConnection connection = OpenConnection(path, SQLITE_OPEN_READONLY, table);
    std::vector<FieldDef> fields;
    for (StoredField& field : ReadDefinition(connection.get(), table, path).fields) fields.push_back(std::move(field.def));
    return fields;
}

void TableDatabase::CreateTable(std::wstring_view table, const std::vector<FieldDef>& fields,
                                const std::vector<IndexDef>& indexes,
                                const std::vector<std::vector<std::wstring>>& rows, CreateMode mode) {
    RequireConnected();
    const std::wstring target = TablePath(table);
    if (!FolderExists(folder_))
        throw TableStoreError(Kind::General,
                              L"Папка " + Quoted(folder_) + L" недоступна: таблицу " + Quoted(table) + L" создать нельзя.");
    if (mode == CreateMode::FailIfExists && FileExists(target))
        throw TableStoreError(Kind::TableExists, L"Таблица " + Quoted(table) + L" уже есть в папке " + folder_);

    std::vector<StoredField> stored;
    for (const FieldDef& field : fields) stored.push_back({field, DeclaredType(field)});
    const std::vector<std::wstring> statements = CreateStatements(table, stored, indexes);

    TemporaryFile temporary(TemporaryName(target));
    {
        SqliteConnection connection =
            OpenConnection(temporary.path(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, table);
        sqlite3* db = connection.get();
        // Nothing to roll back in a private file that is deleted on failure.
        Exec(db, L"PRAGMA journal_mode = OFF", table, target);
        Exec(db, L"BEGIN", table, target);
        for (const std::wstring& statement : statements) Exec(db, statement, table, target);
        if (!rows.empty()) {
            SqliteStatement insert = Prepare(db,
                                             L"INSERT INTO " + QuoteIdentifier(table) + L" (" +
                                                 FieldList(FieldNames(stored)) + L") VALUES (" +
                                                 Placeholders(fields.size()) + L")",
                                             table, target);
            for (const auto& row : rows) {
                StatementUse use(insert.get());
                for (size_t i = 0; i < fields.size(); ++i) {
                    const std::optional<std::wstring> value =
                        StoredValue(fields[i], i < row.size() ? std::wstring_view(row[i]) : std::wstring_view());
                    if (fields[i].required && !value) ThrowRequired(table, fields[i]);
                    BindText(insert.get(), static_cast<int>(i + 1), value);
                }
                const int rc = sqlite3_step(insert.get());
                if (rc != SQLITE_DONE) ThrowStoreError(db, rc, table, target);
            }
        }
        Exec(db, L"COMMIT", table, target);
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (mode == CreateMode::ReplaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExW(temporary.path().c_str(), target.c_str(), flags)) {
        const DWORD error = ::GetLastError();
        if (FileExists(target) && mode == CreateMode::FailIfExists)
            throw TableStoreError(Kind::TableExists, L"Таблица " + Quoted(table) + L" уже есть в папке " + folder_);
        throw TableStoreError(Kind::General, L"Не удалось создать таблицу " + Quoted(table) + L": " +
                                                 SystemErrorText(error));
    }
    temporary.keep();
}

void TableDatabase::WidenStringField(std::wstring_view table, const FieldDef& field) {
    RequireConnected();
    const std::wstring path = TablePath(table);
    if (!FileExists(path))
        throw TableStoreError(Kind::NoTable, L"Таблица " + Quoted(table) + L" не найдена в папке " + folder_);
    SqliteConnection connection = OpenConnection(path, SQLITE_OPEN_READWRITE, table);
    sqlite3* db = connection.get();
    Exec(db, L"BEGIN IMMEDIATE", table, path);
    try {
        TableDefinition definition = ReadDefinition(db, table, path);
        auto stored = std::find_if(definition.fields.begin(), definition.fields.end(),
                                   [&](const StoredField& f) { return f.def.name == field.name; });
        if (stored == definition.fields.end()) {
            std::vector<FieldDef> defs;
            for (const StoredField& f : definition.fields) defs.push_back(f.def);
            FieldByName(defs, field.name, table);
        }
        if (stored->def.kind != FieldKind::String || field.kind != FieldKind::String || field.width < stored->def.width)
            throw TableStoreError(Kind::General, L"Поле " + Quoted(field.name) + L" таблицы " + Quoted(table) +
                                                     L" нельзя расширить до " + std::to_wstring(field.width) +
                                                     L" символов.");
        stored->def.width = field.width;
        stored->def.required = field.required;
        stored->declaredType = DeclaredType(stored->def);

        const std::wstring rebuilt = std::wstring(table) + L"_widened";
        std::vector<IndexDef> primary, secondary;
        for (IndexDef& index : definition.indexes) (index.primary ? primary : secondary).push_back(index);
        const std::wstring columns = FieldList(FieldNames(definition.fields));
        Exec(db, CreateStatements(rebuilt, definition.fields, primary)[0], table, path);
        Exec(db, L"INSERT INTO " + QuoteIdentifier(rebuilt) + L" (" + columns + L") SELECT " + columns + L" FROM " +
                     QuoteIdentifier(table),
             table, path);
        Exec(db, L"DROP TABLE " + QuoteIdentifier(table), table, path);
        Exec(db, L"ALTER TABLE " + QuoteIdentifier(rebuilt) + L" RENAME TO " + QuoteIdentifier(table), table, path);
        const std::vector<std::wstring> statements = CreateStatements(table, definition.fields, secondary);
        for (size_t i = 1; i < statements.size(); ++i) Exec(db, statements[i], table, path);
        Exec(db, L"COMMIT", table, path);
    } catch (...) {
        RollbackQuietly(db);
        throw;
    }
}

Table::Table(TableDatabase& database, std::wstring name) : database_(database), name_(std::move(name)) {}

Table::~Table() { Close(); }

void Table::Open(Mode mode) {
    if (Active()) return;
    database_.RequireConnected();
    const std::wstring path = database_.TablePath(name_);
    if (!FileExists(path))
        throw TableStoreError(Kind::NoTable, L"Таблица " + Quoted(name_) + L" не найдена в папке " + database_.Folder());
    SqliteConnection connection =
        OpenConnection(path, mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, name_);
    sqlite3* db = connection.get();
    sqlite3_busy_handler(db, &Table::WaitForLock, this);
    TableDefinition definition = ReadDefinition(db, name_, path);

    std::vector<FieldDef> fields;
    for (StoredField& field : definition.fields) fields.push_back(field.def);
    int keyField = -1;
    if (!definition.indexes.empty() && definition.indexes[0].primary && definition.indexes[0].fields.size() == 1) {
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i].name == definition.indexes[0].fields[0]) keyField = static_cast<int>(i);
    }
    const std::wstring columns = FieldList(FieldNames(definition.fields));
    const std::wstring quotedTable = QuoteIdentifier(name_);
    SqliteStatement select, insert, update;
    if (keyField >= 0) {
        const std::wstring key = QuoteIdentifier(fields[static_cast<size_t>(keyField)].name);
        select = Prepare(db, L"SELECT " + columns + L" FROM " + quotedTable + L" WHERE " + key + L" = ?1", name_, path);
        if (mode == Mode::ReadWrite) {
            std::wstring assignments;
            for (size_t i = 0; i < fields.size(); ++i)
                assignments += (i ? L", " : L"") + QuoteIdentifier(fields[i].name) + L" = ?" + std::to_wstring(i + 1);
            update = Prepare(db,
                             L"UPDATE " + quotedTable + L" SET " + assignments + L" WHERE " + key + L" = ?" +
                                 std::to_wstring(fields.size() + 1),
                             name_, path);
        }
    }
    if (mode == Mode::ReadWrite)
        insert = Prepare(db, L"INSERT INTO " + quotedTable + L" (" + columns + L") VALUES (" +
                                 Placeholders(fields.size()) + L")",
                         name_, path);

    database_.Register(this);
    mode_ = mode;
    connection_ = std::move(connection);
    select_ = std::move(select);
    insert_ = std::move(insert);
    update_ = std::move(update);
    fields_ = std::move(fields);
    keyField_ = keyField;
    row_.assign(fields_.size(), std::nullopt);
    hasRow_ = false;
    state_ = State::Browse;
}

void Table::Close() noexcept {
    if (!Active()) return;
    Cancel();
    select_.reset();
    insert_.reset();
    update_.reset();
    connection_.reset();
    database_.Unregister(this);
    fields_.clear();
    row_.clear();
    keyField_ = -1;
    hasRow_ = false;
}

int Table::FieldIndex(std::wstring_view field) const {
    const FieldDef& def = FieldByName(fields_, field, name_);
    return static_cast<int>(&def - fields_.data());
}

void Table::RequireActive() const {
    if (!Active()) throw TableStoreError(Kind::NotOpen, L"Таблица " + Quoted(name_) + L" не открыта.");
}

void Table::RequireWritable() const {
    RequireActive();
    if (mode_ != Mode::ReadWrite)
        throw TableStoreError(Kind::ReadOnly, L"Таблица " + Quoted(name_) + L" открыта только для чтения.");
}

void Table::Fail(int rc) const { ThrowStoreError(connection_.get(), rc, name_, database_.TablePath(name_)); }

bool Table::ReadRow(std::wstring_view key) {
    if (keyField_ < 0)
        throw TableStoreError(Kind::General, L"У таблицы " + Quoted(name_) + L" нет первичного индекса.");
    const FieldDef& keyDef = fields_[static_cast<size_t>(keyField_)];
    const std::wstring cut = keyDef.kind == FieldKind::String ? CutToWidth(key, keyDef.width) : std::wstring(key);
    StatementUse use(select_.get());
    BindText(select_.get(), 1, cut);
    const int rc = sqlite3_step(select_.get());
    if (rc == SQLITE_DONE) {
        hasRow_ = false;
        return false;
    }
    if (rc != SQLITE_ROW) {
        hasRow_ = false;
        Fail(rc);
    }
    for (size_t i = 0; i < fields_.size(); ++i) row_[i] = ColumnText(select_.get(), static_cast<int>(i));
    hasRow_ = true;
    return true;
}

bool Table::FindKey(std::wstring_view key) {
    RequireActive();
    if (Editing()) throw TableStoreError(Kind::General, L"Таблица " + Quoted(name_) + L" в режиме правки.");
    return ReadRow(key);
}

std::wstring Table::FieldText(int field) const {
    RequireActive();
    if (field < 0 || static_cast<size_t>(field) >= row_.size())
        throw TableStoreError(Kind::NoField, L"В таблице " + Quoted(name_) + L" нет такого поля.");
    if (!hasRow_ && !Editing()) return {};
    return row_[static_cast<size_t>(field)].value_or(L"");
}

int Table::WaitForLock(void* table, int count) {
    const LockDeadline& deadline = static_cast<const Table*>(table)->lockDeadline_;
    if (!deadline) return RetryLockedTable(nullptr, count);
    return WaitUntilDeadline(*deadline);
}

void Table::Begin() {
    const int rc = sqlite3_exec(connection_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(rc);
}

void Table::Append() {
    RequireWritable();
    if (Editing()) throw TableStoreError(Kind::General, L"Таблица " + Quoted(name_) + L" уже в режиме правки.");
    Begin();
    row_.assign(fields_.size(), std::nullopt);
    hasRow_ = false;
    state_ = State::Insert;
}

void Table::Edit() {
    RequireWritable();
    if (Editing()) throw TableStoreError(Kind::General, L"Таблица " + Quoted(name_) + L" уже в режиме правки.");
    if (!hasRow_ || keyField_ < 0)
        throw TableStoreError(Kind::General, L"В таблице " + Quoted(name_) + L" нет текущей записи.");
    const std::wstring key = row_[static_cast<size_t>(keyField_)].value_or(L"");
    // The row as it is now that we hold the lock: another process may have
    // changed or removed it since it was read.
    if (!BeginAndReadRow(key)) {
        RollbackQuietly(connection_.get());
        throw TableStoreError(Kind::General, L"Запись таблицы " + Quoted(name_) + L" удалена другим пользователем.");
    }
    editKey_ = key;
    state_ = State::Edit;
}

bool Table::BeginAndReadRow(std::wstring_view key) {
    Begin();
    try {
        return ReadRow(key);
    } catch (...) {
        RollbackQuietly(connection_.get());
        throw;
    }
}

bool Table::EditOrAppendKey(std::wstring_view key) {
    RequireWritable();
    if (Editing()) throw TableStoreError(Kind::General, L"Таблица " + Quoted(name_) + L" уже в режиме правки.");
    const bool found = BeginAndReadRow(key);
    if (found) {
        editKey_ = row_[static_cast<size_t>(keyField_)].value_or(L"");
        state_ = State::Edit;
    } else {
        row_.assign(fields_.size(), std::nullopt);
        state_ = State::Insert;
    }
    return found;
}

void Table::SetFieldText(int field, std::wstring_view text) {
    RequireActive();
    if (!Editing()) throw TableStoreError(Kind::General, L"Таблица " + Quoted(name_) + L" не в режиме правки.");
    if (field < 0 || static_cast<size_t>(field) >= fields_.size())
        throw TableStoreError(Kind::NoField, L"В таблице " + Quoted(name_) + L" нет такого поля.");
    row_[static_cast<size_t>(field)] = StoredValue(fields_[static_cast<size_t>(field)], text);
}

void Table::Post() {
    RequireActive();
    if (!Editing()) throw TableStoreError(Kind::General, L"Таблица " + Quoted(name_) + L" не в режиме правки.");
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].required && !row_[i]) ThrowRequired(name_, fields_[i]);
    sqlite3_stmt* statement = state_ == State::Insert ? insert_.get() : update_.get();
    if (!statement) throw TableStoreError(Kind::General, L"У таблицы " + Quoted(name_) + L" нет первичного индекса.");
    {
        StatementUse use(statement);
        for (size_t i = 0; i < fields_.size(); ++i) BindText(statement, static_cast<int>(i + 1), row_[i]);
        if (state_ == State::Edit) BindText(statement, static_cast<int>(fields_.size() + 1), editKey_);
        const int rc = sqlite3_step(statement);
        if (rc != SQLITE_DONE) Fail(rc);
    }
    const int rc = sqlite3_exec(connection_.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(rc);
    state_ = State::Browse;
    hasRow_ = true;
}

void Table::Cancel() noexcept {
    if (!Editing()) return;
    RollbackQuietly(connection_.get());
    state_ = State::Browse;
    hasRow_ = false;
}

std::vector<std::vector<std::wstring>> Table::ReadAllRows() {
    RequireActive();
    if (Editing()) throw TableStoreError(Kind::General, L"Таблица " + Quoted(name_) + L" в режиме правки.");
    std::wstring sql = L"SELECT " + FieldList([this] {
        std::vector<std::wstring> names;
        for (const FieldDef& field : fields_) names.push_back(field.name);
        return names;
    }()) + L" FROM " + QuoteIdentifier(name_);
    if (keyField_ >= 0) sql += L" ORDER BY " + QuoteIdentifier(fields_[static_cast<size_t>(keyField_)].name);
    const std::wstring path = database_.TablePath(name_);
    SqliteStatement select = Prepare(connection_.get(), sql, name_, path);
    std::vector<std::vector<std::wstring>> rows;
    int rc;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
        std::vector<std::wstring>& row = rows.emplace_back();
        row.reserve(fields_.size());
        for (size_t i = 0; i < fields_.size(); ++i) row.push_back(ColumnString(select.get(), static_cast<int>(i)));
    }
    if (rc != SQLITE_DONE) Fail(rc);
    return rows;
}

void Table::PutRows(const std::vector<Row>& rows) {
    InWriteTransaction([&] { WriteRows(rows, {}); });
}

void Table::PutRowsUnderLock(const RowsUnderLock& rowsUnderLock, const RowWritten& onRow) {
    InWriteTransaction([&] { WriteRows(rowsUnderLock(), onRow); });
}

void Table::InWriteTransaction(const std::function<void()>& body) {
    RequireWritable();
    if (Editing()) throw TableStoreError(Kind::General, L"Таблица " + Quoted(name_) + L" уже в режиме правки.");
    if (!update_ || keyField_ < 0)
        throw TableStoreError(Kind::General, L"У таблицы " + Quoted(name_) + L" нет первичного индекса.");
    Begin();
    try {
        body();
        const int rc = sqlite3_exec(connection_.get(), "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) Fail(rc);
    } catch (...) {
        RollbackQuietly(connection_.get());
        throw;
    }
}

void Table::WriteRows(const std::vector<Row>& rows, const RowWritten& onRow) {
    std::vector<std::optional<std::wstring>> values(fields_.size());
    for (std::size_t done = 0; done < rows.size(); ++done) {
        const auto& row = rows[done];
        if (onRow) onRow(done, rows.size());
        for (size_t i = 0; i < fields_.size(); ++i) {
            values[i] = StoredValue(fields_[i], i < row.size() ? std::wstring_view(row[i].str()) : std::wstring_view());
            if (fields_[i].required && !values[i]) ThrowRequired(name_, fields_[i]);
        }
        {
            StatementUse use(update_.get());
            for (size_t i = 0; i < fields_.size(); ++i) BindText(update_.get(), static_cast<int>(i + 1), values[i]);
            BindText(update_.get(), static_cast<int>(fields_.size() + 1), values[static_cast<size_t>(keyField_)]);
            const int rc = sqlite3_step(update_.get());
            if (rc != SQLITE_DONE) Fail(rc);
        }
        if (sqlite3_changes(connection_.get()) > 0) continue;
        StatementUse use(insert_.get());
        for (size_t i = 0; i < fields_.size(); ++i) BindText(insert_.get(), static_cast<int>(i + 1), values[i]);
        const int rc = sqlite3_step(insert_.get());
        if (rc != SQLITE_DONE) Fail(rc);
    }
}

bool Table::DeleteKey(std::wstring_view key) {
    RequireWritable();
    if (Editing()) throw TableStoreError(Kind::General, L"Таблица " + Quoted(name_) + L" уже в режиме правки.");
    if (keyField_ < 0)
        throw TableStoreError(Kind::General, L"У таблицы " + Quoted(name_) + L" нет первичного индекса.");
    const FieldDef& keyDef = fields_[static_cast<size_t>(keyField_)];
    const std::wstring cut = keyDef.kind == FieldKind::String ? CutToWidth(key, keyDef.width) : std::wstring(key);
    const std::wstring path = database_.TablePath(name_);
    SqliteStatement remove = Prepare(connection_.get(),
                                     L"DELETE FROM " + QuoteIdentifier(name_) + L" WHERE " +
                                         QuoteIdentifier(keyDef.name) + L" = ?1",
                                     name_, path);
    BindText(remove.get(), 1, cut);
    const int rc = sqlite3_step(remove.get());
    if (rc != SQLITE_DONE) Fail(rc);
    hasRow_ = false;
    return sqlite3_changes(connection_.get()) > 0;
}
