#pragma once
#include "SqlDirectory.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The server's table in memory, shared by every connection a factory makes:
// what a check, a move-over or a sync sees and stores. OpenError makes every
// call fail as a server would.
struct TFakeSqlTable {
    std::mutex Lock;  // guards everything below
    TSqlError OpenError;
    std::map<std::wstring, TSqlRow> Rows;
    std::vector<TSqlChange> Written;
    int64_t LastStamp = 0;
    int Opens = 0;

    void Put(const std::wstring& phone, const std::wstring& name, const std::wstring& comment, bool deleted = false) {
        const std::lock_guard lock(Lock);
        Rows[phone] = {phone, name, comment, deleted, ++LastStamp};
    }
    std::optional<TSqlRow> Find(const std::wstring& phone) {
        const std::lock_guard lock(Lock);
        const auto found = Rows.find(phone);
        if (found == Rows.end()) return std::nullopt;
        return found->second;
    }
};

class TFakeSqlServer final : public ISqlDirectoryServer {
public:
    explicit TFakeSqlServer(std::shared_ptr<TFakeSqlTable> table) : FTable(std::move(table)) {}
    TSqlError Open() override {
        const std::lock_guard lock(FTable->Lock);
        ++FTable->Opens;
        return FTable->OpenError;
    }
    void Close() noexcept override {}
    TSqlError ReadChanges(int64_t since, const std::function<bool(const TSqlRow&)>& each) override {
        std::vector<TSqlRow> rows;
        {
            const std::lock_guard lock(FTable->Lock);
            if (FTable->OpenError) return FTable->OpenError;
            for (const auto& [phone, row] : FTable->Rows)
                if (row.Stamp > since) rows.push_back(row);
        }
        std::sort(rows.begin(), rows.end(), [](const TSqlRow& a, const TSqlRow& b) { return a.Stamp < b.Stamp; });
        for (const TSqlRow& row : rows)
            if (!each(row)) break;
        return {};
    }
    TSqlError WriteChanges(const std::vector<TSqlChange>& changes) override {
        const std::lock_guard lock(FTable->Lock);
        if (FTable->OpenError) return FTable->OpenError;
        for (const TSqlChange& change : changes) {
            FTable->Rows[change.Phone] = {change.Phone, change.Name, change.Comment, change.Deleted,
                                          ++FTable->LastStamp};
            FTable->Written.push_back(change);
        }
        return {};
    }

private:
    std::shared_ptr<TFakeSqlTable> FTable;
};

inline TSqlDirectory::TServerFactory FakeSqlServers(std::shared_ptr<TFakeSqlTable> table) {
    return [table](const TSqlDirectorySettings&) -> std::unique_ptr<ISqlDirectoryServer> {
        return std::make_unique<TFakeSqlServer>(table);
    };
}
