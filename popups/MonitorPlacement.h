#pragma once
#include "PopupLayout.h"

#include <windows.h>

#include <vector>

// Which monitor the popups go to, and where on it: a pure function over a list
// of monitors, so that layouts Wine cannot show (several monitors, each with
// its own DPI and task bar) are tested with tables.

struct TMonitor {
    RECT Bounds{};     // the whole monitor, in virtual-screen pixels (may be negative)
    RECT WorkArea{};   // less the task bars on it
    int Dpi = USER_DEFAULT_SCREEN_DPI;
    bool Primary = false;
    int Number = 0;    // as Windows shows it (the N of \\.\DISPLAYN); 0 when unknown
};

// The setting "Монитор", as the settings file keeps it: the index of the
// choice in its drop-down list.
constexpr int kMonitorPrimary = 0;  // the primary monitor (the built-in behaviour)
constexpr int kMonitorPointer = 1;  // the one with the mouse pointer when the call comes
// 2 and above: the monitor numbered (setting - 1).
constexpr int MonitorSettingFor(int number) { return number + 1; }

// The index in monitors of the one the setting picks: a chosen monitor that is
// gone, a pointer outside every monitor or a setting out of range gives the
// primary one (the first, when none says it is). -1 for an empty list.
int ChooseMonitor(const std::vector<TMonitor>& monitors, int setting, POINT pointer);

struct TMonitorPlacement {
    TPopupPlacement Placement;
    int Monitor = -1;  // index of the monitor used; -1: fallbackWorkArea
    int Dpi = USER_DEFAULT_SCREEN_DPI;
};

// Places the popup for `row` on the chosen monitor: the settings (pixels at
// 96 DPI) scaled to that monitor's DPI, grown so that `buttons` buttons stay
// readable, and laid out in its work area as PlacePopup does. With no monitor
// at all, fallbackWorkArea at fallbackDpi is used.
TMonitorPlacement PlacePopupOnMonitor(const std::vector<TMonitor>& monitors, int setting, POINT pointer,
                                      const TPopupLayoutSettings& at96Dpi, int row, int buttons,
                                      const RECT& fallbackWorkArea, int fallbackDpi);
