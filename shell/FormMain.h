#pragma once
#include "CallerLookup.h"
#include "CheckListView.h"
#include "DirectoryClient.h"
#include "DirectoryServer.h"
#include "KordavinClient.h"
#include "MainFormSettings.h"
#include "RecorderDispatch.h"
#include "SettingsStore.h"
#include "TrayIcon.h"
#include "TrayMsgWins.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The main controller: the (hidden) settings window, the tray icon, the link to
// the recording server and the timers that drive it. Lives as long as the process.
class TMainForm final : public TMainFormSettings, private IRecorderHost {
public:
    explicit TMainForm(HINSTANCE instance);
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Creates the window hidden; FormCreate runs inside. False if it could not be created.
    bool Create();
    HWND Handle() const { return FHandle; }

    void ConnectToServer();
    void DisconnectFromServer() override;
    void RefreshChannelList() override;
    void SyncDirectories();
    void TraceEvent(const std::wstring& Name) override;
    bool GetNameRegionCommentByPhone(const std::wstring& Phone, std::wstring& Name, std::wstring& Region,
                                     std::wstring& Comment) override;
    bool GetNameRegionCommentByPhoneLocal(const std::wstring& Phone, std::wstring& Name, std::wstring& Region,
                                          std::wstring& Comment);
    bool CheckDB();
    // Safe from any thread: the contact editor's save threads call it.
    void AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                    const std::wstring& AbonentComment);

    bool Connected() const { return FKordavin.has_value(); }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(UINT id, UINT code);
    void OnTrayNotify(UINT event);
    void ShowTrayMenu();

    void FormCreate();
    void FormDestroy();
    void FormClose();
    void cbActiveClick();
    void TimerInitTimer();
    void TimerMsgTimer();
    void ApplicationEventsMinimize();
    void pmnuOptionsClick();
    void pmnuExitClick();
    void btnAboutClick();
    void btnSelectServerClick();

    void ShowParams();
    // Stops the directory server and starts it again when this PC serves the
    // directories; the client follows the applied address and port here too.
    void RestartDBServer();
    void UpdatePathControls();
    void ShowGeneralError(const std::wstring& text);
    void LoadParams();
    void OpenContactEditor(const TTMWContactData& data);
    void LayoutWindow();
    void SetTimerEnabled(UINT_PTR id, UINT interval, bool enabled);
    HWND Item(int id) const { return ::GetDlgItem(FHandle, id); }

    // What the event dispatch reaches of the window.
    IRecorderSdk* Kordavin() override { return FKordavin ? &*FKordavin : nullptr; }
    void SetStatusText(const std::wstring& Text) override;
    void ShowNoConnectionBalloon() override;
    std::vector<std::wstring> ChannelListItems() override { return clbChannels.Texts(); }
    void SetChannelListItemText(int Index, const std::wstring& Text) override { clbChannels.SetText(Index, Text); }
    TTrayMsgWinCollection& TrayMsgWinItems() override { return FTrayMsgWins->Items(); }
    TRecorderSettings& RecorderSettings() override { return *this; }

    HINSTANCE FInstance;
    HWND FHandle = nullptr;
    HWND FStatusBar = nullptr;
    std::wstring FCaption;
    std::unique_ptr<TTrayIcon> TrayIcon;
    CheckListView clbChannels;
    bool FDestroyed = false;
    bool FErrorBoxOpen = false;
    // The last directory error reported by the reconnection timer.
    std::wstring FLastDirectoryError;
    TSettingsLocation FSettingsLocation;

    std::optional<KordavinClient> FKordavin;
    std::unique_ptr<TTrayMsgWins> FTrayMsgWins;
    std::unique_ptr<TTQRDataModule> FAreaList;
    std::unique_ptr<TPQRDataModule> FAbonentList;
    // Lookups and saves from every thread go through here.
    std::unique_ptr<TCallerLookup> FCallerLookup;
    // The directory client with its lock FCS; the remote branch of the lookup.
    std::unique_ptr<TDirectoryClient> FDBClient;
    // The directory server, answering from this workstation's directories.
    std::unique_ptr<TCallerLookupBackend> FDBServerBackend;
    std::unique_ptr<TDirectoryServer> DBServerSocket;
};
