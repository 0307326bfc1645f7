#pragma once
#include "LookupFailure.h"
#include "RecorderEvent.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the dispatch did with one recorder event: the answer to "why no popup?".
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

// What a handler reports for one event.
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

// One remembered event. Channel and number are copied into fixed arrays, so
// that recording allocates nothing; texts are made only when they are shown.
struct TEventRecord {
    static constexpr size_t kTextUnits = RecorderEventLayout::TextUnits;

    FILETIME Time{};  // UTC
    int32_t Code = 0;
    TEventOutcome Outcome = TEventOutcome::UnknownCode;
    bool NumberWithheld = false;
    TLookupFailureKind LookupFailure = TLookupFailureKind::None;
    std::array<wchar_t, kTextUnits + 1> Channel{};
    std::array<wchar_t, kTextUnits + 1> Number{};
    // Rare texts: the lookup failure's detail or the error of HandlingFailed.
    std::wstring Detail;
};

// Where the last connection attempt or the connection itself failed.
struct TConnectionError {
    enum class Kind : uint8_t { None, ConnectFailed, ClosedByServer, HandlingFailed };
    Kind What = Kind::None;
    FILETIME Time{};
    std::wstring Text;
};

// The last kCapacity recorder events and the state of the recorder connection.
// Written and read on the main thread only, so it takes no lock.
class TEventDiagnostics {
public:
    static constexpr size_t kCapacity = 500;

    TEventDiagnostics();

    void Record(const TRecorderEvent& event, const TEventHandling& handling);
    // Oldest first: index 0 is the oldest event still held.
    size_t Count() const { return FCount; }
    const TEventRecord& At(size_t index) const;
    // Every event recorded so far, also those dropped from the ring: a change
    // tells a window that it has something new to show.
    uint64_t Total() const { return FTotal; }

    void SetConnected(bool connected, const std::wstring& server = {});
    void SetConnectionError(TConnectionError::Kind what, const std::wstring& text);
    bool Connected() const { return FConnected; }
    // The server's computer name; empty for this computer.
    const std::wstring& Server() const { return FServer; }
    const TConnectionError& LastConnectionError() const { return FLastError; }
    uint64_t ConnectionChanges() const { return FConnectionChanges; }

private:
    std::vector<TEventRecord> FRing;
    size_t FNext = 0;
    size_t FCount = 0;
    uint64_t FTotal = 0;
    bool FConnected = false;
    std::wstring FServer;
    TConnectionError FLastError;
    uint64_t FConnectionChanges = 0;
};
