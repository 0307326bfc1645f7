#include "RecorderDispatch.h"

#include "KordavinUtils.h"
#include "RecorderEvent.h"
#include "RecorderEventVariant.h"
#include "ExceptionText.h"
#include "TextCompare.h"

#include <optional>

namespace {

namespace RecorderTexts {
constexpr wchar_t RingTitle[] = L"ВЫЗОВ";
constexpr wchar_t CallerIdTitle[] = L"АОН";
constexpr wchar_t ConversationTitle[] = L"РАЗГОВОР";
constexpr wchar_t NoNumberInfo[] = L"Нет информации о номере.";
constexpr wchar_t ConnectionLost[] = L"Соединение прервано сервером.";
}  // namespace RecorderTexts

// The incoming-call kind of NormalizePhoneNumber.
constexpr int kIncomingCall = 1;

wchar_t FirstUnit(const std::wstring& text) { return text.empty() ? L'\0' : text.front(); }

// Caller-ID markers: O for a number out of area, P for a private one.
bool IsWithheldMarker(wchar_t unit) { return unit == L'O' || unit == L'P'; }
bool IsNoCallerId(wchar_t unit) { return unit == L'\0' || IsWithheldMarker(unit); }

// Position of the first entry equal to name ignoring letter case, or -1.
int IndexOfIgnoringCase(const std::vector<std::wstring>& list, const std::wstring& name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (SameTextIgnoringCase(list[i], name)) return static_cast<int>(i);
    return -1;
}

bool IsMonitored(const TRecorderSettings& settings, const std::wstring& channel) {
    return settings.FChannels.empty() || IndexOfIgnoringCase(settings.FChannels, channel) >= 0;
}

// A popup the user has closed stays in the collection, invisible, until the call ends.
TEventOutcome ExistingPopupOutcome(const TTrayMsgWinItem& item, TEventOutcome visible) {
    return item.Visible() ? visible : TEventOutcome::PopupHiddenByUser;
}

TEventHandling OnRing(IRecorderHost& host, const TRecorderEvent& event) {
    const TRecorderSettings& settings = host.RecorderSettings();
    TTrayMsgWinCollection& items = host.TrayMsgWinItems();
    if (settings.FCallerIDOnly) return {TEventOutcome::CallerIdOnly};
    if (const TTrayMsgWinItem* existing = items.FindItemWinID(event.Channel))
        return {ExistingPopupOutcome(*existing, TEventOutcome::PopupAlreadyOpen)};
    if (!IsMonitored(settings, event.Channel)) return {TEventOutcome::NotMonitored};
    // One bracket, so the window opens once with its full content.
    TTrayMsgWinUpdateBracket bracket(items);
    TTrayMsgWinItem* item = items.Add();
    item->SetTitle(RecorderTexts::RingTitle);
    item->SetSimpleText(std::wstring(L"\r\n") + RecorderTexts::NoNumberInfo + L"\r\n" + event.Channel);
    item->SetWinID(event.Channel);
    item->SetVisible(true);
    return {TEventOutcome::PopupShown};
}

// caller: what was looked up; left empty when the event was dropped.
TEventHandling OnCallerId(IRecorderHost& host, const TRecorderEvent& event, std::optional<TCallerShown>& caller) {
    const TRecorderSettings& settings = host.RecorderSettings();
    TTrayMsgWinCollection& items = host.TrayMsgWinItems();
    const wchar_t first = FirstUnit(event.Text);
    TEventHandling handling{TEventOutcome::PopupShown, IsWithheldMarker(first)};
    if (settings.FCallerIDOnly && IsNoCallerId(first)) {
        handling.Outcome = handling.NumberWithheld ? TEventOutcome::Withheld : TEventOutcome::CallerIdOnly;
        return handling;
    }
    TTrayMsgWinItem* item = items.FindItemWinID(event.Channel);
    TTrayMsgWinUpdateBracket bracket(items);
    if (item) {
        handling.Outcome = ExistingPopupOutcome(*item, TEventOutcome::PopupUpdated);
    } else {
        if (!IsMonitored(settings, event.Channel)) {
            handling.Outcome = TEventOutcome::NotMonitored;
            return handling;
        }
        item = items.Add();
        item->SetTitle(RecorderTexts::CallerIdTitle);
        item->SetWinID(event.Channel);
        item->SetVisible(true);
    }
    if (!IsWithheldMarker(first)) item->SetClipboardText(event.Text);
    const std::wstring number =
        NormalizePhoneNumber(event.Text, kIncomingCall, settings.FDefaultCountryCode, settings.FDefaultCityCode,
                             settings.FCityPrefixes, settings.FWorldPrefixes, settings.FCountryPrefixes,
                             settings.FUseCityPrefixForIncoming);
    const int32_t id = item->ID();
    std::wstring name, region, comment;
    if (!host.GetNameRegionCommentByPhone(number, name, region, comment)) handling.Lookup = host.LastLookupFailure();
    // The lookup is the host's code and may reach a remote directory; find the
    // item again by its ID rather than trust a pointer held across it.
    caller = TCallerShown{number, name, region};
    item = items.FindItemID(id);
    if (!item) return handling;
    item->IntPhoneNumber = number;
    item->AbonentName = name;
    item->AbonentComment = comment;
    item->Region = region;
    item->UseRichText = true;
    return handling;
}

TEventHandling FreeChannelItem(IRecorderHost& host, const std::wstring& channel) {
    TTrayMsgWinItem* item = host.TrayMsgWinItems().FindItemWinID(channel);
    if (!item) return {TEventOutcome::NoPopup};
    item->Free();
    return {TEventOutcome::PopupClosed};
}

// The CRM card of an answered call, when it opens on answering; the item
// remembers it, so a repeated conversation start opens no second one.
bool OpensCrmOnAnswer(const TRecorderSettings& settings, const TTrayMsgWinItem& item) {
    return !item.CrmOpened && EffectiveCrmOpenMode(settings.FCrmOpenMode) == comOnAnswer &&
           CheckCrmTemplate(settings.FCrmUrlTemplate).Check == TCrmTemplateCheck::Accepted &&
           HasCallNumber(item.IntPhoneNumber);
}

TEventHandling OnConversationBegin(IRecorderHost& host, const TRecorderEvent& event) {
    TTrayMsgWinCollection& items = host.TrayMsgWinItems();
    TTrayMsgWinItem* item = items.FindItemWinID(event.Channel);
    if (!item) return {TEventOutcome::NoPopup};
    item->SetTitle(RecorderTexts::ConversationTitle);
    if (OpensCrmOnAnswer(host.RecorderSettings(), *item)) {
        item->CrmOpened = true;
        const int32_t id = item->ID();
        host.OpenCrmCard({item->IntPhoneNumber, item->AbonentName, item->WinID()});
        // The host's code ran: find the item again rather than trust the pointer.
        item = items.FindItemID(id);
        if (!item) return {TEventOutcome::PopupClosed};
    }
    if (!host.RecorderSettings().FCloseTMWOnStart) return {TEventOutcome::PopupUpdated};
    item->Free();
    return {TEventOutcome::PopupClosed};
}

TEventHandling OnChannelRenamed(IRecorderHost& host, const TRecorderEvent& event) {
    const std::wstring& oldName = event.Channel;
    const std::wstring& newName = event.Text;
    std::vector<std::wstring>& channels = host.RecorderSettings().FChannels;
    const int monitored = IndexOfIgnoringCase(channels, oldName);
    if (monitored >= 0) channels[static_cast<size_t>(monitored)] = newName;
    const int listed = IndexOfIgnoringCase(host.ChannelListItems(), oldName);
    if (listed >= 0) host.SetChannelListItemText(listed, newName);
    if (TTrayMsgWinItem* item = host.TrayMsgWinItems().FindItemWinID(oldName)) item->SetWinID(newName);
    return {TEventOutcome::ChannelRenamed};
}

bool IsCallEvent(int32_t code) {
    switch (code) {
    case KDV_MSG_RING:
    case KDV_MSG_ANI_DETECT:
    case KDV_MSG_MISSED_PHONE:
    case KDV_MSG_CONVERSATION_BEGIN:
    case KDV_MSG_CONVERSATION_END:
    case KDV_MSG_CHANGE_CHANNEL_NAME: return true;
    default: return false;
    }
}

template <typename Step>
void RunStep(Step step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

// Drops the connection: releases the SDK object, closes every popup, shows the
// status text and the balloon. Each step runs even when an earlier one fails.
void LoseRecorderConnection(IRecorderHost& host) noexcept {
    RunStep([&] { host.DisconnectFromServer(); });
    RunStep([&] { host.TrayMsgWinItems().Clear(); });
    RunStep([&] { host.SetStatusText(RecorderTexts::ConnectionLost); });
    RunStep([&] { host.ShowNoConnectionBalloon(); });
}

TEventHandling HandleKnownEvent(IRecorderHost& host, const TRecorderEvent& event,
                                std::optional<TCallerShown>& caller) {
    switch (event.Code) {
    case KDV_MSG_RING: return OnRing(host, event);
    case KDV_MSG_ANI_DETECT: return OnCallerId(host, event, caller);
    case KDV_MSG_MISSED_PHONE:
    case KDV_MSG_CONVERSATION_END: return FreeChannelItem(host, event.Channel);
    case KDV_MSG_CONVERSATION_BEGIN: return OnConversationBegin(host, event);
    case KDV_MSG_DEVICE_CONNECTED: host.RefreshChannelList(); return {TEventOutcome::ChannelListRefreshed};
    case KDV_MSG_CHANGE_CHANNEL_NAME: return OnChannelRenamed(host, event);
    case KDV_MSG_DESTROY_CONNECTION: LoseRecorderConnection(host); return {TEventOutcome::ConnectionClosed};
    default: return {TEventOutcome::UnknownCode};
    }
}

// Handles one record. Returns false when the connection has ended and no further
// record may be read.
bool HandleRecorderEvent(IRecorderHost& host, const TRecorderEvent& event) {
    const std::wstring_view name = RecorderEventName(event.Code);
    if (!name.empty()) host.TraceEvent(std::wstring(name));
    std::optional<TCallerShown> caller;
    const TEventHandling handling = name.empty() ? TEventHandling{} : HandleKnownEvent(host, event, caller);
    host.RecorderEventHandled(event, handling);
    if (IsCallEvent(event.Code))
        RunStep([&] {
            host.CallEventHandled(event, IsMonitored(host.RecorderSettings(), event.Channel),
                                  caller ? &*caller : nullptr);
        });
    return handling.Outcome != TEventOutcome::ConnectionClosed;
}

}  // namespace

void DispatchRecorderEvents(IRecorderHost& host) noexcept {
    // A modal loop inside the dispatch (an error box, a remote lookup's wait) lets
    // the polling timer fire again; that tick must not handle events inside the
    // running one's update bracket. Events wait for the next tick instead.
    static thread_local bool running = false;
    if (running) return;
    running = true;
    struct Finish {
        ~Finish() { running = false; }
    } finish;
    // The event being handled, kept for the diagnostics of an error; code 0 while reading.
    TRecorderEvent event;
    try {
        for (int read = 0; read < kMaxRecorderEventsPerTick; ++read) {
            IRecorderSdk* sdk = host.Kordavin();
            if (!sdk) return;
            ComVariant message;
            event = {};
            if (sdk->ReadMessage(message) != 0) return;
            event = ReadRecorderEvent(*message.get());
            if (!HandleRecorderEvent(host, event)) return;
        }
    } catch (...) {
        // Whatever went wrong, the connection can no longer be trusted.
        const std::exception_ptr error = std::current_exception();
        RunStep([&] {
            TEventHandling failed(TEventOutcome::HandlingFailed);
            failed.Error = GetExceptionText(error);
            host.RecorderEventHandled(event, failed);
        });
        LoseRecorderConnection(host);
    }
}
