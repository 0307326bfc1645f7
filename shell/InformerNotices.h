#pragma once
#include "InformerController.h"
#include "MainFormSettings.h"
#include "TrayPresence.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// What the settings window shows of the controller's reports: its channel list.
class ISettingsChannels {
public:
    // The server's channels, as just read.
    virtual void ShowServerChannels(const std::vector<std::wstring>& channels) = 0;
    // The server renamed a channel; the controller's applied settings have followed already.
    virtual void ChannelRenamed(const std::wstring& from, const std::wstring& to) = 0;

protected:
    ~ISettingsChannels() = default;
};

// What the controller reports, told to the user: the status line, the tray
// icon with its hint and balloons, and a message box for each failed save and
// for the other failures (one at a time). The settings window's channel list
// hears of the server's channels. Main thread.
class TInformerNotices final : public IInformerView {
public:
    // window: the boxes' owner (the hidden settings window).
    TInformerNotices(HWND window, std::wstring caption, ISettingsChannels& channels);
    TInformerNotices(const TInformerNotices&) = delete;
    TInformerNotices& operator=(const TInformerNotices&) = delete;

    // The tray icon, the program's only presence on screen; ShowTray again replaces it.
    void ShowTray(UINT id, UINT callbackMessage, HICON appIcon);
    // The tray icon, or null before ShowTray and after EndTray.
    TTrayPresence* Tray() { return FTray.get(); }
    void EndTray() { FTray.reset(); }
    void SetStatusBar(HWND statusBar) { FStatusBar = statusBar; }
    // The controller whose quiet time, journal and popups the tray's notices look at.
    void Attach(TInformerController& controller) { FController = &controller; }
    // The window is gone: the boxes of failed saves open without owner.
    void WindowGone() { FWindowGone = true; }

    // A failure of the program's own. The reconnection timer keeps running
    // under the box: while one error box is open, further errors are not
    // stacked on top of it.
    void ShowError(const std::wstring& text);
    void SetStatusText(const std::wstring& text);
    // The tray's hint and marks: quiet time, the missed calls not yet seen and
    // the saves waiting for the SQL server.
    void UpdateTrayHint();
    void ShowNoConnectionBalloon();

private:
    void OnCallEvent(const TCallEvent& event) override;
    void ShowServerChannels(const std::vector<std::wstring>& channels) override;
    void CallRecorded(const TCallRecord& record) override;
    void JournalFailed(const std::wstring& text) override;
    void SaveFailed(const TSaveFailure& failure) override;
    void SaveNotFinished(const std::wstring& phone) override;
    void ShowConnection(TConnectionState state, const TConnectionError& reason) override;
    void DirectoryFailed(const std::wstring& text) override { ShowError(text); }
    void QuietTimeChanged() override { UpdateTrayHint(); }
    void SqlDirectoryChanged(const TSqlDirectoryStatus&) override { UpdateTrayHint(); }
    // Every failed save is told, not subject to ShowError's one-box rule.
    void ShowSaveError(const std::wstring& text);
    // Whether popups and balloons are held back now.
    bool QuietNow() const;

    HWND FWindow;
    std::wstring FCaption;
    ISettingsChannels& FChannels;
    HWND FStatusBar = nullptr;
    std::unique_ptr<TTrayPresence> FTray;
    TInformerController* FController = nullptr;
    bool FErrorBoxOpen = false;
    bool FWindowGone = false;
};
