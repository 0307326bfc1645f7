#pragma once
#include <windows.h>

// What the user picked in the tray icon's menu (or pressed the window's "Выход").
enum class TTrayChoice {
    None,  // not an item of the tray menu
    Options,
    Directory,
    Journal,
    Diagnostics,
    Exit,
    QuietHour,
    QuietMorning,
    QuietEndless,
    QuietOff,
    QuietHours,
};

// Which item a command id of the menu is; pure, like the icon's callback decoder.
TTrayChoice DecodeTrayMenuCommand(int id);

// Opens the tray menu at the shell's anchor; the chosen item comes to owner as
// WM_COMMAND. quietAsked: the user asked for quiet ("Не беспокоить" checked,
// its "off" enabled).
void ShowTrayMenu(HINSTANCE instance, HWND owner, POINT at, bool quietAsked);
