#pragma once
#include "CallEvent.h"
#include "RecorderSettings.h"
#include "TrayMsgWinItems.h"

// What the popups make of the call-event stream: one popup item per channel
// with a call to show, on the popup model alone (the popup manager turns the
// items into windows). Its answer to each event is what was done with it.
class TCallPopups {
public:
    TCallPopups(TTrayMsgWinCollection& items, const TRecorderSettings& settings)
        : FItems(items), FSettings(settings) {}

    // Whether a caller-ID event would be shown, so that its caller is worth a lookup.
    bool WantsCaller(const TCallEvent& event) const;
    // Brings the popups up to date with one event (a caller ID: with the caller
    // looked up). Returns what was done; an error passes to the caller.
    TEventHandling Show(const TCallEvent& event);
    // The connection is gone: every popup closes.
    void CloseAll() { FItems.Clear(); }

private:
    TEventHandling OnRing(const TCallEvent& event);
    TEventHandling OnCallerId(const TCallEvent& event);
    TEventHandling OnConversationBegin(const TCallEvent& event);
    TEventHandling Close(const std::wstring& channel);
    void OnCallerChanged(const TCallEvent& event);

    TTrayMsgWinCollection& FItems;
    const TRecorderSettings& FSettings;
};
