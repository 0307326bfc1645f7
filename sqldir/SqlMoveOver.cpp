#include "SqlMoveOver.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <utility>

namespace {

struct TStored {
    std::wstring Name, Comment;
};

void Report(std::atomic<int>* permille, std::size_t done, std::size_t total, int from, int to) {
    if (!permille || total == 0) return;
    permille->store(from + static_cast<int>(static_cast<double>(to - from) * static_cast<double>(done) /
                                            static_cast<double>(total)));
}

}  // namespace

TSqlMoveOverResult MoveOverToSql(ISqlDirectoryServer& server, const std::vector<TSqlMoveOverRow>& rows,
                                 const std::wstring& changedBy, int64_t changedAtUnixMs, std::stop_token stop,
                                 std::atomic<int>* permille) {
    TSqlMoveOverResult result;
    if (permille) permille->store(0);
    if ((result.Error = server.Open())) return result;
    // The table as it stands: deleted markers count as no row.
    std::unordered_map<std::wstring, TStored> stored;
    result.Error = server.ReadChanges(0, [&](const TSqlRow& row) {
        if (stop.stop_requested()) return false;
        if (row.Deleted) stored.erase(row.Phone);
        else stored[row.Phone] = {row.Name, row.Comment};
        return true;
    });
    if (result.Error) return result;
    if (stop.stop_requested()) {
        result.Cancelled = true;
        return result;
    }
    if (permille) permille->store(100);
    // A number the directory holds twice is written once, as its last row says.
    std::unordered_map<std::wstring, std::size_t> lastOf;
    for (std::size_t i = 0; i < rows.size(); ++i) lastOf[rows[i].Phone] = i;
    std::vector<TSqlChange> changes;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TSqlMoveOverRow& row = rows[i];
        if (row.Phone.empty() || lastOf[row.Phone] != i) continue;
        const auto found = stored.find(row.Phone);
        if (found == stored.end()) {
            ++result.New;
        } else if (found->second.Name == row.Name && found->second.Comment == row.Comment) {
            ++result.Unchanged;
            continue;
        } else {
            ++result.Changed;
        }
        changes.push_back({row.Phone, row.Name, row.Comment, false, changedBy, changedAtUnixMs});
    }
    std::vector<TSqlChange> batch;
    for (std::size_t start = 0; start < changes.size(); start += kSqlMoveOverBatch) {
        if (stop.stop_requested()) {
            result.Cancelled = true;
            return result;
        }
        const std::size_t end = std::min(changes.size(), start + kSqlMoveOverBatch);
        batch.assign(std::make_move_iterator(changes.begin() + static_cast<std::ptrdiff_t>(start)),
                     std::make_move_iterator(changes.begin() + static_cast<std::ptrdiff_t>(end)));
        if ((result.Error = server.WriteChanges(batch))) return result;
        result.Written = end;
        Report(permille, end, changes.size(), 100, 1000);
    }
    if (permille) permille->store(1000);
    return result;
}
