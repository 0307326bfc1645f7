// The subscriber directory kept in the organisation's SQL server, as the program uses it:
// a local replica for lookups, a durable outbox for saves and the sync between them.
#pragma once
#include "ImportProgress.h"
#include "SqlDirectoryServer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// How the sync works; the defaults are the program's, tests shorten them.
struct TSqlDirectoryOptions {
    // Pulled rows are written to the replica this many a transaction, so that a
    // popup's lookup never waits long behind a sync.
    std::size_t ApplyBatchRows = 500;
    // Saves sent to the server in one transaction.
    std::size_t PushBatchChanges = 200;
    // A change stamp may commit this long after a higher one was read: the
    // rows read are read again from a mark that lags this far behind.
    int64_t CommitLagMs = 2 * 60 * 1000;
    // ...and from no further back than this many stamps below the highest one read.
    int64_t OverlapStamps = 2000;
    // A save is sent this long after it was made, with those made meanwhile.
    unsigned GatherSavesMs = 100;
    // A failed sync is tried again after 1 s, doubling up to this.
    unsigned MaxRetrySeconds = 60;
    // How long Stop waits for the worker to end.
    unsigned long StopWaitMs = 200;
};

struct TSqlDirectoryStatus {
    // A connection is set and the replica is in use.
    bool Enabled = false;
    // Saves in the outbox not yet stored by the server.
    std::size_t Waiting = 0;
    // Why the last sync failed; none after a good one.
    TSqlError LastError;
    // The local replica or outbox could not be used (the store's own words); empty when fine.
    std::wstring ReplicaError;
    // When the last good read of the server's changes ended (ms since 1970,
    // UTC); 0: none yet.
    int64_t LastSyncUnixMs = 0;
    // Rows in the replica after the last sync.
    std::size_t Rows = 0;
    // Full reads of the server's table, and rows read from it, by this object.
    unsigned FullReads = 0;
    uint64_t RowsRead = 0;
    bool operator==(const TSqlDirectoryStatus&) const = default;
};

// The SQL subscriber directory. Apply, SyncNow and Stop come from one thread
// (the user interface's); Save, SaveBatch, ReplicaFolder and Status from any.
class TSqlDirectory {
public:
    using TServerFactory = std::function<std::unique_ptr<ISqlDirectoryServer>(const TSqlDirectorySettings&)>;

    // replicaRoot: the per-user folder that holds the replicas (the caller
    // supplies %LOCALAPPDATA%\KordavinInformer); factory makes the worker's
    // connection to the server.
    TSqlDirectory(std::wstring replicaRoot, TServerFactory factory, TSqlDirectoryOptions options = {});
    ~TSqlDirectory();
    TSqlDirectory(const TSqlDirectory&) = delete;
    TSqlDirectory& operator=(const TSqlDirectory&) = delete;

    // Starts the sync, restarts it with other settings, or (empty Connection)
    // stops it. The replica and the outbox are usable when it returns.
    void Apply(const TSqlDirectorySettings& settings);
    // A subscriber-directory folder (the table "AbonentPhones") that lookups,
    // the directory window and export read as they read any such folder; empty
    // while no connection is set.
    std::wstring ReplicaFolder() const;

    // Stores the change durably in the outbox and in the replica, then wakes
    // the sync to send it. The number and the name are cut to the subscriber
    // table's widths; ChangedBy and ChangedAtUnixMs are filled in when empty.
    // Raises TDirectoryTextTooLong for a text no directory client could read,
    // TableStoreError (RequiredField) for a save without a number or a name,
    // TableStoreError when the outbox cannot store it or no connection is set;
    // then nothing is stored.
    void Save(const TSqlChange& change);
    // An import: every text checked first (TDirectoryTextTooLong, nothing
    // stored), then the changes stored in batches, each in a transaction. A
    // cancel (ImportCancelled) leaves the batches stored before it. Returns the
    // number of changes stored.
    std::size_t SaveBatch(const std::vector<TSqlChange>& changes, ImportProgress* progress = nullptr);

    // A sync as soon as the worker is free, without waiting for a retry.
    void SyncNow();
    TSqlDirectoryStatus Status() const;
    // Told on the worker thread when the status may have changed: post it on,
    // touch no window. Not told any more once Stop has returned.
    void SetOnStatusChanged(std::function<void()> onChanged);
    // Ends the sync without waiting for the network: a worker inside a call
    // that cannot be cut short is left to end alone; it owns all it uses and
    // stores nothing more.
    void Stop();

    // The replica's folder for these settings under replicaRoot.
    static std::wstring ReplicaFolderFor(const std::wstring& replicaRoot, const TSqlDirectorySettings& settings);

private:
    struct TShared;

    const std::wstring FReplicaRoot;
    const TServerFactory FFactory;
    const TSqlDirectoryOptions FOptions;
    // Guards FShared and FSettings (the pointer, not what it points to).
    mutable std::mutex FLock;
    // The running sync's state, shared with its worker; none while stopped.
    std::shared_ptr<TShared> FShared;
    TSqlDirectorySettings FSettings;
    std::function<void()> FOnChanged;
};
