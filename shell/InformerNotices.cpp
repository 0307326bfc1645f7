#include "InformerNotices.h"

#include "SqlDirectoryTexts.h"
#include "CallJournalForm.h"
#include "CallJournalRes.h"
#include "ConnectionTexts.h"
#include "DiagnosticsText.h"
#include "JournalTray.h"
#include "MainFormRes.h"
#include "QuietTimeText.h"
#include "ResourceText.h"
#include "SaveFailureText.h"
#include "SqlDirectoryTexts.h"
#include "resource.h"

#include <commctrl.h>

#include <utility>

TInformerNotices::TInformerNotices(HWND window, std::wstring caption, ISettingsChannels& channels)
    : FWindow(window), FCaption(std::move(caption)), FChannels(channels) {}

void TInformerNotices::ShowTray(UINT id, UINT callbackMessage, HICON appIcon) {
    FTray = std::make_unique<TTrayPresence>(FWindow, id, callbackMessage, appIcon, FCaption);
}

void TInformerNotices::ShowError(const std::wstring& text) {
    if (FErrorBoxOpen) return;
    FErrorBoxOpen = true;
    ::MessageBoxW(FWindow, text.c_str(), FCaption.c_str(), MB_OK | MB_ICONERROR);
    FErrorBoxOpen = false;
}

void TInformerNotices::ShowSaveError(const std::wstring& text) {
    // The editor is gone and the window is usually hidden, so the box comes forward.
    ::MessageBoxW(FWindowGone ? nullptr : FWindow, text.c_str(), FCaption.c_str(),
                  MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void TInformerNotices::SaveFailed(const TSaveFailure& failure) { ShowSaveError(SaveFailureText(failure)); }

void TInformerNotices::SaveNotFinished(const std::wstring& phone) { ShowSaveError(UnfinishedSaveText(phone)); }

void TInformerNotices::JournalFailed(const std::wstring& text) {
    ShowError(FormatResourceString(IDS_JOURNAL_FAILED, text));
}

void TInformerNotices::SetStatusText(const std::wstring& text) {
    ::SendMessageW(FStatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TInformerNotices::ShowConnection(TConnectionState state, const TConnectionError& reason) {
    switch (state) {
    case TConnectionState::Connected:
        SetStatusText(LoadResourceString(IDS_STATUS_CONNECTED));
        // A shell that restarts from now on needs no "not connected" balloon.
        if (FTray) FTray->Icon().ForgetBalloon();
        break;
    case TConnectionState::Reconnecting:
        SetStatusText(reason.What == TConnectionError::Kind::ConnectFailed ? reason.Text
                                                                           : LoadResourceString(IDS_STATUS_LOST));
        break;
    case TConnectionState::Off:
        SetStatusText(LoadResourceString(IDS_STATUS_OFF));
        break;
    }
    if (FTray) FTray->SetConnection(state, ConnectionErrorText(reason));
    UpdateTrayHint();
}

void TInformerNotices::ShowServerChannels(const std::vector<std::wstring>& channels) {
    FChannels.ShowServerChannels(channels);
}

void TInformerNotices::OnCallEvent(const TCallEvent& event) {
    switch (event.Kind) {
    case TCallEventKind::Renamed: FChannels.ChannelRenamed(event.Channel, event.Text); break;
    case TCallEventKind::ConnectionLost:
        // The controller tells the state (and the status text) right after.
        ShowNoConnectionBalloon();
        break;
    default: break;
    }
}

void TInformerNotices::CallRecorded(const TCallRecord& record) {
    TCallJournalForm* journal = TCallJournalForm::Current();
    // No balloon without the tray: at the program's end the tray and the popups are gone first.
    const bool trayUp = FTray && FController;
    const TRecordedCallScene scene{journal != nullptr, trayUp && FController->Settings().FMissedCallBalloon,
                                   trayUp && FController->Popups().AnyShown(), FErrorBoxOpen, QuietNow()};
    switch (RecordedCallNotice(record, scene)) {
    case TRecordedCallNotice::ToJournal:
        journal->AddRecord(record);
        if (FController) FController->Journal().MarkViewed();
        break;
    case TRecordedCallNotice::Balloon:
        FTray->Icon().ShowNotice(LoadResourceString(IDS_JOURNAL_BALLOON_TITLE), MissedCallBalloonText(record));
        break;
    case TRecordedCallNotice::None: break;
    }
    UpdateTrayHint();
}

void TInformerNotices::UpdateTrayHint() {
    if (!FTray || !FController) return;
    const TQuietState quiet = FController->Quiet().State();
    FTray->SetOperator(quiet, QuietHintText(quiet, FController->Quiet().Now()),
                       FController->Journal().MissedSinceViewed());
    FTray->SetSqlDirectory(SqlTrayText(FController->SqlDirectoryStatus()));
}

void TInformerNotices::ShowNoConnectionBalloon() {
    if (FTray && !QuietNow()) FTray->Icon().ShowBalloon(FCaption, LoadResourceString(IDS_NO_CONNECTION));
}

bool TInformerNotices::QuietNow() const { return FController && FController->Quiet().State().Quiet(); }
