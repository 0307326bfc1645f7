#include "SqlDirectory.h"

#include "AppError.h"
#include "CallTracker.h"
#include "DirectoryTextLimit.h"
#include "PathText.h"
#include "SqlChangeAuthor.h"
#include "SqlReadMarks.h"
#include "SqlReplica.h"
#include "SqlSyncStore.h"
#include "UniqueHandle.h"
#include "pqrUnit.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// What the replica holds: another connection or table needs a full read.
std::wstring SourceOf(const TSqlDirectorySettings& settings) { return settings.Connection + L'\x1f' + settings.Table; }

// The longest "who changed it" the server's tables keep.
constexpr int kChangedByWidth = 256;

// A save as the subscriber directory stores it: the number and the name cut to
// the table's widths, so that the server holds what every replica shows; and
// nothing longer than the server's columns take, so that no save is refused
// for ever at the head of the outbox.
TSqlChange Completed(TSqlChange change, const std::wstring& author, int64_t now) {
    change.Phone = CutToWidth(change.Phone, TPQRDataModule::kPhoneWidth);
    change.Name = CutToWidth(change.Name, TPQRDataModule::kNameWidth);
    change.ChangedBy = CutToWidth(change.ChangedBy.empty() ? author : change.ChangedBy, kChangedByWidth);
    if (change.ChangedAtUnixMs == 0) change.ChangedAtUnixMs = now;
    return change;
}

// As the subscriber table refuses a row without a number or a name: nothing is stored.
void RequireSavable(const TSqlChange& change) {
    RequireDirectoryTextsFit(change.Phone, change.Name, change.Comment);
    const wchar_t* missing = change.Phone.empty()                     ? TPQRDataModule::kPhoneField
                             : !change.Deleted && change.Name.empty() ? TPQRDataModule::kNameField
                                                                      : nullptr;
    if (missing)
        throw TableStoreError(TableStoreError::Kind::RequiredField, L"Поле \"" + std::wstring(missing) +
                                                                        L"\" таблицы \"" + TPQRDataModule::kTableName +
                                                                        L"\" должно иметь значение.");
}

// One push at a time per replica folder, across a worker left by Stop and the
// one that follows it, so that a late commit of the old one never lands after
// the new one has sent later saves of the same numbers. A push waits for the
// old one only this long: the server calls' own timeouts end it well before.
constexpr auto kPushWait = std::chrono::minutes(2);

std::shared_ptr<std::timed_mutex> PushLockFor(const std::wstring& folder) {
    static std::mutex registryLock;
    // Never destroyed: a worker left to the process's end may still ask.
    static auto* registry = new std::map<std::wstring, std::weak_ptr<std::timed_mutex>>;
    const std::lock_guard lock(registryLock);
    std::weak_ptr<std::timed_mutex>& slot = (*registry)[folder];
    std::shared_ptr<std::timed_mutex> pushLock = slot.lock();
    if (!pushLock) {
        pushLock = std::make_shared<std::timed_mutex>();
        slot = pushLock;
    }
    return pushLock;
}

bool ServerGone(TSqlErrorKind kind) { return kind == TSqlErrorKind::Unreachable || kind == TSqlErrorKind::Lost; }

}  // namespace

// What one sync worker and the directory share. The worker holds it to its
// end, so a worker left by Stop never reaches into a directory that is gone.
struct TSqlDirectory::TShared {
    TSqlDirectorySettings Settings;
    TSqlDirectoryOptions Options;
    TServerFactory Factory;
    std::wstring Source;
    // Null when the file could not be opened; StoreError says why.
    std::unique_ptr<TSqlSyncStore> Store;
    std::wstring StoreError;
    std::shared_ptr<std::timed_mutex> PushLock;
    TSqlReplica Replica;
    std::wstring Author = SqlChangeAuthor();
    // Set by the thread as it leaves.
    UniqueKernelHandle Ended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    // Guards the fields below.
    std::mutex Lock;
    std::condition_variable Wake;
    bool Stopping = false;
    bool SyncRequested = false;
    bool Saved = false;
    TSqlDirectoryStatus Status;
    std::function<void()> OnChanged;
    // Held while OnChanged is told, so that Stop returns only once nobody tells it any more.
    std::mutex TellLock;

    explicit TShared(std::wstring folder) : Replica(std::move(folder)) {}
    bool Stopped() {
        const std::lock_guard lock(Lock);
        return Stopping;
    }
    void Run() noexcept;
    void RunSyncs();
    // One sync: the outbox sent, then (with read) the server's changes read.
    TSqlError Sync(ISqlDirectoryServer& server, bool read);
    TSqlError Push(ISqlDirectoryServer& server);
    TSqlError Pull(ISqlDirectoryServer& server);
    void Tell();
    // Status.Waiting from the outbox, after it changed.
    void CountWaiting() noexcept;
    std::mutex CountLock;
};

TSqlDirectory::TSqlDirectory(std::wstring replicaRoot, TServerFactory factory, TSqlDirectoryOptions options)
    : FReplicaRoot(std::move(replicaRoot)), FFactory(std::move(factory)), FOptions(options) {}

TSqlDirectory::~TSqlDirectory() { Stop(); }

std::wstring TSqlDirectory::ReplicaFolderFor(const std::wstring& replicaRoot, const TSqlDirectorySettings& settings) {
    // FNV-1a: short, stable across versions, and the password is no part of it.
    uint64_t hash = 14695981039346656037ull;
    for (const wchar_t c : SourceOf(settings)) {
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
    {
        const std::lock_guard lock(FLock);
        if (FShared && settings == FSettings) return;
    }
    Stop();
    const std::wstring folder = ReplicaFolderFor(FReplicaRoot, settings);
    auto shared = std::make_shared<TShared>(folder);
    shared->Settings = settings;
    shared->Options = FOptions;
    shared->Factory = FFactory;
    shared->Source = SourceOf(settings);
    shared->PushLock = PushLockFor(folder);
    shared->Status.Enabled = true;
    CreateFolderWithParents(folder);
    try {
        shared->Store = std::make_unique<TSqlSyncStore>(JoinPath(folder, L"SqlSync.sqlite"));
        shared->Status.Waiting = shared->Store->Waiting();
    } catch (const AppError& error) {
        shared->StoreError = error.message();
        shared->Status.ReplicaError = error.message();
    }
    try {
        shared->Status.Rows = shared->Replica.Count();
    } catch (const AppError&) {
        // The sync reads it again.
    }
    {
        const std::lock_guard lock(FLock);
        shared->OnChanged = FOnChanged;
        FShared = shared;
        FSettings = settings;
    }
    try {
        // Detached: Stop never joins a thread that may be in the network.
        std::thread([shared] { shared->Run(); }).detach();
    } catch (const std::system_error&) {
        const std::lock_guard lock(shared->Lock);
        shared->Status.LastError = {TSqlErrorKind::Other, {}, L"no thread"};
    }
}

std::wstring TSqlDirectory::ReplicaFolder() const {
    const std::lock_guard lock(FLock);
    return FShared ? FShared->Replica.Folder() : std::wstring();
}

void TSqlDirectory::Save(const TSqlChange& change) { SaveBatch({change}); }

std::size_t TSqlDirectory::SaveBatch(const std::vector<TSqlChange>& changes, ImportProgress* progress) {
    for (const TSqlChange& change : changes) RequireSavable(change);
    std::shared_ptr<TShared> shared;
    {
        const std::lock_guard lock(FLock);
        shared = FShared;
    }
    if (!shared) throw TableStoreError(TableStoreError::Kind::NotOpen, L"Справочник в SQL-сервере не настроен.");
    if (!shared->Store) throw TableStoreError(TableStoreError::Kind::NotOpen, shared->StoreError);
    const std::size_t batchSize = std::max<std::size_t>(1, FOptions.ApplyBatchRows);
    const int64_t now = CallTimeNow();
    std::size_t done = 0;
    while (done < changes.size()) {
        if (progress) progress->Step(done, changes.size());
        const std::size_t end = std::min(changes.size(), done + batchSize);
        std::vector<TSqlChange> batch;
        batch.reserve(end - done);
        for (std::size_t i = done; i < end; ++i) batch.push_back(Completed(changes[i], shared->Author, now));
        // The outbox first: once it holds the saves they reach the server.
        shared->Store->Append(batch);
        try {
            shared->Replica.Put(batch);
        } catch (const AppError&) {
            // The server's copy comes back with the next read of its changes.
        }
        done = end;
        shared->CountWaiting();
        {
            const std::lock_guard lock(shared->Lock);
            shared->Saved = true;
        }
        shared->Wake.notify_all();
    }
    if (progress) progress->Step(done, changes.size());
    return done;
}

void TSqlDirectory::SyncNow() {
    std::shared_ptr<TShared> shared;
    {
        const std::lock_guard lock(FLock);
        shared = FShared;
    }
    if (!shared) return;
    {
        const std::lock_guard lock(shared->Lock);
        shared->SyncRequested = true;
    }
    shared->Wake.notify_all();
}

TSqlDirectoryStatus TSqlDirectory::Status() const {
    std::shared_ptr<TShared> shared;
    {
        const std::lock_guard lock(FLock);
        shared = FShared;
    }
    if (!shared) return {};
    // Kept up to date by the saves and the worker: a window asking never waits for the files.
    const std::lock_guard lock(shared->Lock);
    return shared->Status;
}

void TSqlDirectory::SetOnStatusChanged(std::function<void()> onChanged) {
    std::shared_ptr<TShared> shared;
    {
        const std::lock_guard lock(FLock);
        FOnChanged = onChanged;
        shared = FShared;
    }
    if (!shared) return;
    const std::lock_guard lock(shared->Lock);
    shared->OnChanged = std::move(onChanged);
}

void TSqlDirectory::Stop() {
    std::shared_ptr<TShared> shared;
    {
        const std::lock_guard lock(FLock);
        shared = std::move(FShared);
        FShared.reset();
        FSettings = {};
    }
    if (!shared) return;
    {
        const std::lock_guard lock(shared->Lock);
        shared->Stopping = true;
        shared->OnChanged = {};
    }
    shared->Wake.notify_all();
    // A status being told ends its telling first: it only posts.
    { const std::lock_guard telling(shared->TellLock); }
    ::WaitForSingleObject(shared->Ended.get(), FOptions.StopWaitMs);
}

void TSqlDirectory::TShared::Run() noexcept {
    try {
        RunSyncs();
    } catch (...) {
        // Nothing may leave the thread; the replica and the outbox keep what they hold.
    }
    ::SetEvent(Ended.get());
}

void TSqlDirectory::TShared::CountWaiting() noexcept {
    try {
        // One count at a time: the last one stored is the latest.
        const std::lock_guard counting(CountLock);
        const std::size_t waiting = Store->Waiting();
        const std::lock_guard lock(Lock);
        Status.Waiting = waiting;
    } catch (...) {
        // The last count stands.
    }
}

void TSqlDirectory::TShared::Tell() {
    const std::lock_guard telling(TellLock);
    std::function<void()> onChanged;
    {
        const std::lock_guard lock(Lock);
        if (!Stopping) onChanged = OnChanged;
    }
    if (!onChanged) return;
    try {
        onChanged();
    } catch (...) {
    }
}

void TSqlDirectory::TShared::RunSyncs() {
    std::unique_ptr<ISqlDirectoryServer> server;
    try {
        server = Factory(Settings);
    } catch (...) {
    }
    if (!server) {
        {
            const std::lock_guard lock(Lock);
            Status.LastError = {TSqlErrorKind::Driver, {}, {}};
        }
        Tell();
        return;
    }
    unsigned failures = 0;
    // The server's changes are read at start, every period, on demand and at
    // each retry; a save only has the outbox sent, so that a busy office's
    // saves do not each read the changes again.
    bool read = true;
    auto nextRead = std::chrono::steady_clock::now();
    std::unique_lock lock(Lock);
    for (;;) {
        if (Stopping) return;
        lock.unlock();
        const TSqlError error = Sync(*server, read);
        lock.lock();
        if (Stopping) return;
        const auto now = std::chrono::steady_clock::now();
        if (error) {
            ++failures;
            Status.LastError = error;
        } else {
            failures = 0;
            Status.LastError = {};
            if (read) {
                Status.LastSyncUnixMs = CallTimeNow();
                nextRead = now + std::chrono::seconds(std::max(1u, Settings.SyncSeconds));
            }
        }
        lock.unlock();
        Tell();
        lock.lock();
        const auto retry = std::chrono::seconds(
            std::min<unsigned>(std::max(1u, Options.MaxRetrySeconds), 1u << std::min(failures - 1, 16u)));
        const auto due = failures ? now + retry : nextRead;
        // A save is sent at once, unless the server has just failed: then at the
        // retry, and meanwhile only the count of waiting saves is told.
        read = false;
        for (;;) {
            if (Stopping) break;
            if (SyncRequested || std::chrono::steady_clock::now() >= due) {
                read = true;
                break;
            }
            if (Saved) {
                Saved = false;
                if (!failures) {
                    // Saves made in a burst (an operator's quick edits, an import)
                    // go to the server together, and the burst's saves do not
                    // queue behind the worker's use of the outbox.
                    Wake.wait_for(lock, std::chrono::milliseconds(Options.GatherSavesMs),
                                  [this] { return Stopping || SyncRequested; });
                    read = SyncRequested;
                    break;
                }
                lock.unlock();
                Tell();
                lock.lock();
                continue;
            }
            Wake.wait_until(lock, due);
        }
        SyncRequested = false;
        Saved = false;
    }
}

TSqlError TSqlDirectory::TShared::Sync(ISqlDirectoryServer& server, bool read) {
    if (!Store) {
        // Without its file the replica cannot say how far it has read.
        return {TSqlErrorKind::Other, {}, StoreError};
    }
    TSqlError error = server.Open();
    if (error) {
        if (ServerGone(error.Kind)) server.Close();
        return error;
    }
    error = Push(server);
    if (error && ServerGone(error.Kind)) {
        server.Close();
        return error;
    }
    if (!read) return error;
    // An account that may not write may still read.
    const TSqlError pulled = Pull(server);
    if (pulled && ServerGone(pulled.Kind)) server.Close();
    return error ? error : pulled;
}

TSqlError TSqlDirectory::TShared::Push(ISqlDirectoryServer& server) {
    // Past the wait the old push is taken for gone: sending beats waiting for ever.
    const std::unique_lock pushing(*PushLock, kPushWait);
    try {
        for (;;) {
            if (Stopped()) return {};
            const std::vector<TSqlOutboxEntry> entries =
                Store->Oldest(std::max<std::size_t>(1, Options.PushBatchChanges));
            if (entries.empty()) return {};
            std::vector<TSqlChange> changes;
            changes.reserve(entries.size());
            for (const TSqlOutboxEntry& entry : entries) changes.push_back(entry.Change);
            const TSqlError error = server.WriteChanges(changes);
            if (error) return error;
            // Removed only now that the server holds them; even by a worker left
            // by Stop, so that they are never sent again over a later save.
            Store->RemoveUpTo(entries.back().Seq);
            CountWaiting();
        }
    } catch (const AppError& error) {
        const std::lock_guard lock(Lock);
        Status.ReplicaError = error.message();
        return {TSqlErrorKind::Other, {}, error.message()};
    }
}

TSqlError TSqlDirectory::TShared::Pull(ISqlDirectoryServer& server) {
    try {
        TSqlSyncState state = Store->ReadState();
        const bool full = !state.Complete || state.Source != Source || !Replica.Usable();
        const int64_t since = full ? 0 : SqlReadSince(state, Options.OverlapStamps);
        const int64_t started = CallTimeNow();
        std::vector<TSqlRow> rows;
        int64_t maxRead = 0;
        const TSqlError error = server.ReadChanges(since, [&](const TSqlRow& row) {
            maxRead = std::max(maxRead, row.Stamp);
            rows.push_back(row);
            return !Stopped();
        });
        if (error) return error;
        // A worker left by Stop stores nothing more of what it read.
        if (Stopped()) return {};
        const auto pending = [this] { return Store->PendingByPhone(); };
        if (full) {
            Replica.Replace(rows, pending, std::max<std::size_t>(1, Options.ApplyBatchRows));
            state = {};
            state.Source = Source;
            state.Complete = true;
        } else {
            Replica.ApplyPulled(rows, pending, std::max<std::size_t>(1, Options.ApplyBatchRows));
        }
        RecordSqlRead(state, started, CallTimeNow(), maxRead, Options.CommitLagMs);
        Store->WriteState(state);
        const std::size_t count = Replica.Count();
        const std::lock_guard lock(Lock);
        Status.ReplicaError.clear();
        Status.Rows = count;
        Status.RowsRead += rows.size();
        if (full) ++Status.FullReads;
        return {};
    } catch (const AppError& error) {
        const std::lock_guard lock(Lock);
        Status.ReplicaError = error.message();
        return {TSqlErrorKind::Other, {}, error.message()};
    }
}
