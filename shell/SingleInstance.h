#pragma once
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

// One running copy per user session, user and program folder. A second start
// of the same copy wakes the first one's settings window and ends; other users
// of a terminal server and copies in other folders run side by side.

// The name of the instance of a program folder for a user: in the session's
// own namespace, with the user's SID and a hash of the folder's path compared
// without regard to letter case (with or without a trailing backslash, and an
// existing folder's short 8.3 form alike).
std::wstring SingleInstanceName(const std::wstring& programFolder, const std::wstring& userSid);
// The SID of the user running this process as text; empty when unknown.
std::wstring CurrentUserSid();

// Posted to the first copy's main window: show the settings window in front.
UINT ShowSettingsMessage();

enum class THandOver {
    HandedOver,   // the first copy was told; this one ends
    BecameFirst,  // the first copy ended meanwhile; this one runs
    NoAnswer,     // the first copy never published its window in time; this one ends
};

class TSingleInstance {
public:
    explicit TSingleInstance(const std::wstring& name);
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // True when this process holds the instance. A copy that could not even ask
    // (the system refused the objects) runs as the first, rather than not at all.
    bool IsFirst() const { return FFirst; }
    // The first copy: the window that later copies wake.
    void Publish(HWND window);
    // A later copy: waits up to timeoutMs for the first copy's window, lets it
    // come to the front and asks it to show its settings window.
    THandOver HandOver(DWORD timeoutMs);

private:
    HWND PublishedWindow() const;

    std::wstring FName;
    UniqueKernelHandle FMutex;
    UniqueKernelHandle FWindowMapping;
    bool FFirst = false;
};
