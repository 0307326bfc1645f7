#include "WindowMemory.h"

#include "RegistryValues.h"
#include "UniqueHandle.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

namespace {

std::wstring& MemoryKey() {
    static std::wstring key;
    return key;
}

constexpr wchar_t kLeft[] = L"Left";
constexpr wchar_t kTop[] = L"Top";
constexpr wchar_t kRight[] = L"Right";
constexpr wchar_t kBottom[] = L"Bottom";
constexpr wchar_t kDpi[] = L"Dpi";
constexpr wchar_t kMaximized[] = L"Maximized";
constexpr wchar_t kColumns[] = L"Columns";

// DPIs a display can have; anything else is a damaged value.
constexpr DWORD kLeastDpi = 48;
constexpr DWORD kMostDpi = 960;
// A column wider than this is a damaged value.
constexpr long kMostWidth = 100000;

std::wstring WindowKeyPath(const std::wstring& name) { return MemoryKey() + L"\\" + name; }

LONG Signed(DWORD value) { return static_cast<LONG>(value); }

// Widths separated by blanks; reading stops at the first that is no number.
std::vector<int> ParseWidths(const std::wstring& text) {
    std::vector<int> widths;
    const wchar_t* next = text.c_str();
    for (;;) {
        wchar_t* end = nullptr;
        const long width = std::wcstol(next, &end, 10);
        if (end == next || width < 0 || width > kMostWidth) break;
        widths.push_back(static_cast<int>(width));
        next = end;
    }
    return widths;
}

int HeaderCount(HWND list) {
    const HWND header = list ? ListView_GetHeader(list) : nullptr;
    return header ? Header_GetItemCount(header) : 0;
}

}  // namespace

void SetWindowMemoryKey(std::wstring key) { MemoryKey() = std::move(key); }

const std::wstring& WindowMemoryKey() { return MemoryKey(); }

std::optional<TWindowMemory> LoadWindowMemory(const std::wstring& name) {
    if (MemoryKey().empty()) return std::nullopt;
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, WindowKeyPath(name).c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    const UniqueRegKey key(raw);
    try {
        const auto left = ReadRegistryDword(raw, kLeft);
        const auto top = ReadRegistryDword(raw, kTop);
        const auto right = ReadRegistryDword(raw, kRight);
        const auto bottom = ReadRegistryDword(raw, kBottom);
        if (!left || !top || !right || !bottom) return std::nullopt;
        TWindowMemory memory;
        memory.Frame = {Signed(*left), Signed(*top), Signed(*right), Signed(*bottom)};
        if (memory.Frame.right <= memory.Frame.left || memory.Frame.bottom <= memory.Frame.top) return std::nullopt;
        const DWORD dpi = ReadRegistryDword(raw, kDpi).value_or(USER_DEFAULT_SCREEN_DPI);
        memory.Dpi = dpi >= kLeastDpi && dpi <= kMostDpi ? dpi : USER_DEFAULT_SCREEN_DPI;
        memory.Maximized = ReadRegistryDword(raw, kMaximized).value_or(0) != 0;
        memory.ColumnWidths = ParseWidths(ReadRegistryString(raw, kColumns).value_or(std::wstring()));
        return memory;
    } catch (...) {
        // A value of another type: the window opens as if it had never been closed.
        return std::nullopt;
    }
}

void SaveWindowMemory(const std::wstring& name, const TWindowMemory& memory) noexcept {
    if (MemoryKey().empty()) return;
    try {
        HKEY raw = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, WindowKeyPath(name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE, nullptr, &raw, nullptr) != ERROR_SUCCESS)
            return;
        const UniqueRegKey key(raw);
        WriteRegistryDword(raw, kLeft, static_cast<DWORD>(memory.Frame.left));
        WriteRegistryDword(raw, kTop, static_cast<DWORD>(memory.Frame.top));
        WriteRegistryDword(raw, kRight, static_cast<DWORD>(memory.Frame.right));
        WriteRegistryDword(raw, kBottom, static_cast<DWORD>(memory.Frame.bottom));
        WriteRegistryDword(raw, kDpi, memory.Dpi);
        WriteRegistryDword(raw, kMaximized, memory.Maximized ? 1 : 0);
        std::wstring widths;
        for (int width : memory.ColumnWidths) widths += (widths.empty() ? L"" : L" ") + std::to_wstring(width);
        WriteRegistryString(raw, kColumns, widths);
    } catch (...) {
        // Out of memory while making the text: nothing is remembered this time.
    }
}

RECT FitFrameToWorkArea(RECT frame, const RECT& work) {
    const LONG width = std::min(frame.right - frame.left, work.right - work.left);
    const LONG height = std::min(frame.bottom - frame.top, work.bottom - work.top);
    const LONG left = std::clamp(frame.left, work.left, work.right - width);
    const LONG top = std::clamp(frame.top, work.top, work.bottom - height);
    return {left, top, left + width, top + height};
}

TWindowMemory CaptureWindowMemory(HWND window, HWND list) {
    TWindowMemory memory;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    ::GetWindowPlacement(window, &placement);
    // The placement is in work-area coordinates: on screen they are off by a
    // task bar at the top or left.
    memory.Frame = placement.rcNormalPosition;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        ::OffsetRect(&memory.Frame, monitor.rcWork.left - monitor.rcMonitor.left,
                     monitor.rcWork.top - monitor.rcMonitor.top);
    memory.Dpi = ::GetDpiForWindow(window);
    memory.Maximized = ::IsZoomed(window) || (::IsIconic(window) && (placement.flags & WPF_RESTORETOMAXIMIZED));
    const int columns = HeaderCount(list);
    for (int i = 0; i < columns; ++i)
        memory.ColumnWidths.push_back(
            ::MulDiv(ListView_GetColumnWidth(list, i), USER_DEFAULT_SCREEN_DPI, static_cast<int>(memory.Dpi)));
    return memory;
}

void ApplyWindowMemory(HWND window, HWND list, const TWindowMemory& memory, SIZE minimumFrame) {
    const int dpi = static_cast<int>(::GetDpiForWindow(window));
    RECT frame = memory.Frame;
    const int savedDpi = static_cast<int>(memory.Dpi ? memory.Dpi : USER_DEFAULT_SCREEN_DPI);
    const LONG width = std::max<LONG>(::MulDiv(frame.right - frame.left, dpi, savedDpi), minimumFrame.cx);
    const LONG height = std::max<LONG>(::MulDiv(frame.bottom - frame.top, dpi, savedDpi), minimumFrame.cy);
    frame.right = frame.left + width;
    frame.bottom = frame.top + height;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromRect(&frame, MONITOR_DEFAULTTONEAREST), &monitor))
        frame = FitFrameToWorkArea(frame, monitor.rcWork);

    // Still restored: the frame becomes its restored frame, also when it is maximised next.
    ::SetWindowPos(window, nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    if (memory.Maximized) ::ShowWindow(window, SW_SHOWMAXIMIZED);

    const int columns = std::min(HeaderCount(list), static_cast<int>(memory.ColumnWidths.size()));
    for (int i = 0; i < columns; ++i)
        if (memory.ColumnWidths[static_cast<size_t>(i)] > 0)
            ListView_SetColumnWidth(list, i, ::MulDiv(memory.ColumnWidths[static_cast<size_t>(i)], dpi,
                                                      USER_DEFAULT_SCREEN_DPI));
}
