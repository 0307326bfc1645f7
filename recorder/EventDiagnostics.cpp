#include "EventDiagnostics.h"

#include <algorithm>
#include <stdexcept>

namespace {

// Copies at most the array's units less one and ends the text there.
template <size_t N>
void CopyText(std::array<wchar_t, N>& target, const std::wstring& text) {
    const size_t units = std::min(text.size(), N - 1);
    std::copy_n(text.data(), units, target.data());
    target[units] = L'\0';
}

FILETIME Now() {
    FILETIME time;
    ::GetSystemTimeAsFileTime(&time);
    return time;
}

}  // namespace

TEventDiagnostics::TEventDiagnostics() : FRing(kCapacity) {}

void TEventDiagnostics::Record(int32_t code, const std::wstring& channel, const std::wstring& text,
                               const TEventHandling& handling) {
    TEventRecord& record = FRing[FNext];
    record.Time = Now();
    record.Code = code;
    record.Outcome = handling.Outcome;
    record.NumberWithheld = handling.NumberWithheld;
    record.LookupFailure = handling.Lookup.Kind;
    record.CrmNamesError = TCrmNamesError::None;
    CopyText(record.Channel, channel);
    CopyText(record.Number, text);
    // Assigning an empty text keeps the slot's buffer: no allocation on the usual path.
    record.Detail.assign(handling.Outcome == TEventOutcome::HandlingFailed ? handling.Error : handling.Lookup.Detail);
    FNext = (FNext + 1) % kCapacity;
    FCount = std::min(FCount + 1, kCapacity);
    ++FTotal;
    if (handling.Outcome == TEventOutcome::ConnectionClosed)
        SetConnectionError(TConnectionError::Kind::ClosedByServer, {});
    else if (handling.Outcome == TEventOutcome::HandlingFailed)
        SetConnectionError(TConnectionError::Kind::HandlingFailed, handling.Error);
}

void TEventDiagnostics::RecordCrmNamesFailure(const std::wstring& channel, const std::wstring& number,
                                                TCrmNamesError error, const std::wstring& detail) {
    // The texts of such a record come from its error alone; the outcome only fills the slot.
    TEventHandling handling(TEventOutcome::PopupUpdated);
    handling.Lookup.Detail = detail;
    Record(0, channel, number, handling);
    FRing[(FNext + kCapacity - 1) % kCapacity].CrmNamesError = error;
}

void TEventDiagnostics::OnCallEvent(const TCallEvent& event) {
    if (IsRecorderRecord(event.Kind)) Record(event.Code, event.Channel, event.Text, event.Handling);
}

const TEventRecord& TEventDiagnostics::At(size_t index) const {
    if (index >= FCount) throw std::out_of_range("no such diagnostics record");
    return FRing.at((FNext + kCapacity - FCount + index) % kCapacity);
}

void TEventDiagnostics::SetConnected(bool connected, const std::wstring& server) {
    FConnected = connected;
    FServer = server;
    ++FConnectionChanges;
}

void TEventDiagnostics::SetConnectionError(TConnectionError::Kind what, const std::wstring& text) {
    FLastError = {what, Now(), text};
    if (what != TConnectionError::Kind::ConnectFailed) FConnected = false;
    ++FConnectionChanges;
}
