#pragma once
#include "CheckListView.h"
#include "KordavinClient.h"
#include "TrayIcon.h"
#include "TrayMsgWinItems.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The main controller: the (hidden) settings window, the tray icon, the link to
// the recording server and the timers that drive it. Lives as long as the process.
class TMainForm {
public:
    explicit TMainForm(HINSTANCE instance);
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Creates the window hidden; FormCreate runs inside. False if it could not be created.
    bool Create();
    HWND Handle() const { return FHandle; }

    void ConnectToServer();
    void DisconnectFromServer();
    void RefreshChannelList();
    void SyncDirectories();
    void TraceEvent(const std::wstring& Name);

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
    void UpdatePathControls();
    void SetStatusText(const std::wstring& text);
    void ShowNoConnectionBalloon();
    void ShowGeneralError(const std::wstring& text);
    void LayoutWindow();
    void SetTimerEnabled(UINT_PTR id, UINT interval, bool enabled);
    HWND Item(int id) const { return ::GetDlgItem(FHandle, id); }

    HINSTANCE FInstance;
    HWND FHandle = nullptr;
    HWND FStatusBar = nullptr;
    std::wstring FCaption;
    std::unique_ptr<TTrayIcon> TrayIcon;
    CheckListView clbChannels;
    bool FTimerInitEnabled = false;
    bool FDestroyed = false;

    std::optional<KordavinClient> FKordavin;
    TTrayMsgWinCollection FPopupItems;

public:
    // Settings (loaded at start; defaults until the settings store is read).
    bool FActive = false;
    std::wstring FServerName;
    bool FCloseTMWOnStart = false;
    bool FCallerIDOnly = false;
    std::vector<std::wstring> FChannels;
};

// Whether a message belongs to one of the program's modeless dialogs and was
// handled as dialog navigation.
bool HandleDialogMessage(MSG& message);
