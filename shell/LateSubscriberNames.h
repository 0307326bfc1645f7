#pragma once
#include "CallEvent.h"
#include "CallJournal.h"
#include "CallerLookup.h"
#include "LateCallerName.h"
#include "RecorderDispatch.h"

#include <memory>
#include <string>
#include <unordered_map>

// Subscribers' names that another workstation's lock kept from a popup, as a
// listener of the call-event stream. A caller ID whose lookup gave up on the
// locked subscriber table (its region shown all the same) is tried again now
// and then, one try that never waits, for a bounded time; a name found then
// reaches the call as a late CRM name does (the popup, or the journal once the
// call has ended). No thread of its own: the tries run on the main thread
// from a timer and cost no more than one look at the table each.
// Main thread only.
class TLateSubscriberNames final : public ICallEventListener {
public:
    static constexpr unsigned kRetryEveryMs = 500;
    static constexpr unsigned kRetryForMs = 60000;
    // Calls waiting at once; more give up at once, as before.
    static constexpr size_t kMaxWaitingCalls = 64;

    TLateSubscriberNames(TCallerLookup& lookup, TRecorderDispatch& dispatch, TCallJournal& journal);
    ~TLateSubscriberNames();
    TLateSubscriberNames(const TLateSubscriberNames&) = delete;
    TLateSubscriberNames& operator=(const TLateSubscriberNames&) = delete;

    void OnCallEvent(const TCallEvent& event) override;
    // One round of tries (what the timer does).
    void RetryNow();
    // No try after this; at once.
    void Shutdown();

    size_t WaitingCalls() const { return FCalls.size(); }

private:
    class TTimerWindow;
    struct TWaitingCall {
        TLateNameTarget Target;
        std::wstring Number;
        ULONGLONG GiveUpAt = 0;
    };

    TCallerLookup& FLookup;
    TRecorderDispatch& FDispatch;
    TCallJournal& FJournal;
    // By call id.
    std::unordered_map<int64_t, TWaitingCall> FCalls;
    std::unique_ptr<TTimerWindow> FTimer;
    bool FShutDown = false;
};
