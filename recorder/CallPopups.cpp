#include "CallPopups.h"

namespace {

namespace PopupTexts {
constexpr wchar_t RingTitle[] = L"ВЫЗОВ";
constexpr wchar_t CallerIdTitle[] = L"АОН";
constexpr wchar_t ConversationTitle[] = L"РАЗГОВОР";
constexpr wchar_t NoNumberInfo[] = L"Нет информации о номере.";
}  // namespace PopupTexts

wchar_t FirstUnit(const std::wstring& text) { return text.empty() ? L'\0' : text.front(); }

// Caller-ID markers: O for a number out of area, P for a private one.
bool IsWithheldMarker(wchar_t unit) { return unit == L'O' || unit == L'P'; }
bool IsNoCallerId(wchar_t unit) { return unit == L'\0' || IsWithheldMarker(unit); }

// A popup the user has closed stays in the collection, invisible, until the call ends.
TEventOutcome ExistingPopupOutcome(const TTrayMsgWinItem& item, TEventOutcome visible) {
    return item.Visible() ? visible : TEventOutcome::PopupHiddenByUser;
}

}  // namespace

bool TCallPopups::WantsCaller(const TCallEvent& event) const {
    if (event.Kind != TCallEventKind::CallerId) return false;
    if (FSettings.FCallerIDOnly && IsNoCallerId(FirstUnit(event.Text))) return false;
    return FItems.FindItemWinID(event.Channel) || event.Monitored;
}

TEventHandling TCallPopups::Show(const TCallEvent& event) {
    switch (event.Kind) {
    case TCallEventKind::Ring: return OnRing(event);
    case TCallEventKind::CallerId: return OnCallerId(event);
    case TCallEventKind::ConversationBegin: return OnConversationBegin(event);
    case TCallEventKind::ConversationEnd:
    case TCallEventKind::Missed: return Close(event.Channel);
    case TCallEventKind::Renamed:
        if (TTrayMsgWinItem* item = FItems.FindItemWinID(event.Channel)) item->SetWinID(event.Text);
        return {TEventOutcome::ChannelRenamed};
    case TCallEventKind::CallerChanged: OnCallerChanged(event); return {TEventOutcome::PopupUpdated};
    default: return {};
    }
}

TEventHandling TCallPopups::OnRing(const TCallEvent& event) {
    if (FSettings.FCallerIDOnly) return {TEventOutcome::CallerIdOnly};
    if (const TTrayMsgWinItem* existing = FItems.FindItemWinID(event.Channel))
        return {ExistingPopupOutcome(*existing, TEventOutcome::PopupAlreadyOpen)};
    if (!event.Monitored) return {TEventOutcome::NotMonitored};
    // One bracket, so the window opens once with its full content.
    TTrayMsgWinUpdateBracket bracket(FItems);
    TTrayMsgWinItem* item = FItems.Add();
    item->SetTitle(PopupTexts::RingTitle);
    item->SetSimpleText(std::wstring(L"\r\n") + PopupTexts::NoNumberInfo + L"\r\n" + event.Channel);
    item->SetWinID(event.Channel);
    item->SetVisible(true);
    return {TEventOutcome::PopupShown};
}

TEventHandling TCallPopups::OnCallerId(const TCallEvent& event) {
    const wchar_t first = FirstUnit(event.Text);
    TEventHandling handling{TEventOutcome::PopupShown, IsWithheldMarker(first)};
    if (FSettings.FCallerIDOnly && IsNoCallerId(first)) {
        handling.Outcome = handling.NumberWithheld ? TEventOutcome::Withheld : TEventOutcome::CallerIdOnly;
        return handling;
    }
    TTrayMsgWinItem* item = FItems.FindItemWinID(event.Channel);
    if (!item && !event.Monitored) {
        handling.Outcome = TEventOutcome::NotMonitored;
        return handling;
    }
    TTrayMsgWinUpdateBracket bracket(FItems);
    if (item) {
        handling.Outcome = ExistingPopupOutcome(*item, TEventOutcome::PopupUpdated);
    } else {
        item = FItems.Add();
        item->SetTitle(PopupTexts::CallerIdTitle);
        item->SetWinID(event.Channel);
        item->SetVisible(true);
    }
    if (!IsWithheldMarker(first)) item->SetClipboardText(event.Text);
    if (event.Caller) item->Caller = *event.Caller;
    item->UseRichText = true;
    return handling;
}

TEventHandling TCallPopups::OnConversationBegin(const TCallEvent& event) {
    TTrayMsgWinItem* item = FItems.FindItemWinID(event.Channel);
    if (!item) return {TEventOutcome::NoPopup};
    item->SetTitle(PopupTexts::ConversationTitle);
    if (!FSettings.FCloseTMWOnStart) return {TEventOutcome::PopupUpdated};
    item->Free();
    return {TEventOutcome::PopupClosed};
}

TEventHandling TCallPopups::Close(const std::wstring& channel) {
    TTrayMsgWinItem* item = FItems.FindItemWinID(channel);
    if (!item) return {TEventOutcome::NoPopup};
    item->Free();
    return {TEventOutcome::PopupClosed};
}

void TCallPopups::OnCallerChanged(const TCallEvent& event) {
    TTrayMsgWinItem* item = FItems.FindItemWinID(event.Channel);
    if (!item || !event.Caller || !item->UseRichText) return;
    item->Caller = *event.Caller;
    item->Changed(false);
}
