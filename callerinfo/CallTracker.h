#pragma once
#include "CallEvent.h"

#include <cstdint>
#include <vector>

// Now, as calls count time: milliseconds since 1970-01-01 UTC.
int64_t CallTimeNow();
// FILETIME counts 100 ns steps from 1601; calls count milliseconds from 1970.
inline constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;

// The calls in progress, at most one per channel (channel names compared
// ignoring letter case): the one place where a call's state lives while it lasts.
class TCallTracker {
public:
    // Follows one record of the server (the event's kind, channel, text, whether
    // the channel is watched and, for a caller ID, the caller looked up). Returns
    // the call the record belongs to as it stands afterwards (ended, when the
    // record ended it), or null. The pointer holds until the next change.
    const TCall* Step(const TCallEvent& event, int64_t now);
    // The caller of the call in progress on a channel changes; null when there is none.
    const TCall* SetCaller(const std::wstring& channel, const TCaller& caller);
    // The calls still in progress, ended as interrupted, oldest first; none remain.
    std::vector<TCall> InterruptAll(int64_t now);
    const TCall* Find(const std::wstring& channel) const;
    size_t CallsInProgress() const { return calls_.size(); }

private:
    std::vector<TCall>::iterator FindCall(const std::wstring& channel);
    const TCall* Finish(std::vector<TCall>::iterator call, TCallOutcome outcome, int64_t now);

    std::vector<TCall> calls_;
    // The last call ended, kept until the next step so that its listeners can read it.
    TCall ended_;
    int64_t nextId_ = 1;
};
