#pragma once
#include "SqlDirectoryServer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

// Moving an office over: an existing subscriber directory's rows copied into
// the server's table. A row whose number the table holds with the same name
// and comment is left alone; the others are written, the last save of a
// number winning there as everywhere.

struct TSqlMoveOverRow {
    std::wstring Phone, Name, Comment;
};

struct TSqlMoveOverResult {
    // How the rows compare with the table as it was read before writing.
    std::size_t New = 0, Changed = 0, Unchanged = 0;
    // Of the new and changed ones, how many are stored now.
    std::size_t Written = 0;
    // Why it stopped before the end (nothing of an unfinished batch is stored).
    TSqlError Error;
    bool Cancelled = false;
};

// Rows per transaction: a batch is stored whole or not at all.
inline constexpr std::size_t kSqlMoveOverBatch = 500;

// Connects, reads the table, then writes the new and changed rows in batches
// with changedBy and changedAtUnixMs. Stops between reads and batches once
// stop is requested. permille, when given, follows the work (0 to 1000) for
// another thread to show.
TSqlMoveOverResult MoveOverToSql(ISqlDirectoryServer& server, const std::vector<TSqlMoveOverRow>& rows,
                                 const std::wstring& changedBy, int64_t changedAtUnixMs, std::stop_token stop,
                                 std::atomic<int>* permille = nullptr);
