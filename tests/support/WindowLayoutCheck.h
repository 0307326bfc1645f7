#pragma once
// Checks of a resizable window as a user sees it: no control leaves the client
// area or covers another, and the window opens again as it was left.
#include "WindowMemory.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <string>
#include <vector>

// The visible controls that stick out of the window's client area or overlap
// one another, as "control 1001 leaves the window", "controls 1001 and 1002 overlap".
inline std::vector<std::wstring> LayoutFaults(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    struct TControl {
        int Id;
        RECT Bounds;
        bool GroupBox;
    };
    std::vector<TControl> controls;
    std::vector<std::wstring> faults;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) continue;
        RECT bounds{};
        ::GetWindowRect(child, &bounds);
        const int id = ::GetDlgCtrlID(child);
        RECT inside{};
        if (::IsRectEmpty(&bounds) || !::IntersectRect(&inside, &bounds, &client) || !::EqualRect(&inside, &bounds))
            faults.push_back(L"control " + std::to_wstring(id) + L" leaves the window or has no size");
        wchar_t className[16] = {};
        ::GetClassNameW(child, className, 16);
        const bool groupBox = _wcsicmp(className, L"Button") == 0 &&
                              (::GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
        controls.push_back({id, bounds, groupBox});
    }
    // A group box frames the controls that lie wholly inside it.
    const auto frames = [](const TControl& box, const TControl& other) {
        RECT inside{};
        return box.GroupBox && ::IntersectRect(&inside, &box.Bounds, &other.Bounds) &&
               ::EqualRect(&inside, &other.Bounds);
    };
    for (size_t i = 0; i < controls.size(); ++i)
        for (size_t j = i + 1; j < controls.size(); ++j) {
            if (frames(controls[i], controls[j]) || frames(controls[j], controls[i])) continue;
            RECT overlap{};
            if (::IntersectRect(&overlap, &controls[i].Bounds, &controls[j].Bounds))
                faults.push_back(L"controls " + std::to_wstring(controls[i].Id) + L" and " +
                                 std::to_wstring(controls[j].Id) + L" overlap");
        }
    return faults;
}

// The window at its default size, maximised and at its least size: laid out
// without a fault each time, and the list's columns fill the list's width. At
// its default size it lies wholly on the work area, whatever the DPI.
inline void ExpectLaidOutAtEverySize(HWND window, int listId) {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT opened{};
    ::GetWindowRect(window, &opened);
    RECT onWork{};
    EXPECT_TRUE(::IntersectRect(&onWork, &opened, &work) && ::EqualRect(&onWork, &opened))
        << "opens at " << opened.left << "," << opened.top << " " << opened.right - opened.left << "x"
        << opened.bottom - opened.top << " on a work area of " << work.right - work.left << "x"
        << work.bottom - work.top;
    const HWND list = ::GetDlgItem(window, listId);
    auto columnsFill = [&] {
        const int columns = Header_GetItemCount(ListView_GetHeader(list));
        int total = 0;
        for (int i = 0; i < columns; ++i) total += ListView_GetColumnWidth(list, i);
        RECT client{};
        ::GetClientRect(list, &client);
        return total >= client.right;
    };
    EXPECT_EQ(std::vector<std::wstring>{}, LayoutFaults(window)) << "at the default size";
    EXPECT_TRUE(columnsFill()) << "at the default size";

    ::ShowWindow(window, SW_MAXIMIZE);
    EXPECT_EQ(std::vector<std::wstring>{}, LayoutFaults(window)) << "maximised";
    EXPECT_TRUE(columnsFill()) << "maximised";
    ::ShowWindow(window, SW_RESTORE);

    MINMAXINFO limits{};
    ::SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    RECT frame{};
    ::GetWindowRect(window, &frame);
    EXPECT_LT(limits.ptMinTrackSize.x, frame.right - frame.left) << "a window that cannot be made smaller";
    EXPECT_LT(limits.ptMinTrackSize.y, frame.bottom - frame.top);
    ::SetWindowPos(window, nullptr, 0, 0, limits.ptMinTrackSize.x, limits.ptMinTrackSize.y,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(std::vector<std::wstring>{}, LayoutFaults(window)) << "at the least size";
}

// A private key in place of the program's while it lives; removed afterwards.
class TTestWindowMemoryKey {
public:
    TTestWindowMemoryKey()
        : FKey(L"Software\\KordavinTest\\Windows-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
               std::to_wstring(::GetTickCount64())) {
        SetWindowMemoryKey(FKey);
    }
    ~TTestWindowMemoryKey() {
        SetWindowMemoryKey({});
        ::RegDeleteTreeW(HKEY_CURRENT_USER, FKey.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KordavinTest");  // only once it is empty
    }
    TTestWindowMemoryKey(const TTestWindowMemoryKey&) = delete;
    TTestWindowMemoryKey& operator=(const TTestWindowMemoryKey&) = delete;

private:
    std::wstring FKey;
};

// Opens the window, moves and resizes it and widens the list's column, closes
// it: it opens again with that frame and width. Maximised when closed, it opens
// maximised; remembered on a monitor that is gone, it opens on the work area.
// close must destroy the window and run its messages.
inline void ExpectReopensAsLeft(const std::wstring& memoryName, const std::function<HWND()>& open,
                                const std::function<void(HWND)>& close, int listId, int column) {
    const TTestWindowMemoryKey key;
    HWND window = open();
    RECT frame{};
    ::GetWindowRect(window, &frame);
    frame = {frame.left + 17, frame.top + 11, frame.right + 17 + 120, frame.bottom + 11 + 70};
    ::SetWindowPos(window, nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    const HWND list = ::GetDlgItem(window, listId);
    const int width = ListView_GetColumnWidth(list, column) + 30;
    ListView_SetColumnWidth(list, column, width);
    close(window);

    window = open();
    RECT reopened{};
    ::GetWindowRect(window, &reopened);
    EXPECT_TRUE(::EqualRect(&frame, &reopened))
        << "left at " << frame.left << "," << frame.top << " " << frame.right - frame.left << "x"
        << frame.bottom - frame.top << ", reopened at " << reopened.left << "," << reopened.top << " "
        << reopened.right - reopened.left << "x" << reopened.bottom - reopened.top;
    EXPECT_EQ(width, ListView_GetColumnWidth(::GetDlgItem(window, listId), column));
    EXPECT_EQ(std::vector<std::wstring>{}, LayoutFaults(window));

    ::ShowWindow(window, SW_MAXIMIZE);
    close(window);
    window = open();
    EXPECT_TRUE(::IsZoomed(window)) << "closed maximised";
    ::ShowWindow(window, SW_RESTORE);
    ::GetWindowRect(window, &reopened);
    EXPECT_TRUE(::EqualRect(&frame, &reopened)) << "the frame from before it was maximised";
    close(window);

    // The monitor it was on is gone: it comes back whole onto the work area.
    TWindowMemory gone = *LoadWindowMemory(memoryName);
    ::OffsetRect(&gone.Frame, -30000, 20000);
    gone.Maximized = false;
    SaveWindowMemory(memoryName, gone);
    window = open();
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(window, &reopened);
    RECT inside{};
    EXPECT_TRUE(::IntersectRect(&inside, &reopened, &work) && ::EqualRect(&inside, &reopened))
        << "at " << reopened.left << "," << reopened.top;
    close(window);
}
