#pragma once
#include "CallEvent.h"
#include "CallPopups.h"
#include "CallTracker.h"
#include "LookupFailure.h"
#include "RecorderEvent.h"
#include "RecorderSdk.h"
#include "RecorderSettings.h"
#include "TrayMsgWinItems.h"

#include <functional>
#include <string>
#include <vector>

// The connection the event dispatch reads from. Everything is called on the
// main thread, from inside DispatchRecorderEvents.
class IRecorderHost {
public:
    // The connected SDK object (FKordavin), or null when not connected.
    virtual IRecorderSdk* Kordavin() = 0;
    // Releases the SDK object: Kordavin() returns null afterwards.
    virtual void DisconnectFromServer() = 0;
    virtual void RefreshChannelList() = 0;
    // The caller lookup: fills the name, region and comment of caller.Number.
    // False, with the reason in failure, when it could not look.
    virtual bool LookUpCaller(TCaller& caller, TLookupFailure& failure) = 0;

protected:
    ~IRecorderHost() = default;
};

// A server that never reports an empty queue must not freeze the program: after
// this many records the tick ends and the rest waits for the next one.
constexpr int kMaxRecorderEventsPerTick = 10000;

// Turns the server's records into the call-event stream: the popups say what is
// done with each record, the tracker keeps the calls in progress, and every
// listener hears every event in order. Main thread only.
class TRecorderDispatch {
public:
    using TClock = std::function<int64_t()>;
    using TTrace = std::function<void(const std::wstring& name)>;

    // The settings are read at every event; a rename of a monitored channel is
    // written back to their channel list.
    TRecorderDispatch(IRecorderHost& host, TRecorderSettings& settings, TTrayMsgWinCollection& popups,
                      TClock clock = CallTimeNow);
    TRecorderDispatch(const TRecorderDispatch&) = delete;
    TRecorderDispatch& operator=(const TRecorderDispatch&) = delete;

    void AddListener(ICallEventListener& listener);
    void RemoveListener(ICallEventListener& listener);
    // Where the names of known records go; the debugger output unless replaced.
    void SetTrace(TTrace trace) { FTrace = std::move(trace); }

    // One tick of the event polling timer: reads and handles records while
    // connected until the queue is empty. Any error on the way is a lost
    // connection. Never throws. A call made while a dispatch is running on this
    // thread does nothing.
    void DispatchRecorderEvents() noexcept;
    // The connection is gone or the program ends: the calls in progress end as
    // interrupted. Never throws.
    void InterruptCalls() noexcept;
    // A name source's later answer for the call in progress on a channel: the
    // call, its popup and the listeners take the caller. False when no call is there.
    bool SetCaller(const std::wstring& channel, const TCaller& caller);
    const TCallTracker& Calls() const { return FCalls; }

private:
    bool HandleRecord(const TRecorderEvent& record);
    TEventHandling HandleCallRecord(TCallEvent& event);
    void LoseConnection() noexcept;
    void Tell(const TCallEvent& event) noexcept;

    IRecorderHost& FHost;
    TRecorderSettings& FSettings;
    TCallPopups FPopups;
    TClock FClock;
    TTrace FTrace;
    TCallTracker FCalls;
    std::vector<ICallEventListener*> FListeners;
};
