#pragma once
#include "CallJournal.h"
#include "CallerLookup.h"
#include "CheckListView.h"
#include "DirectoryClient.h"
#include "DirectoryServer.h"
#include "KordavinClient.h"
#include "MainFormRes.h"
#include "MainFormSettings.h"
#include "RecorderDispatch.h"
#include "SaveFailureQueue.h"
#include "SettingsStore.h"
#include "SingleInstance.h"
#include "TrayIcon.h"
#include "TrayMsgWins.h"
#include "UniqueHandle.h"
#include "WindowBase.h"

#include <windows.h>

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Posted to the main window when the connection test's thread has put its
// outcome in FDBTestResult.
constexpr UINT WM_DBTESTDONE = WM_APP + 2;


// The main controller: the (hidden) settings window, the tray icon, the link to
// the recording server and the timers that drive it. Lives as long as the process.
// The settings window's own methods are in SettingsWindow.cpp.
class TMainForm final : public TWindowBase, public TMainFormSettings, private IRecorderHost {
public:
    explicit TMainForm(HINSTANCE instance);
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Creates the window hidden; FormCreate runs inside. False if it could not be created.
    bool Create();
    using TWindowBase::Handle;

    void ConnectToServer();
    void DisconnectFromServer() override;
    void RefreshChannelList() override;
    void SyncDirectories();
    void TraceEvent(const std::wstring& Name) override;
    bool GetNameRegionCommentByPhone(const std::wstring& Phone, std::wstring& Name, std::wstring& Region,
                                     std::wstring& Comment) override;

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnError(const std::wstring& text) override { ShowGeneralError(text); }
    void OnCommand(UINT id, UINT code);
    void OnTrayNotify(const TTrayRequest& request);
    void ShowTrayMenu(POINT at);
    // A part of start-up failed: report it and leave the window to Create to destroy.
    void AbandonStartup(const std::wstring& error);

    void FormCreate();
    void FormDestroy();
    void FormClose();
    void cbActiveClick();
    void TimerInitTimer();
    void TimerMsgTimer();
    void ApplicationEventsMinimize();
    void pmnuOptionsClick();
    void pmnuDirectoryClick();
    void pmnuExitClick();
    void pmnuDiagnosticsClick();
    void btnAboutClick();
    void btnSelectServerClick();

    // The settings window (SettingsWindow.cpp).
    void InitSettingsControls();
    bool OnSettingsCommand(UINT id, UINT code);
    bool OnSettingsNotify(const NMHDR& header);
    void ShowParams();
    void ApplyParams();
    void UpdatePathControls();
    void TWMParamChange();
    void btnApplyClick();
    void btnOkClick();
    void btnCancelClick();
    void btnBrowseAreaPathClick() { BrowseFolderInto(IDC_LEAREAPATH, IDC_LEAREAPATH_LABEL); }
    void btnBrowseAbonentPathClick() { BrowseFolderInto(IDC_LEABONENTPATH, IDC_LEABONENTPATH_LABEL); }
    void SelectAddressButtonClick();
    void SetDefaultPortButtonClick();
    void UseRemoteDBCheckBoxClick();
    void DBTypeRadioGroupClick();
    void ShowCheckBoxClick(int checkBoxId);
    void BoldButtonClick(int buttonId);
    void ShowHidePreviewWindowButtonClick();
    void TestDBConnectionButtonClick();
    void OnDBTestDone();
    void BrowseFolderInto(int editId, int labelId);
    void SetBold(int buttonId, bool bold);
    void UpdateBoldFont();
    bool IsBold(int buttonId) const;
    void FillFontNames();
    // Stops the directory server and starts it again when this PC serves the
    // directories; the client follows the applied address and port here too.
    void RestartDBServer();
    void ShowGeneralError(const std::wstring& text);
    void LoadParams();
    void OpenContactEditor(const TTMWContactData& data);
    // Whether a CRM card can be opened: a mode other than "never" and an accepted template.
    bool CrmLinkOn() const;
    // Gives the popups "Открыть в CRM" exactly while the applied CRM settings are usable.
    void UpdateCrmLink();
    void btnOpenCrmClick(const TCrmCallData& call);
    // Failed saves, told by the save threads through FSaveFailures.
    void ShowSaveFailures();
    void ShowSaveError(const std::wstring& text);
    void LayoutWindow();
    void SetTimerEnabled(UINT_PTR id, UINT interval, bool enabled);
    HWND Item(int id) const { return ::GetDlgItem(FHandle, id); }
    std::wstring ItemText(int id) const;
    void SetItemText(int id, const std::wstring& text) { ::SetDlgItemTextW(FHandle, id, text.c_str()); }

    // What the event dispatch reaches of the window.
    IRecorderSdk* Kordavin() override { return FKordavin ? &*FKordavin : nullptr; }
    void SetStatusText(const std::wstring& Text) override;
    void ShowNoConnectionBalloon() override;
    std::vector<std::wstring> ChannelListItems() override { return clbChannels.Texts(); }
    void SetChannelListItemText(int Index, const std::wstring& Text) override { clbChannels.SetText(Index, Text); }
    TTrayMsgWinCollection& TrayMsgWinItems() override { return FTrayMsgWins->Items(); }
    TRecorderSettings& RecorderSettings() override { return *this; }
    TLookupFailure LastLookupFailure() override { return FLastLookupFailure; }
    void RecorderEventHandled(const TRecorderEvent& event, const TEventHandling& handling) override {
        FEventDiagnostics.Record(event, handling);
    }
    void CallEventHandled(const TRecorderEvent& event, bool monitored, const TCallerShown* caller) override;

    // The call journal and what the tray says of missed calls.
    void OpenCallJournal();
    void pmnuJournalClick();
    void OnCallRecorded(const TCallRecord& record);
    void UpdateTrayHint();
    void ShowJournalFailure();
    void OpenCrmCard(const TCrmCallData& Call) override;

    HINSTANCE FInstance;
    HWND FStatusBar = nullptr;
    std::wstring FCaption;
    std::unique_ptr<TTrayIcon> TrayIcon;
    CheckListView clbChannels;
    bool FFormDestroyed = false;
    bool FStartupFailed = false;
    bool FErrorBoxOpen = false;
    // True while ShowParams fills the controls: their change handlers leave
    // "Применить" alone. FChannelListLoading does the same while the server's
    // channel list replaces the items.
    bool FParamLoading = false;
    bool FChannelListLoading = false;
    TTrayMsgWinItem* PreviewItem = nullptr;
    // The "Ж" buttons: their caption font says whether the line is bold.
    UniqueGdiObject FBoldFont;
    std::array<bool, 4> FBold{};
    // "Тест соединения" runs on its own thread; FDBTestLock guards FDBTestResult.
    std::thread FDBTest;
    std::mutex FDBTestLock;
    std::optional<TDBTestOutcome> FDBTestResult;
    // The last directory error reported by the reconnection timer.
    std::wstring FLastDirectoryError;
    TSettingsLocation FSettingsLocation;

    std::optional<KordavinClient> FKordavin;
    // The last recorder events and the connection's state, for "Диагностика".
    TEventDiagnostics FEventDiagnostics;
    TLookupFailure FLastLookupFailure;
    std::unique_ptr<TTrayMsgWins> FTrayMsgWins;
    std::unique_ptr<TTQRDataModule> FAreaList;
    std::unique_ptr<TPQRDataModule> FAbonentList;
    // Lookups and saves from every thread go through here.
    std::unique_ptr<TCallerLookup> FCallerLookup;
    // Save threads put their failures here and post FSaveFailedMessage.
    std::shared_ptr<TSaveFailureQueue> FSaveFailures;
    UINT FSaveFailedMessage = 0;
    bool FShowingSaveFailures = false;
    // The directory client with its lock FCS; the remote branch of the lookup.
    std::unique_ptr<TDirectoryClient> FDBClient;
    // The directory server, answering from this workstation's directories.
    std::unique_ptr<TCallerLookupBackend> FDBServerBackend;
    std::unique_ptr<TDirectoryServer> DBServerSocket;
    // Every call of a monitored channel; its failure text waits in
    // FJournalFailure for FJournalFailedMessage, so that no box opens inside
    // the event dispatch.
    std::unique_ptr<TCallJournal> FCallJournal;
    UINT FJournalFailedMessage = 0;
    std::wstring FJournalFailure;
};
