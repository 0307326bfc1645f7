// Where the next read of the server's changes starts. Stamps are handed out in
// order but may commit out of it: a change with a lower stamp can become
// visible after a higher one was read. So the reads start from a mark that lags.
#pragma once
#include "SqlSyncStore.h"

#include <cstdint>

// The stamp after which the next read starts: the watermark, or at most
// overlapStamps below the highest stamp read, whichever is higher.
int64_t SqlReadSince(const TSqlSyncState& state, int64_t overlapStamps);

// Records a complete read that began at startedUnixMs, ended at endedUnixMs
// and read stamps up to maxRead (0: none). A change given a stamp below what an
// earlier read saw got it before that read ended, and a transaction commits
// within commitLagMs: a read that began that much later has read it, so the
// watermark moves up to what the earlier read saw.
void RecordSqlRead(TSqlSyncState& state, int64_t startedUnixMs, int64_t endedUnixMs, int64_t maxRead,
                   int64_t commitLagMs);
