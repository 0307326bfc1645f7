#include "SqlReadMarks.h"

#include <algorithm>

int64_t SqlReadSince(const TSqlSyncState& state, int64_t overlapStamps) {
    return std::max<int64_t>({0, state.Watermark, state.MaxSeen - overlapStamps});
}

void RecordSqlRead(TSqlSyncState& state, int64_t startedUnixMs, int64_t endedUnixMs, int64_t maxRead,
                   int64_t commitLagMs) {
    state.MaxSeen = std::max(state.MaxSeen, maxRead);
    auto old = state.Marks.begin();
    while (old != state.Marks.end() && old->EndedUnixMs <= startedUnixMs - commitLagMs) {
        state.Watermark = std::max(state.Watermark, old->MaxSeen);
        ++old;
    }
    state.Marks.erase(state.Marks.begin(), old);
    state.Marks.push_back({endedUnixMs, state.MaxSeen});
}
