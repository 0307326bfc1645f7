#pragma once
#include "EventDiagnostics.h"
#include "LookupFailure.h"
#include "RecorderEvent.h"
#include "RecorderSdk.h"
#include "RecorderSettings.h"
#include "TrayMsgWinItems.h"

#include <string>
#include <vector>

// What a caller-ID event showed: the canonical number and what the lookup found.
struct TCallerShown {
    std::wstring Number;
    std::wstring Name;
    std::wstring Region;
};

// What the event dispatch needs from the main controller. Everything is called
// on the main thread, from inside DispatchRecorderEvents.
class IRecorderHost {
public:
    // The connected SDK object (FKordavin), or null when not connected.
    virtual IRecorderSdk* Kordavin() = 0;
    // Releases the SDK object: Kordavin() returns null afterwards.
    virtual void DisconnectFromServer() = 0;
    virtual void RefreshChannelList() = 0;
    // Writes an event's symbolic name to the debugger output.
    virtual void TraceEvent(const std::wstring& Name) = 0;
    virtual bool GetNameRegionCommentByPhone(const std::wstring& Phone, std::wstring& Name, std::wstring& Region,
                                             std::wstring& Comment) = 0;
    virtual void SetStatusText(const std::wstring& Text) = 0;
    // The tray balloon "Нет соединения с сервером." with the warning icon.
    virtual void ShowNoConnectionBalloon() = 0;
    // The texts of the channel check list, in list order.
    virtual std::vector<std::wstring> ChannelListItems() = 0;
    // Replaces the text of one check list item; its check mark stays.
    virtual void SetChannelListItemText(int Index, const std::wstring& Text) = 0;
    // The popup manager's item collection.
    virtual TTrayMsgWinCollection& TrayMsgWinItems() = 0;
    virtual TRecorderSettings& RecorderSettings() = 0;
    // Why the last GetNameRegionCommentByPhone returned false.
    virtual TLookupFailure LastLookupFailure() { return {TLookupFailureKind::RemoteFailed, {}}; }
    // Told once per event read what was done with it (for the diagnostics window).
    virtual void RecorderEventHandled(const TRecorderEvent&, const TEventHandling&) {}
    // Told after a call event (ring, caller ID, conversation begin and end, missed
    // call, rename) has been handled; monitored: the channel is one of the watched
    // ones. caller: what a caller-ID event looked up, or null. An error here is
    // dropped: it never costs a popup or the connection.
    virtual void CallEventHandled(const TRecorderEvent& /*event*/, bool /*monitored*/,
                                  const TCallerShown* /*caller*/) {}
    // Opens the CRM card of an answered call; at most once per call.
    virtual void OpenCrmCard(const TCrmCallData& Call) = 0;

protected:
    ~IRecorderHost() = default;
};

// A server that never reports an empty queue must not freeze the program: after
// this many records the tick ends and the rest waits for the next one.
constexpr int kMaxRecorderEventsPerTick = 10000;

// One tick of the event polling timer: reads and handles events while connected
// until the queue is empty. Any error on the way is a lost connection. Never throws.
// A call made while a dispatch is running on this thread does nothing.
void DispatchRecorderEvents(IRecorderHost& host) noexcept;
