// The sync's own file beside the replica: which table the replica holds, how far it has read, and the outbox.
#pragma once
#include "SqlDirectoryServer.h"
#include "TableStore.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// One read of the server: when it ended and the highest stamp read by then.
struct TSqlReadMark {
    int64_t EndedUnixMs = 0;
    int64_t MaxSeen = 0;
    bool operator==(const TSqlReadMark&) const = default;
};

struct TSqlSyncState {
    // The connection (without the password) and table the replica was read from.
    std::wstring Source;
    // A full read has filled the replica.
    bool Complete = false;
    // Every change with a stamp up to this one has been read.
    int64_t Watermark = 0;
    // The highest stamp read.
    int64_t MaxSeen = 0;
    // Reads too recent to move the watermark yet, oldest first.
    std::vector<TSqlReadMark> Marks;
    bool operator==(const TSqlSyncState&) const = default;
};

struct TSqlOutboxEntry {
    int64_t Seq = 0;
    TSqlChange Change;
};

// Thread-safe; every call is one short transaction on the file. Failures raise
// TableStoreError with the store's words.
class TSqlSyncStore {
public:
    // Opens the file, creating it when missing; a damaged file is set aside
    // (renamed with ".damaged") and a new one made.
    explicit TSqlSyncStore(const std::wstring& path);
    TSqlSyncStore(const TSqlSyncStore&) = delete;
    TSqlSyncStore& operator=(const TSqlSyncStore&) = delete;

    // An empty state when none was written.
    TSqlSyncState ReadState() const;
    void WriteState(const TSqlSyncState& state);

    // Adds saves at the outbox's end, all of them or none.
    void Append(const std::vector<TSqlChange>& changes);
    // The first `count` saves, in the order they were made.
    std::vector<TSqlOutboxEntry> Oldest(std::size_t count) const;
    // Removes every save up to this one (the server has stored them).
    void RemoveUpTo(int64_t seq);
    std::size_t Waiting() const;
    // The last unsent save of each number.
    std::unordered_map<std::wstring, TSqlChange> PendingByPhone() const;

private:
    void OpenFile(const std::wstring& path);

    // Guards FDb: one statement sequence at a time.
    mutable std::mutex FLock;
    SqliteConnection FDb;
};
