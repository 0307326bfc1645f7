#include "DirectoryBulk.h"

#include "DirectoryTextLimit.h"
#include "NumberQuery.h"
#include "TableStore.h"
#include "TextCompare.h"
#include "pqrUnit.h"

#include <type_traits>
#include <utility>

std::vector<DirectoryRow> ReadDirectoryRows(const std::wstring& folder) {
    TableDatabase database;
    database.Connect(folder);
    if (!database.TableExists(TPQRDataModule::kTableName)) return {};
    Table table(database, TPQRDataModule::kTableName);
    table.Open(Table::Mode::ReadOnly);
    const size_t phone = static_cast<size_t>(table.FieldIndex(TPQRDataModule::kPhoneField));
    const size_t name = static_cast<size_t>(table.FieldIndex(TPQRDataModule::kNameField));
    const size_t comment = static_cast<size_t>(table.FieldIndex(TPQRDataModule::kCommentField));
    std::vector<DirectoryRow> rows;
    for (std::vector<std::wstring>& stored : table.ReadAllRows())
        rows.push_back({std::move(stored[phone]), std::move(stored[name]), std::move(stored[comment])});
    return rows;
}

DirectorySnapshot SnapshotOf(const std::vector<DirectoryRow>& rows) {
    DirectorySnapshot snapshot;
    snapshot.reserve(rows.size());
    for (const DirectoryRow& row : rows) snapshot.emplace(row.phone, std::make_pair(row.name, row.comment));
    return snapshot;
}

std::size_t ApplyImport(const std::wstring& folder, const ImportPreview& preview, ImportProgress* progress) {
    TableDatabase database;
    database.Connect(folder);
    TPQRDataModule::EnsureTable(database);
    Table table(database, TPQRDataModule::kTableName);
    table.Open(Table::Mode::ReadWrite);
    const size_t width = table.Fields().size();
    const int phone = table.FieldIndex(TPQRDataModule::kPhoneField);
    const int name = table.FieldIndex(TPQRDataModule::kNameField);
    const int comment = table.FieldIndex(TPQRDataModule::kCommentField);
    std::size_t written = 0;
    if (progress) progress->Phase(0, 500);
    table.PutRowsUnderLock(
        [&] {
            std::vector<Table::Row> rows;
            rows.reserve(preview.newCount + preview.changedCount);
            for (std::size_t k = 0; k < preview.rows.size(); ++k) {
                ImportStep(progress, k, preview.rows.size(), 1024);
                const ImportRow& row = preview.rows[k];
                // What the preview showed as staying is left as it is now.
                if (row.status == ImportStatus::Unchanged) continue;
                Table::Row& stored = rows.emplace_back(width);
                stored[static_cast<size_t>(phone)] = row.phone;
                TSharedText merged[2] = {row.name, row.comment};
                // Another workstation may have changed the row since the preview:
                // the file's texts are merged with it as it is now. A row removed
                // since goes in as the preview showed it.
                if (table.FindKey(row.phone)) {
                    const std::pair<std::wstring, std::wstring> now{table.FieldText(name), table.FieldText(comment)};
                    if (MergeImportRow(row.fileName, row.fileComment, &now, preview.replaceNames, merged[0],
                                       merged[1]) == ImportStatus::Unchanged) {
                        rows.pop_back();
                        continue;
                    }
                }
                stored[static_cast<size_t>(name)] = merged[0];
                stored[static_cast<size_t>(comment)] = merged[1];
            }
            written = rows.size();
            if (progress) progress->Phase(500, 1000);
            return rows;
        },
        [progress](std::size_t done, std::size_t total) { ImportStep(progress, done, total, 1024); });
    return written;
}

void PutDirectoryRow(const std::wstring& folder, const DirectoryRow& row) {
    RequireDirectoryTextsFit(row.phone, row.name, row.comment);
    TableDatabase database;
    database.Connect(folder);
    TPQRDataModule::EnsureTable(database);
    Table table(database, TPQRDataModule::kTableName);
    table.Open(Table::Mode::ReadWrite);
    Table::Row stored(table.Fields().size());
    stored[static_cast<size_t>(table.FieldIndex(TPQRDataModule::kPhoneField))] = row.phone;
    stored[static_cast<size_t>(table.FieldIndex(TPQRDataModule::kNameField))] = row.name;
    stored[static_cast<size_t>(table.FieldIndex(TPQRDataModule::kCommentField))] = row.comment;
    table.PutRows({std::move(stored)});
}

bool DeleteDirectoryRow(const std::wstring& folder, const std::wstring& phone) {
    TableDatabase database;
    database.Connect(folder);
    if (!database.TableExists(TPQRDataModule::kTableName)) return false;
    Table table(database, TPQRDataModule::kTableName);
    table.Open(Table::Mode::ReadWrite);
    return table.DeleteKey(phone);
}

DirectorySearch::DirectorySearch(const std::vector<DirectoryRow>& rows, TDiallingSettings dialling)
    : dialling_(std::move(dialling)) {
    phones_.reserve(rows.size());
    names_.reserve(rows.size());
    for (const DirectoryRow& row : rows) {
        phones_.push_back(row.phone);
        names_.push_back(LowerCaseText(row.name));
    }
}

std::vector<std::size_t> DirectorySearch::Find(std::wstring_view query) const {
    const TNumberQuery number = ReadNumberQuery(query, dialling_);
    const std::wstring folded = LowerCaseText(query);
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (number.Matches(phones_[i]) ||
            names_[i].find(folded) != std::wstring::npos)
            found.push_back(i);
    }
    return found;
}
