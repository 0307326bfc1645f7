#pragma once
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

// What the user asked of the program through the icon.
struct TTrayRequest {
    enum class Kind { None, ShowMenu, Activate };
    Kind kind = Kind::None;
    // Where the menu goes: the point the shell gives, in screen coordinates.
    POINT anchor{};
};

// Decodes the icon's callback message as the shell sends it to an icon set to
// NOTIFYICON_VERSION_4: LOWORD(lParam) is the event, HIWORD(lParam) the icon's id,
// wParam the anchor point. The shell sends a right-click as WM_RBUTTONDOWN,
// WM_RBUTTONUP and WM_CONTEXTMENU (the keyboard's menu key as WM_CONTEXTMENU alone),
// so only WM_CONTEXTMENU opens the menu. A double-click and Enter on the focused
// icon (NIN_KEYSELECT) activate; a single click (NIN_SELECT) does nothing.
TTrayRequest DecodeTrayCallback(WPARAM wParam, LPARAM lParam, UINT iconId);

// The notification-area icon, identified by its window and id. It is added
// again when the shell restarts (the "TaskbarCreated" broadcast).
class TTrayIcon {
public:
    // Shell_NotifyIconW; tests stand in for the shell.
    using TShellNotify = std::function<BOOL(DWORD message, NOTIFYICONDATAW& data)>;

    TTrayIcon(HWND owner, UINT id, UINT callbackMessage, HICON icon, TShellNotify notify = {});
    ~TTrayIcon();
    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;

    void SetHint(const std::wstring& hint);
    // The icon shown from now on, also after a shell restart; the caller keeps it alive.
    void SetIcon(HICON icon);
    // Adds the icon; false when the shell has no notification area yet.
    bool Show();
    // Shows a warning balloon. It stays due until ForgetBalloon: a shell that
    // starts or restarts later gets it again with the icon, so that a balloon
    // shown before the shell was up is not lost.
    void ShowBalloon(const std::wstring& title, const std::wstring& text);
    // What the balloon said no longer holds.
    void ForgetBalloon();
    // A passing notice with the information icon. Unlike the warning balloon it
    // is not shown again after a shell restart, and it leaves that balloon due.
    void ShowNotice(const std::wstring& title, const std::wstring& text);

    // Call for every message; true when it was the shell's restart broadcast.
    bool HandleTaskbarCreated(UINT message);

    UINT Id() const { return id_; }

private:
    NOTIFYICONDATAW BaseData() const;
    BOOL Notify(DWORD message, NOTIFYICONDATAW& data) const;
    void SendBalloon();
    void SendInfo(const std::wstring& title, const std::wstring& text, DWORD iconFlags);

    HWND owner_;
    UINT id_;
    UINT callbackMessage_;
    HICON icon_;
    TShellNotify notify_;
    std::wstring hint_;
    std::wstring balloonTitle_;
    std::wstring balloonText_;
    bool balloonDue_ = false;
    bool added_ = false;
    UINT taskbarCreated_;
};
