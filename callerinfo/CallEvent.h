#pragma once
#include "Caller.h"
#include "LookupFailure.h"

#include <cstdint>
#include <optional>
#include <string>

// The call-event stream: one value for every record the recording server sends
// and for the program's own call events, told in order to every listener.

// What was done with a recorder event: the answer to "why no popup?".
enum class TEventOutcome : uint8_t {
    PopupShown,
    PopupUpdated,
    // A ring on a channel whose popup is already there.
    PopupAlreadyOpen,
    // The user closed the channel's popup window: it stays hidden until the call ends.
    PopupHiddenByUser,
    PopupClosed,
    // A close, answer or rename for a channel without a popup.
    NoPopup,
    NotMonitored,
    // Dropped by the "caller ID only" setting: a ring, or a caller-ID event without a number.
    CallerIdOnly,
    // Dropped by the "caller ID only" setting: the number is withheld (O or P).
    Withheld,
    ChannelListRefreshed,
    ChannelRenamed,
    ConnectionClosed,
    // An error while reading or handling: the connection was dropped.
    HandlingFailed,
    UnknownCode,
};

struct TEventHandling {
    TEventHandling(TEventOutcome outcome = TEventOutcome::UnknownCode, bool numberWithheld = false)
        : Outcome(outcome), NumberWithheld(numberWithheld) {}

    TEventOutcome Outcome;
    // The number begins with a withheld marker, so it is not offered for copying.
    bool NumberWithheld;
    // Set when the caller lookup failed.
    TLookupFailure Lookup;
    // HandlingFailed: the error's text.
    std::wstring Error;
};

// How a call ended. The values are what the journal file stores.
enum class TCallOutcome : int {
    Answered = 0,
    Missed = 1,
    NoConversation = 2,  // the call ended without being answered or reported missed
    Interrupted = 3,     // the program ended or lost the server during the call
};

// A call on a monitored channel, from its first ring or caller ID to its end.
// Times are milliseconds since 1970-01-01 UTC.
struct TCall {
    // Unique within the program's run; tells one call on a channel from the next.
    int64_t Id = 0;
    // As the recorder names the channel now.
    std::wstring Channel;
    int64_t StartTime = 0;
    std::optional<int64_t> ConversationStart;
    // Empty until a caller ID was looked up, and again when the number is withheld.
    TCaller Caller;
    // Set once the call has ended.
    std::optional<TCallOutcome> Outcome;
    int64_t EndTime = 0;

    bool Ended() const { return Outcome.has_value(); }
};

enum class TCallEventKind : uint8_t {
    // Records of the recording server.
    Ring,
    CallerId,
    ConversationBegin,
    ConversationEnd,
    Missed,
    Renamed,
    // Any other record (a device online, the server ending the connection, an
    // unknown code), and a record that could not be read or handled.
    Other,
    // The program's own: a name source gave the caller of a call in progress anew.
    CallerChanged,
    // The program's own: the call ends with the connection or the program.
    Interrupted,
    // The program's own: the connection is gone, popups closed, calls interrupted.
    ConnectionLost,
};

// Whether the event is a record the server sent (or the failure to read one).
inline bool IsRecorderRecord(TCallEventKind kind) { return kind <= TCallEventKind::Other; }

struct TCallEvent {
    TCallEventKind Kind = TCallEventKind::Other;
    // The server's event code; 0 for the program's own events and for a failure while reading.
    int32_t Code = 0;
    // As the server named it; a rename: the old name.
    std::wstring Channel;
    // A caller ID: the number as presented; a rename: the new name.
    std::wstring Text;
    // The channel is one of the watched ones.
    bool Monitored = false;
    // What was done with it (for records of the server).
    TEventHandling Handling;
    // A caller ID: what the lookup found, when it looked; CallerChanged: the new caller.
    std::optional<TCaller> Caller;
    // The call the event belongs to, as it stands after the event; null when none.
    const TCall* Call = nullptr;
};

// Hears every event of the stream, in order, on the thread that reads the
// server. A listener's error is dropped: it costs neither a popup nor the
// connection nor the other listeners.
class ICallEventListener {
public:
    virtual void OnCallEvent(const TCallEvent& event) = 0;

protected:
    ~ICallEventListener() = default;
};
