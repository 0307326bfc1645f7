#pragma once
#include "CallEvent.h"
#include "CrmNamesResult.h"
#include "RecorderEvent.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One remembered event. Channel and number are copied into fixed arrays, so
// that recording allocates nothing; texts are made only when they are shown.
struct TEventRecord {
    static constexpr size_t kTextUnits = RecorderEventLayout::TextUnits;

    FILETIME Time{};  // UTC
    int32_t Code = 0;
    TEventOutcome Outcome = TEventOutcome::UnknownCode;
    bool NumberWithheld = false;
    TLookupFailureKind LookupFailure = TLookupFailureKind::None;
    // Set for the program's own record of a CRM name lookup that failed.
    TCrmNamesError CrmNamesError = TCrmNamesError::None;
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

// The last kCapacity recorder events and the state of the recorder connection;
// it hears every record of the call-event stream. Written and read on the main
// thread only, so it takes no lock.
class TEventDiagnostics final : public ICallEventListener {
public:
    static constexpr size_t kCapacity = 500;

    TEventDiagnostics();

    void Record(const TRecorderEvent& event, const TEventHandling& handling) {
        Record(event.Code, event.Channel, event.Text, handling);
    }
    void Record(int32_t code, const std::wstring& channel, const std::wstring& text, const TEventHandling& handling);
    // A CRM name lookup for the call on a channel gave no answer, and why.
    void RecordCrmNamesFailure(const std::wstring& channel, const std::wstring& number, TCrmNamesError error,
                                 const std::wstring& detail);
    // Records the server's records; the program's own events are no records.
    void OnCallEvent(const TCallEvent& event) override;
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
