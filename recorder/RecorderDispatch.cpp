#include "RecorderDispatch.h"

#include "ExceptionText.h"
#include "KordavinUtils.h"
#include "RecorderEventVariant.h"

#include <windows.h>

#include <algorithm>

namespace {

TCallEventKind KindOf(int32_t code) {
    switch (code) {
    case KDV_MSG_RING: return TCallEventKind::Ring;
    case KDV_MSG_ANI_DETECT: return TCallEventKind::CallerId;
    case KDV_MSG_MISSED_PHONE: return TCallEventKind::Missed;
    case KDV_MSG_CONVERSATION_BEGIN: return TCallEventKind::ConversationBegin;
    case KDV_MSG_CONVERSATION_END: return TCallEventKind::ConversationEnd;
    case KDV_MSG_CHANGE_CHANNEL_NAME: return TCallEventKind::Renamed;
    default: return TCallEventKind::Other;
    }
}

template <typename Step>
void RunStep(Step step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

}  // namespace

TRecorderDispatch::TRecorderDispatch(IRecorderHost& host, TRecorderSettings& settings, TTrayMsgWinCollection& popups,
                                     TClock clock)
    : FHost(host), FSettings(settings), FPopups(popups, settings), FClock(std::move(clock)),
      FTrace([](const std::wstring& name) { ::OutputDebugStringW(name.c_str()); }) {}

void TRecorderDispatch::AddListener(ICallEventListener& listener) { FListeners.push_back(&listener); }

void TRecorderDispatch::RemoveListener(ICallEventListener& listener) {
    FListeners.erase(std::remove(FListeners.begin(), FListeners.end(), &listener), FListeners.end());
}

void TRecorderDispatch::Tell(const TCallEvent& event) noexcept {
    // By position: a listener may add or remove listeners while it is told.
    for (size_t i = 0; i < FListeners.size(); ++i) RunStep([&] { FListeners[i]->OnCallEvent(event); });
}

TEventHandling TRecorderDispatch::HandleCallRecord(TCallEvent& event) {
    TLookupFailure failure;
    if (event.Kind == TCallEventKind::Renamed) RenameChannel(FSettings.FChannels, event.Channel, event.Text);
    event.Monitored = IsMonitored(FSettings, event.Channel);
    if (FPopups.WantsCaller(event)) {
        TCaller caller;
        caller.Number = NormalizePhoneNumber(event.Text, kIncomingCallKind, FSettings);
        TLookupFailure reason;
        if (!FHost.LookUpCaller(caller, reason)) failure = reason;
        event.Caller = std::move(caller);
    }
    TEventHandling handling = FPopups.Show(event);
    handling.Lookup = failure;
    event.Call = FCalls.Step(event, FClock());
    return handling;
}

bool TRecorderDispatch::HandleRecord(const TRecorderEvent& record) {
    const std::wstring_view name = RecorderEventName(record.Code);
    if (!name.empty() && FTrace) FTrace(std::wstring(name));
    TCallEvent event;
    event.Kind = KindOf(record.Code);
    event.Code = record.Code;
    event.Channel = record.Channel;
    event.Text = record.Text;
    if (event.Kind != TCallEventKind::Other) {
        event.Handling = HandleCallRecord(event);
    } else if (record.Code == KDV_MSG_DEVICE_CONNECTED) {
        FHost.RefreshChannelList();
        event.Handling = {TEventOutcome::ChannelListRefreshed};
    } else if (record.Code == KDV_MSG_DESTROY_CONNECTION) {
        LoseConnection();
        event.Handling = {TEventOutcome::ConnectionClosed};
    }
    Tell(event);
    return event.Handling.Outcome != TEventOutcome::ConnectionClosed;
}

void TRecorderDispatch::LoseConnection() noexcept {
    // Each step runs even when an earlier one fails.
    RunStep([&] { FHost.DisconnectFromServer(); });
    RunStep([&] { FPopups.CloseAll(); });
    InterruptCalls();
    TCallEvent lost;
    lost.Kind = TCallEventKind::ConnectionLost;
    Tell(lost);
}

void TRecorderDispatch::InterruptCalls() noexcept {
    std::vector<TCall> ended;
    RunStep([&] { ended = FCalls.InterruptAll(FClock()); });
    for (const TCall& call : ended) {
        RunStep([&] {
            TCallEvent event;
            event.Kind = TCallEventKind::Interrupted;
            event.Channel = call.Channel;
            event.Monitored = true;
            event.Call = &call;
            Tell(event);
        });
    }
}

bool TRecorderDispatch::SetCaller(const std::wstring& channel, const TCaller& caller) {
    const TCall* call = FCalls.SetCaller(channel, caller);
    if (!call) return false;
    TCallEvent event;
    event.Kind = TCallEventKind::CallerChanged;
    event.Channel = call->Channel;
    event.Monitored = true;
    event.Caller = caller;
    event.Call = call;
    FPopups.Show(event);
    Tell(event);
    return true;
}

void TRecorderDispatch::DispatchRecorderEvents() noexcept {
    // A modal loop inside the dispatch (an error box, a remote lookup's wait) lets
    // the polling timer fire again; that tick must not handle events inside the
    // running one's update bracket. Events wait for the next tick instead.
    static thread_local bool running = false;
    if (running) return;
    running = true;
    struct Finish {
        ~Finish() { running = false; }
    } finish;
    // The record being handled, kept for the diagnostics of an error; code 0 while reading.
    TRecorderEvent record;
    try {
        for (int read = 0; read < kMaxRecorderEventsPerTick; ++read) {
            IRecorderSdk* sdk = FHost.Kordavin();
            if (!sdk) return;
            ComVariant message;
            record = {};
            if (sdk->ReadMessage(message) != 0) return;
            record = ReadRecorderEvent(*message.get());
            if (!HandleRecord(record)) return;
        }
    } catch (...) {
        // Whatever went wrong, the connection can no longer be trusted.
        const std::exception_ptr error = std::current_exception();
        RunStep([&] {
            TCallEvent failed;
            failed.Code = record.Code;
            failed.Channel = record.Channel;
            failed.Text = record.Text;
            failed.Handling = TEventHandling(TEventOutcome::HandlingFailed);
            failed.Handling.Error = GetExceptionText(error);
            Tell(failed);
        });
        LoseConnection();
    }
}
