#include "WindowPlacement.h"

#include <algorithm>

int ScaleToWindowDpi(HWND window, int pixels) {
    return ::MulDiv(pixels, static_cast<int>(::GetDpiForWindow(window)), USER_DEFAULT_SCREEN_DPI);
}

void MoveControl(HWND control, int left, int top, int width, int height) {
    ::SetWindowPos(control, nullptr, left, top, std::max(width, 0), std::max(height, 0), SWP_NOZORDER | SWP_NOACTIVATE);
}

void SizeClientAndCentre(HWND window, int clientWidth, int clientHeight, SIZE minimumUnits) {
    const UINT dpi = ::GetDpiForWindow(window);
    RECT units{0, 0, minimumUnits.cx, minimumUnits.cy};
    if (minimumUnits.cx > 0 || minimumUnits.cy > 0) ::MapDialogRect(window, &units);
    RECT frame{0, 0, std::max(ScaleToWindowDpi(window, clientWidth), static_cast<int>(units.right)),
               std::max(ScaleToWindowDpi(window, clientHeight), static_cast<int>(units.bottom))};
    ::AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                               static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)), dpi);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    LONG width = frame.right - frame.left;
    LONG height = frame.bottom - frame.top;
    // A resizable window lays itself out at any size from its least one up, so
    // at a high DPI on a small screen it opens no larger than the work area;
    // the window manager keeps it above its least size.
    if (::GetWindowLongPtrW(window, GWL_STYLE) & WS_THICKFRAME) {
        width = std::min(width, work.right - work.left);
        height = std::min(height, work.bottom - work.top);
    }
    ::SetWindowPos(window, nullptr, work.left + std::max(0L, (work.right - work.left - width) / 2),
                   work.top + std::max(0L, (work.bottom - work.top - height) / 2), width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void BringWindowForward(HWND window) {
    ::ShowWindow(window, ::IsIconic(window) ? SW_RESTORE : SW_SHOW);
    const HWND popup = ::GetLastActivePopup(window);
    ::SetForegroundWindow(popup ? popup : window);
}

void CentreOnOwner(HWND window) {
    RECT area{};
    HWND owner = ::GetWindow(window, GW_OWNER);
    if (!owner || !::IsWindowVisible(owner) || !::GetWindowRect(owner, &area))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
