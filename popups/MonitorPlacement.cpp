#include "MonitorPlacement.h"

namespace {

bool Contains(const RECT& rect, POINT point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

int PrimaryIndex(const std::vector<TMonitor>& monitors) {
    for (size_t i = 0; i < monitors.size(); ++i)
        if (monitors[i].Primary) return static_cast<int>(i);
    return monitors.empty() ? -1 : 0;
}

}  // namespace

int ChooseMonitor(const std::vector<TMonitor>& monitors, int setting, POINT pointer) {
    if (setting == kMonitorPointer) {
        for (size_t i = 0; i < monitors.size(); ++i)
            if (Contains(monitors[i].Bounds, pointer)) return static_cast<int>(i);
    } else if (setting > kMonitorPointer) {
        for (size_t i = 0; i < monitors.size(); ++i)
            if (monitors[i].Number == setting - 1) return static_cast<int>(i);
    }
    return PrimaryIndex(monitors);
}

TMonitorPlacement PlacePopupOnMonitor(const std::vector<TMonitor>& monitors, int setting, POINT pointer,
                                      const TPopupLayoutSettings& at96Dpi, int row, int buttons,
                                      const RECT& fallbackWorkArea, int fallbackDpi) {
    TMonitorPlacement result;
    result.Monitor = ChooseMonitor(monitors, setting, pointer);
    const bool found = result.Monitor >= 0;
    const RECT workArea = found ? monitors[static_cast<size_t>(result.Monitor)].WorkArea : fallbackWorkArea;
    result.Dpi = found ? monitors[static_cast<size_t>(result.Monitor)].Dpi : fallbackDpi;
    if (result.Dpi <= 0) result.Dpi = USER_DEFAULT_SCREEN_DPI;
    // The settings are pixels at 96 DPI: a popup covers the same share of any monitor.
    TPopupLayoutSettings layout = at96Dpi;
    const SIZE readable = ReadablePopupSize({::MulDiv(at96Dpi.WinWidth, result.Dpi, USER_DEFAULT_SCREEN_DPI),
                                             ::MulDiv(at96Dpi.WinHeight, result.Dpi, USER_DEFAULT_SCREEN_DPI)},
                                            result.Dpi, buttons);
    layout.WinWidth = static_cast<int>(readable.cx);
    layout.WinHeight = static_cast<int>(readable.cy);
    layout.Displacement = ::MulDiv(at96Dpi.Displacement, result.Dpi, USER_DEFAULT_SCREEN_DPI);
    result.Placement = PlacePopup(workArea, layout, row);
    return result;
}
