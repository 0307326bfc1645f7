#include "SqlDirectoryWrites.h"

#include <utility>
#include <vector>

namespace {

TSqlChange Change(const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
    TSqlChange change;
    change.Phone = phone;
    change.Name = name;
    change.Comment = comment;
    return change;
}

class TSqlDirectoryWrites final : public IDirectoryWrites {
public:
    explicit TSqlDirectoryWrites(std::shared_ptr<TSqlDirectory> directory) : FDirectory(std::move(directory)) {}

    void Put(const DirectoryRow& row) override { FDirectory->Save(Change(row.phone, row.name, row.comment)); }

    void Delete(const std::wstring& phone) override {
        TSqlChange change = Change(phone, {}, {});
        change.Deleted = true;
        FDirectory->Save(change);
    }

    std::size_t Import(const ImportPreview& preview, ImportProgress* progress) override {
        // Another workstation's save that the sync brought since the preview is
        // merged with, not undone.
        const DirectorySnapshot now = SnapshotOf(ReadDirectoryRows(FDirectory->ReplicaFolder()));
        std::vector<TSqlChange> changes;
        changes.reserve(preview.newCount + preview.changedCount);
        for (std::size_t k = 0; k < preview.rows.size(); ++k) {
            ImportStep(progress, k, preview.rows.size(), 1024);
            const ImportRow& row = preview.rows[k];
            if (row.status == ImportStatus::Unchanged) continue;
            TSharedText name = row.name, comment = row.comment;
            const auto stored = now.find(row.phone);
            if (stored != now.end() && MergeImportRow(row.fileName, row.fileComment, &stored->second,
                                                      preview.replaceNames, name, comment) == ImportStatus::Unchanged)
                continue;
            changes.push_back(Change(row.phone, name, comment));
        }
        return FDirectory->SaveBatch(changes, progress);
    }

private:
    const std::shared_ptr<TSqlDirectory> FDirectory;
};

}  // namespace

std::shared_ptr<IDirectoryWrites> SqlDirectoryWrites(std::shared_ptr<TSqlDirectory> directory) {
    return std::make_shared<TSqlDirectoryWrites>(std::move(directory));
}
