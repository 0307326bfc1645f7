// The replica: the subscriber table "AbonentPhones" in a folder of its own, as
// TPQRDataModule reads any such folder, filled from the server and from this
// workstation's saves.
#pragma once
#include "SqlDirectoryServer.h"
#include "TableStore.h"
#include "pqrUnit.h"

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// The last unsent save of each number.
using TSqlPending = std::unordered_map<std::wstring, TSqlChange>;

// The only writer of its table. Thread-safe: one write at a time, each in
// transactions short enough that a popup's lookup never waits long. Failures
// raise TableStoreError.
class TSqlReplica {
public:
    explicit TSqlReplica(std::wstring folder);
    TSqlReplica(const TSqlReplica&) = delete;
    TSqlReplica& operator=(const TSqlReplica&) = delete;

    const std::wstring& Folder() const noexcept { return FFolder; }
    // The table is there and can be read; false when missing or damaged.
    bool Usable();
    // This workstation's saves, in one transaction (a delete removes the row).
    void Put(const std::vector<TSqlChange>& changes);
    // Rows read from the server, in stamp order, in transactions of batchRows.
    // A number with an unsent save (pending, asked under the write lock so that
    // no save slips in between) keeps the save's values; a row the replica
    // already holds as read is not written. Returns the rows written or removed.
    std::size_t ApplyPulled(const std::vector<TSqlRow>& rows, const std::function<TSqlPending()>& pending,
                            std::size_t batchRows);
    // A full read: the replica becomes these rows (with the unsent saves over
    // them). A missing or damaged table is built beside and moved into place;
    // an existing one is brought into step in batches. Returns the rows written
    // or removed.
    std::size_t Replace(const std::vector<TSqlRow>& rows, const std::function<TSqlPending()>& pending,
                        std::size_t batchRows);
    std::size_t Count();

private:
    // Under FLock.
    void OpenWriter();
    std::size_t CountLocked();
    std::size_t WriteBatch(const std::vector<const TSqlRow*>& rows, const TSqlPending& pending);

    const std::wstring FFolder;
    // Guards the database and the writer.
    std::mutex FLock;
    TableDatabase FDatabase;
    Table FWriter{FDatabase, TPQRDataModule::kTableName};
};
