#include "SqlDirectory.h"

#include "DirectoryBulk.h"
#include "DirectoryTextLimit.h"
#include "PathText.h"
#include "TableStore.h"
#include "pqrUnit.h"

#include <utility>

// For now the replica alone: saves go into it and nothing is sent yet.
struct TSqlDirectory::TShared {
    std::wstring Folder;
};

TSqlDirectory::TSqlDirectory(std::wstring replicaRoot, TServerFactory factory, TSqlDirectoryOptions options)
    : FReplicaRoot(std::move(replicaRoot)), FFactory(std::move(factory)), FOptions(options) {}

TSqlDirectory::~TSqlDirectory() { Stop(); }

std::wstring TSqlDirectory::ReplicaFolderFor(const std::wstring& replicaRoot, const TSqlDirectorySettings& settings) {
    uint64_t hash = 14695981039346656037ull;
    for (const wchar_t c : settings.Connection + L'\x1f' + settings.Table) {
        hash ^= static_cast<uint64_t>(c);
        hash *= 1099511628211ull;
    }
    wchar_t text[17];
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    for (int i = 15; i >= 0; --i, hash >>= 4) text[i] = kDigits[hash & 15];
    text[16] = 0;
    return JoinPath(replicaRoot, std::wstring(L"SqlDirectory-") + text);
}

void TSqlDirectory::Apply(const TSqlDirectorySettings& settings) {
    if (settings.Connection.empty()) {
        Stop();
        return;
    }
    auto shared = std::make_shared<TShared>();
    shared->Folder = ReplicaFolderFor(FReplicaRoot, settings);
    TableDatabase database;
    database.Connect(shared->Folder);
    TPQRDataModule::EnsureTable(database);
    const std::lock_guard lock(FLock);
    FShared = std::move(shared);
    FSettings = settings;
}

std::wstring TSqlDirectory::ReplicaFolder() const {
    const std::lock_guard lock(FLock);
    return FShared ? FShared->Folder : std::wstring();
}

void TSqlDirectory::Save(const TSqlChange& change) {
    RequireDirectoryTextsFit(change.Phone, change.Name, change.Comment);
    const std::wstring folder = ReplicaFolder();
    if (folder.empty()) throw TableStoreError(TableStoreError::Kind::NotOpen, L"Справочник в SQL-сервере не настроен.");
    if (change.Deleted)
        DeleteDirectoryRow(folder, change.Phone);
    else
        PutDirectoryRow(folder, {change.Phone, change.Name, change.Comment});
}

std::size_t TSqlDirectory::SaveBatch(const std::vector<TSqlChange>& changes, ImportProgress* progress) {
    for (const TSqlChange& change : changes) RequireDirectoryTextsFit(change.Phone, change.Name, change.Comment);
    std::size_t done = 0;
    for (const TSqlChange& change : changes) {
        ImportStep(progress, done, changes.size(), 64);
        Save(change);
        ++done;
    }
    return done;
}

void TSqlDirectory::SyncNow() {}

TSqlDirectoryStatus TSqlDirectory::Status() const {
    TSqlDirectoryStatus status;
    status.Enabled = !ReplicaFolder().empty();
    return status;
}

void TSqlDirectory::SetOnStatusChanged(std::function<void()> onChanged) {
    const std::lock_guard lock(FLock);
    FOnChanged = std::move(onChanged);
}

void TSqlDirectory::Stop() {
    const std::lock_guard lock(FLock);
    FShared.reset();
    FSettings = {};
}
