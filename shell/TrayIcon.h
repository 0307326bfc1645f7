#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>

// The notification-area icon, identified by its window and id. It is added
// again when the shell restarts (the "TaskbarCreated" broadcast).
class TTrayIcon {
public:
    TTrayIcon(HWND owner, UINT id, UINT callbackMessage, HICON icon);
    ~TTrayIcon();
    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;

    void SetHint(const std::wstring& hint);
    // Adds the icon; false when the shell has no notification area yet.
    bool Show();
    void ShowBalloon(const std::wstring& title, const std::wstring& text);

    // Call for every message; true when it was the shell's restart broadcast.
    bool HandleTaskbarCreated(UINT message);

    // The last balloon shown, for tests that look at the program from outside.
    const std::wstring& LastBalloonText() const { return lastBalloon_; }

private:
    NOTIFYICONDATAW BaseData() const;

    HWND owner_;
    UINT id_;
    UINT callbackMessage_;
    HICON icon_;
    std::wstring hint_;
    std::wstring lastBalloon_;
    bool added_ = false;
    UINT taskbarCreated_;
};
