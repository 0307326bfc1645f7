#include "TrayMenu.h"

#include "MainFormRes.h"
#include "QuietTimeRes.h"
#include "ResourceText.h"

namespace {

// "Не беспокоить", inserted just above the journal's item; the tray menu owns it from there on.
void AddQuietMenu(HMENU trayMenu, bool asked) {
    HMENU quiet = ::CreatePopupMenu();
    if (!quiet) return;
    ::AppendMenuW(quiet, MF_STRING, IDM_QUIET_HOUR, LoadResourceString(IDS_QUIET_HOUR).c_str());
    ::AppendMenuW(quiet, MF_STRING, IDM_QUIET_MORNING, LoadResourceString(IDS_QUIET_MORNING).c_str());
    ::AppendMenuW(quiet, MF_STRING, IDM_QUIET_ENDLESS, LoadResourceString(IDS_QUIET_ENDLESS).c_str());
    ::AppendMenuW(quiet, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(quiet, MF_STRING | (asked ? MF_ENABLED : MF_GRAYED), IDM_QUIET_OFF,
                  LoadResourceString(IDS_QUIET_OFF).c_str());
    ::AppendMenuW(quiet, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(quiet, MF_STRING, IDM_QUIET_HOURS, LoadResourceString(IDS_QUIET_HOURS_MENU).c_str());
    if (!::InsertMenuW(trayMenu, IDM_PMNUJOURNAL, MF_BYCOMMAND | MF_POPUP | (asked ? MF_CHECKED : MF_UNCHECKED),
                       reinterpret_cast<UINT_PTR>(quiet), LoadResourceString(IDS_QUIET_MENU).c_str()))
        ::DestroyMenu(quiet);
}

}  // namespace

TTrayChoice DecodeTrayMenuCommand(int id) {
    switch (id) {
    case IDM_PMNUOPTIONS: return TTrayChoice::Options;
    case IDM_PMNUDIRECTORY: return TTrayChoice::Directory;
    case IDM_PMNUJOURNAL: return TTrayChoice::Journal;
    case IDM_PMNUDIAGNOSTICS: return TTrayChoice::Diagnostics;
    case IDM_PMNUEXIT:
    case IDC_BTNEXIT: return TTrayChoice::Exit;
    case IDM_QUIET_HOUR: return TTrayChoice::QuietHour;
    case IDM_QUIET_MORNING: return TTrayChoice::QuietMorning;
    case IDM_QUIET_ENDLESS: return TTrayChoice::QuietEndless;
    case IDM_QUIET_OFF: return TTrayChoice::QuietOff;
    case IDM_QUIET_HOURS: return TTrayChoice::QuietHours;
    default: return TTrayChoice::None;
    }
}

void ShowTrayMenu(HINSTANCE instance, HWND owner, POINT at, bool quietAsked) {
    HMENU menu = ::LoadMenuW(instance, MAKEINTRESOURCEW(IDM_TRAYMENU));
    if (!menu) return;
    HMENU popup = ::GetSubMenu(menu, 0);
    ::SetMenuDefaultItem(popup, IDM_PMNUOPTIONS, FALSE);
    AddQuietMenu(popup, quietAsked);
    // Without this the menu does not close when the user clicks elsewhere.
    ::SetForegroundWindow(owner);
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, owner, nullptr);
    ::PostMessageW(owner, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
}
