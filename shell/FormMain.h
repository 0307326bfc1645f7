#pragma once
#include "BoldButtons.h"
#include "CallActions.h"
#include "ProgramWindows.h"
#include "CallJournal.h"
#include "CheckListView.h"
#include "SharedDirectoryClient.h"
#include "InformerController.h"
#include "InformerNotices.h"
#include "MainFormRes.h"
#include "MainFormSettings.h"
#include "SettingsModel.h"
#include "SettingsStore.h"
#include "SharedDirectoryCheck.h"
#include "SingleInstance.h"
#include "TrayPresence.h"
#include "TrayMenu.h"
#include "QuietMenu.h"
#include "DialogBase.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Posted to the main window when the connection test's outcome is ready.
constexpr UINT WM_DBTESTDONE = WM_APP + 2;


// The (hidden) settings window and the tray icon's menu. Lives as long as the
// process; the parts live in the controller, and what it reports is told by
// TInformerNotices. The settings window's own methods are in SettingsWindow.cpp.
class TMainForm final : public TDialogBase, private ISettingsChannels {
public:
    explicit TMainForm(HINSTANCE instance);
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Creates the window hidden; FormCreate runs inside. False if it could not be created.
    bool Create();

private:
    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    bool OnNotify(NMHDR& header, LRESULT& result) override;
    void OnClose() override { FormClose(); }
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnError(const std::wstring& text) override { FNotices->ShowError(text); }
    void OnTrayNotify(const TTrayRequest& request);
    void OnTrayChoice(TTrayChoice choice);
    // A part of start-up failed: report it and leave the window to Create to destroy.
    void AbandonStartup(const std::wstring& error);

    void FormCreate();
    void FormDestroy();
    // WM_ENDSESSION: the Windows session ends; the parts end as at "Выход",
    // with the wait for saves bounded by what Windows allows.
    void SessionEnding();
    // Ends the parts once: closes the windows and the tray icon, and the
    // controller ends the rest and tells what was not saved.
    void EndParts(TInformerController::TEnding ending);
    void FormClose();
    void cbActiveClick();
    // The connect box, the server and the folders as the controls show them.
    TShownConnection ShownConnection() const;
    void ApplicationEventsMinimize();
    void pmnuOptionsClick();
    void pmnuExitClick();
    void btnAboutClick();

    // The settings window (SettingsWindow.cpp).
    void InitSettingsControls();
    bool OnSettingsCommand(int id, UINT code);
    bool OnSettingsNotify(const NMHDR& header);
    void ShowParams();
    // The settings as the controls show them; AppError (nothing changed) for a value that cannot be taken.
    TMainFormSettings ReadParams();
    // What the settings window does once a part of the settings is applied.
    void SettingsApplied(TSettingsPart part, const TMainFormSettings& settings);
    // Which connection controls are shown and enabled, from the window's boxes.
    void UpdateConnectionControls();
    void TWMParamChange();
    void btnApplyClick();
    void btnOkClick();
    void btnCancelClick();
    void SetDefaultPortButtonClick();
    void ShowHidePreviewWindowButtonClick();
    void TestDBConnectionButtonClick();
    void OnDBTestDone();
    // The directory server follows the applied settings; a failed start is told.
    void RestartDBServer();
    void LoadParams();
    std::wstring ItemText(int id) const;
    void SetItemText(int id, const std::wstring& text) { ::SetDlgItemTextW(FHandle, id, text.c_str()); }

    // The settings window's channel list follows the server's.
    void ShowServerChannels(const std::vector<std::wstring>& channels) override;
    void ChannelRenamed(const std::wstring& from, const std::wstring& to) override;

    HWND FStatusBar = nullptr;
    // The status line, the tray icon and the boxes: what the controller reports.
    std::unique_ptr<TInformerNotices> FNotices;
    CheckListView clbChannels;
    bool FFormDestroyed = false;
    bool FPartsEnded = false;
    bool FStartupFailed = false;
    // True while ShowParams fills the controls: their change handlers leave
    // "Применить" alone. FChannelListLoading does the same while the server's
    // channel list replaces the items.
    bool FParamLoading = false;
    bool FChannelListLoading = false;
    // The "Ж" buttons: their caption font says whether the line is bold.
    TBoldButtons FBoldButtons;
    // "Тест соединения".
    TSharedDirectoryCheck FDBTest;
    // The applied settings, where they are loaded, stored and which a policy fixes.
    std::unique_ptr<TSettingsModel> FModel;
    // "Не беспокоить" in the tray menu.
    std::unique_ptr<TQuietMenu> FQuietMenu;

    // The connection and the parts reacting to calls; the model tells it the applied settings.
    std::unique_ptr<TInformerController> FController;
    // "Открыть в CRM" and "Перезвонить" of the popups and the journal, with the applied settings.
    TCallActions FCallActions;
    // The other windows the tray, the popups and the journal open.
    std::unique_ptr<TProgramWindows> FWindows;
};
