// The server's table in memory, for the sync's tests: shared by any number of
// workstations' connections, with switches to make it fail, drop a write, hang,
// or commit a change out of stamp order.
#pragma once
#include "SqlDirectoryServer.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TFakeSqlTable {
public:
    // Every call answers this (None: works).
    void SetDown(bool down);
    // Open answers this when it is an error (a wrong password, a missing
    // table...); None: as SetDown says.
    void SetOpenError(TSqlError error);
    // How many times a connection was opened.
    int Opens() const;
    // WriteChanges answers this without storing anything.
    void SetWriteError(TSqlErrorKind kind);
    // The next `count` WriteChanges break off as Lost with nothing stored.
    void DropWrites(int count);
    // Calls of this kind ("Open", "Read", "Write") wait until released.
    void Hang(const std::string& call);
    void Release();
    // How many calls have entered a hang.
    int Hung() const;

    // A change stored as the server stores it, with the next stamp.
    void Put(const std::wstring& phone, const std::wstring& name, const std::wstring& comment = {});
    void Remove(const std::wstring& phone);
    // A stamp given to a transaction that has not committed yet: nobody reads
    // the row until CommitReserved.
    int64_t ReserveStamp();
    void CommitReserved(int64_t stamp, const std::wstring& phone, const std::wstring& name);

    // The row as stored now; none when absent or deleted.
    bool Lookup(const std::wstring& phone, std::wstring& name, std::wstring& comment) const;
    // Every change WriteChanges stored, in order.
    std::vector<TSqlChange> Written() const;
    // Reads: how many, how many from stamp 0, rows handed out, the last `since`.
    int Reads() const;
    int FullReads() const;
    int64_t RowsRead() const;
    int64_t LastSince() const;

    // The calls of one connection.
    TSqlError Open();
    TSqlError ReadChanges(int64_t since, const std::function<bool(const TSqlRow&)>& each);
    TSqlError WriteChanges(const std::vector<TSqlChange>& changes);

private:
    // Under FLock: waits while a hang of this call is set.
    void WaitIfHung(std::unique_lock<std::mutex>& lock, const std::string& call);
    void Store(const std::wstring& phone, const std::wstring& name, const std::wstring& comment, bool deleted,
               int64_t stamp);

    mutable std::mutex FLock;  // guards everything below
    std::condition_variable FReleased;
    std::map<std::wstring, TSqlRow> FRows;
    int64_t FNextStamp = 1;
    bool FDown = false;
    TSqlError FOpenError;
    int FOpens = 0;
    TSqlErrorKind FWriteError = TSqlErrorKind::None;
    int FDrops = 0;
    std::string FHang;
    int FHung = 0;
    std::vector<TSqlChange> FWritten;
    int FReads = 0, FFullReads = 0;
    int64_t FRowsRead = 0, FLastSince = -1;
};

// One workstation's connection to the shared table.
class TFakeSqlServer : public ISqlDirectoryServer {
public:
    explicit TFakeSqlServer(std::shared_ptr<TFakeSqlTable> table) : FTable(std::move(table)) {}
    TSqlError Open() override { return FTable->Open(); }
    void Close() noexcept override {}
    TSqlError ReadChanges(int64_t since, const std::function<bool(const TSqlRow&)>& each) override {
        return FTable->ReadChanges(since, each);
    }
    TSqlError WriteChanges(const std::vector<TSqlChange>& changes) override { return FTable->WriteChanges(changes); }

private:
    std::shared_ptr<TFakeSqlTable> FTable;
};

// Connections to the shared table, as the parts that make their own ask for them.
inline std::function<std::unique_ptr<ISqlDirectoryServer>(const TSqlDirectorySettings&)> FakeSqlServers(
    std::shared_ptr<TFakeSqlTable> table) {
    return [table](const TSqlDirectorySettings&) -> std::unique_ptr<ISqlDirectoryServer> {
        return std::make_unique<TFakeSqlServer>(table);
    };
}
