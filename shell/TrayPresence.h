#pragma once
#include "QuietTime.h"
#include "TrayIcon.h"
#include "TrayMarks.h"
#include "TrayState.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The program's icon in the notification area with all it tells: the mark of
// the connection's state, the operator's marks (quiet time, missed calls not
// yet seen) over it, and the hint saying the same. The icon is drawn again
// only when what it shows changed. Main thread.
class TTrayPresence {
public:
    // appIcon: the program's small icon, kept alive by the caller.
    TTrayPresence(HWND owner, UINT id, UINT callbackMessage, HICON appIcon, std::wstring caption);
    TTrayPresence(const TTrayPresence&) = delete;
    TTrayPresence& operator=(const TTrayPresence&) = delete;

    TTrayIcon& Icon() { return FIcon; }
    // The connection's state and, while reconnecting, why (the diagnostics' text).
    void SetConnection(TConnectionState state, const std::wstring& reason);
    // Quiet time with its hint line (empty: none), and the missed calls not yet seen.
    void SetOperator(const TQuietState& quiet, const std::wstring& quietHint, int64_t missed);
    // The SQL directory's hint line (the saves waiting for the server); empty: none.
    void SetSqlDirectory(const std::wstring& line);

private:
    void UpdateHint();
    // The operator's marks over the state's icon; always after the state's icon changed.
    void Draw(bool stateChanged);

    HWND FOwner;
    HICON FAppIcon;
    std::wstring FCaption;
    TTrayIcon FIcon;
    TConnectionState FState = TConnectionState::Off;
    std::wstring FReason;
    // The program's icon with the state's mark; null: the plain one.
    UniqueIcon FStateIcon;
    TQuietState FQuiet;
    std::wstring FQuietHint;
    int64_t FMissed = 0;
    std::wstring FSqlLine;
    TTrayMarks FShownMarks;
    UniqueIcon FMarkedIcon;
};
