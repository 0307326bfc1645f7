#include "SqlReplica.h"

#include "TextConvert.h"

#include <sqlite3.h>

#include <unordered_set>
#include <utility>

namespace {

// What the replica should hold for a number: the unsent save's values over the server's.
struct TWanted {
    bool Remove = false;
    const std::wstring* Name = nullptr;
    const std::wstring* Comment = nullptr;
};

TWanted WantedFor(const TSqlRow& row, const TSqlPending& pending) {
    const auto local = pending.find(row.Phone);
    if (local != pending.end()) {
        const TSqlChange& change = local->second;
        // The table needs a name: a number without one has nothing to show.
        return {change.Deleted || change.Name.empty(), &change.Name, &change.Comment};
    }
    return {row.Deleted || row.Name.empty(), &row.Name, &row.Comment};
}

std::wstring AsStored(const FieldDef& field, const std::wstring& text) {
    return field.kind == FieldKind::String ? CutToWidth(text, field.width) : text;
}

// The unsent saves of numbers the server's rows do not hold, as rows to apply.
std::vector<TSqlRow> PendingOnly(const TSqlPending& pending, const std::unordered_set<std::wstring>& read) {
    std::vector<TSqlRow> rows;
    for (const auto& [phone, change] : pending)
        if (!read.contains(phone)) rows.push_back({phone, change.Name, change.Comment, change.Deleted, 0});
    return rows;
}

}  // namespace

TSqlReplica::TSqlReplica(std::wstring folder) : FFolder(std::move(folder)) {}

void TSqlReplica::OpenWriter() {
    if (!FDatabase.Connected()) FDatabase.Connect(FFolder);
    if (FWriter.Active()) return;
    TPQRDataModule::EnsureTable(FDatabase);
    FWriter.Open(Table::Mode::ReadWrite);
}

bool TSqlReplica::Usable() {
    const std::lock_guard lock(FLock);
    if (!FDatabase.Connected()) FDatabase.Connect(FFolder);
    if (!FDatabase.TableExists(TPQRDataModule::kTableName)) return false;
    try {
        OpenWriter();
        // A damaged file may open; reading a row tells.
        FWriter.FindKey(L"");
        return true;
    } catch (const TableStoreError&) {
        FWriter.Close();
        return false;
    }
}

void TSqlReplica::Put(const std::vector<TSqlChange>& changes) {
    const std::lock_guard lock(FLock);
    OpenWriter();
    const auto& fields = FWriter.Fields();
    const size_t width = fields.size();
    const int phone = FWriter.FieldIndex(TPQRDataModule::kPhoneField);
    const int name = FWriter.FieldIndex(TPQRDataModule::kNameField);
    const int comment = FWriter.FieldIndex(TPQRDataModule::kCommentField);
    // A number's last change in the batch is the one that stands.
    std::unordered_map<std::wstring, const TSqlChange*> last;
    for (const TSqlChange& change : changes) last.insert_or_assign(change.Phone, &change);
    std::vector<Table::Row> rows;
    std::vector<const std::wstring*> removed;
    for (const TSqlChange& change : changes) {
        if (last[change.Phone] != &change) continue;
        if (change.Deleted) {
            removed.push_back(&change.Phone);
            continue;
        }
        Table::Row& row = rows.emplace_back(width);
        row[static_cast<size_t>(phone)] = change.Phone;
        row[static_cast<size_t>(name)] = change.Name;
        row[static_cast<size_t>(comment)] = change.Comment;
    }
    if (!rows.empty()) FWriter.PutRows(rows);
    for (const std::wstring* each : removed) FWriter.DeleteKey(*each);
}

std::size_t TSqlReplica::WriteBatch(const std::vector<const TSqlRow*>& rows, const TSqlPending& pending) {
    const auto& fields = FWriter.Fields();
    const int phone = FWriter.FieldIndex(TPQRDataModule::kPhoneField);
    const int name = FWriter.FieldIndex(TPQRDataModule::kNameField);
    const int comment = FWriter.FieldIndex(TPQRDataModule::kCommentField);
    const FieldDef& nameField = fields[static_cast<size_t>(name)];
    const FieldDef& commentField = fields[static_cast<size_t>(comment)];
    std::vector<std::wstring> removed;
    std::size_t written = 0;
    FWriter.PutRowsUnderLock([&] {
        std::vector<Table::Row> put;
        for (const TSqlRow* row : rows) {
            const TWanted wanted = WantedFor(*row, pending);
            const bool stored = FWriter.FindKey(row->Phone);
            if (wanted.Remove) {
                if (stored) removed.push_back(row->Phone);
                continue;
            }
            if (stored && FWriter.FieldText(name) == AsStored(nameField, *wanted.Name) &&
                FWriter.FieldText(comment) == AsStored(commentField, *wanted.Comment))
                continue;
            Table::Row& out = put.emplace_back(fields.size());
            out[static_cast<size_t>(phone)] = row->Phone;
            out[static_cast<size_t>(name)] = *wanted.Name;
            out[static_cast<size_t>(comment)] = *wanted.Comment;
        }
        written = put.size();
        return put;
    });
    for (const std::wstring& each : removed)
        if (FWriter.DeleteKey(each)) ++written;
    return written;
}

std::size_t TSqlReplica::ApplyPulled(const std::vector<TSqlRow>& rows, const std::function<TSqlPending()>& pending,
                                     std::size_t batchRows) {
    // Rows come in stamp order: a number's last row is its current one.
    std::unordered_map<std::wstring, size_t> last;
    for (size_t i = 0; i < rows.size(); ++i)
        if (!rows[i].Phone.empty()) last.insert_or_assign(rows[i].Phone, i);
    std::vector<const TSqlRow*> current;
    current.reserve(last.size());
    for (size_t i = 0; i < rows.size(); ++i)
        if (!rows[i].Phone.empty() && last[rows[i].Phone] == i) current.push_back(&rows[i]);
    std::size_t written = 0;
    for (size_t from = 0; from < current.size(); from += batchRows) {
        const std::lock_guard lock(FLock);
        OpenWriter();
        const std::vector<const TSqlRow*> batch(
            current.begin() + static_cast<std::ptrdiff_t>(from),
            current.begin() + static_cast<std::ptrdiff_t>(std::min(current.size(), from + batchRows)));
        written += WriteBatch(batch, pending());
    }
    return written;
}

std::size_t TSqlReplica::Replace(const std::vector<TSqlRow>& rows, const std::function<TSqlPending()>& pending,
                                 std::size_t batchRows) {
    std::unordered_set<std::wstring> read;
    for (const TSqlRow& row : rows)
        if (!row.Phone.empty()) read.insert(row.Phone);
    {
        const std::lock_guard lock(FLock);
        if (!FDatabase.Connected()) FDatabase.Connect(FFolder);
        bool fresh = !FDatabase.TableExists(TPQRDataModule::kTableName);
        if (!fresh) {
            try {
                OpenWriter();
                FWriter.FindKey(L"");
                fresh = CountLocked() == 0;
            } catch (const TableStoreError&) {
                fresh = true;
            }
        }
        if (fresh) {
            // Built beside and moved into place: a failure leaves the old file.
            // Pending saves are asked under the lock, so none slips in between.
            const TSqlPending local = pending();
            std::unordered_map<std::wstring, size_t> last;
            for (size_t i = 0; i < rows.size(); ++i)
                if (!rows[i].Phone.empty()) last.insert_or_assign(rows[i].Phone, i);
            const std::vector<TSqlRow> extra = PendingOnly(local, read);
            std::vector<std::vector<std::wstring>> table;
            table.reserve(last.size() + extra.size());
            const std::vector<FieldDef> fields = TPQRDataModule::TableFields();
            auto add = [&](const TSqlRow& row) {
                const TWanted wanted = WantedFor(row, local);
                if (wanted.Remove) return;
                std::vector<std::wstring>& out = table.emplace_back(fields.size());
                for (size_t i = 0; i < fields.size(); ++i) {
                    if (fields[i].name == TPQRDataModule::kPhoneField) out[i] = row.Phone;
                    if (fields[i].name == TPQRDataModule::kNameField) out[i] = *wanted.Name;
                    if (fields[i].name == TPQRDataModule::kCommentField) out[i] = *wanted.Comment;
                }
            };
            for (size_t i = 0; i < rows.size(); ++i)
                if (!rows[i].Phone.empty() && last[rows[i].Phone] == i) add(rows[i]);
            for (const TSqlRow& row : extra) add(row);
            FWriter.Close();
            try {
                FDatabase.CreateTable(TPQRDataModule::kTableName, fields, TPQRDataModule::TableIndexes(), table,
                                      TableDatabase::CreateMode::ReplaceExisting);
                return table.size();
            } catch (const TableStoreError&) {
                // Held open by a reader (a lookup's module): brought into step below,
                // unless the table cannot be used at all.
                OpenWriter();
                FWriter.FindKey(L"");
            }
        }
    }
    std::size_t written = ApplyPulled(rows, pending, batchRows);
    std::vector<std::vector<std::wstring>> stored;
    int phone = -1;
    {
        const std::lock_guard lock(FLock);
        OpenWriter();
        stored = FWriter.ReadAllRows();
        phone = FWriter.FieldIndex(TPQRDataModule::kPhoneField);
    }
    const TSqlPending local = pending();
    std::vector<TSqlRow> gone;
    for (const std::vector<std::wstring>& row : stored) {
        const std::wstring& number = row[static_cast<size_t>(phone)];
        if (!read.contains(number) && !local.contains(number)) gone.push_back({number, {}, {}, true, 0});
    }
    std::vector<TSqlRow> extra = PendingOnly(local, read);
    gone.insert(gone.end(), std::make_move_iterator(extra.begin()), std::make_move_iterator(extra.end()));
    return written + ApplyPulled(gone, pending, batchRows);
}

std::size_t TSqlReplica::Count() {
    const std::lock_guard lock(FLock);
    return CountLocked();
}

std::size_t TSqlReplica::CountLocked() {
    if (!FDatabase.Connected()) FDatabase.Connect(FFolder);
    if (!FDatabase.TableExists(TPQRDataModule::kTableName)) return 0;
    // The store keeps no count; SQLite counts a table without reading its rows.
    sqlite3* raw = nullptr;
    const std::string path = WideToUtf8(FDatabase.TablePath(TPQRDataModule::kTableName));
    const int code = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const SqliteConnection db(raw);
    if (code != SQLITE_OK) return 0;
    sqlite3_busy_timeout(raw, 2000);
    sqlite3_stmt* statement = nullptr;
    const std::wstring sql = L"SELECT COUNT(*) FROM \"" + std::wstring(TPQRDataModule::kTableName) + L"\"";
    if (sqlite3_prepare16_v2(raw, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return 0;
    const SqliteStatement count(statement);
    return sqlite3_step(statement) == SQLITE_ROW ? static_cast<std::size_t>(sqlite3_column_int64(statement, 0)) : 0;
}
