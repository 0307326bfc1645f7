#include "CallTracker.h"

#include "TextCompare.h"

#include <windows.h>

#include <algorithm>

namespace {

// Caller-ID markers of a number that is not presented: none, O (out of area), P (private).
bool IsWithheld(const std::wstring& text) {
    return text.empty() || text.front() == L'\0' || text.front() == L'O' || text.front() == L'P';
}

}  // namespace

int64_t CallTimeNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const int64_t ticks = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - kUnixEpochAsFileTime) / 10000;
}

std::vector<TCall>::iterator TCallTracker::FindCall(const std::wstring& channel) {
    return std::find_if(calls_.begin(), calls_.end(),
                        [&](const TCall& call) { return SameTextIgnoringCase(call.Channel, channel); });
}

const TCall* TCallTracker::Find(const std::wstring& channel) const {
    const auto found = const_cast<TCallTracker*>(this)->FindCall(channel);
    return found == calls_.end() ? nullptr : &*found;
}

const TCall* TCallTracker::Finish(std::vector<TCall>::iterator call, TCallOutcome outcome, int64_t now) {
    ended_ = std::move(*call);
    calls_.erase(call);
    ended_.EndTime = std::max(now, ended_.StartTime);
    ended_.Outcome = outcome;
    return &ended_;
}

const TCall* TCallTracker::Step(const TCallEvent& event, int64_t now) {
    using Kind = TCallEventKind;
    auto found = FindCall(event.Channel);
    switch (event.Kind) {
    case Kind::Renamed:
        if (found == calls_.end()) return nullptr;
        found->Channel = event.Text;
        return &*found;
    case Kind::ConversationEnd:
    case Kind::Missed: {
        // An end without a known start (the program connected mid-call) is no call of ours.
        if (found == calls_.end()) return nullptr;
        const TCallOutcome outcome = found->ConversationStart ? TCallOutcome::Answered
                                     : event.Kind == Kind::Missed ? TCallOutcome::Missed
                                                                  : TCallOutcome::NoConversation;
        return Finish(found, outcome, now);
    }
    case Kind::Ring:
    case Kind::CallerId:
    case Kind::ConversationBegin: break;
    default: return nullptr;
    }
    if (found == calls_.end()) {
        if (!event.Monitored) return nullptr;
        TCall call;
        call.Id = nextId_++;
        call.StartTime = now;
        call.Channel = event.Channel;
        calls_.push_back(std::move(call));
        found = calls_.end() - 1;
    }
    if (event.Kind == Kind::CallerId) {
        if (IsWithheld(event.Text)) found->Caller = {};
        else if (event.Caller) found->Caller = *event.Caller;
    } else if (event.Kind == Kind::ConversationBegin && !found->ConversationStart) {
        found->ConversationStart = now;
    }
    return &*found;
}

const TCall* TCallTracker::SetCaller(const std::wstring& channel, const TCaller& caller) {
    auto found = FindCall(channel);
    if (found == calls_.end()) return nullptr;
    found->Caller = caller;
    return &*found;
}

std::vector<TCall> TCallTracker::InterruptAll(int64_t now) {
    std::vector<TCall> ended;
    for (TCall& call : calls_) {
        call.EndTime = std::max(now, call.StartTime);
        call.Outcome = TCallOutcome::Interrupted;
        ended.push_back(std::move(call));
    }
    calls_.clear();
    std::stable_sort(ended.begin(), ended.end(), [](const TCall& a, const TCall& b) { return a.StartTime < b.StartTime; });
    return ended;
}
