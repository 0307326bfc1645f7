// The virtual display is real: a layered, always-on-top window is shown and the
// colour it paints is read back from the screen.
#include <gtest/gtest.h>

#include "MessagePump.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

constexpr COLORREF kPaint = RGB(96, 192, 255);

LRESULT CALLBACK PaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        UniqueGdiObject brush(::CreateSolidBrush(kPaint));
        RECT client;
        ::GetClientRect(window, &client);
        ::FillRect(dc, &client, static_cast<HBRUSH>(brush.get()));
        ::EndPaint(window, &paint);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TEST(VirtualDisplay, LayeredTopmostWindowShowsWhatItPaints) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = PaintProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KordavinHarnessLayered";
    ::RegisterClassW(&windowClass);

    UniqueWindow window(::CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                                          windowClass.lpszClassName, L"", WS_POPUP, 200, 150, 120, 80, nullptr,
                                          nullptr, windowClass.hInstance, nullptr));
    ASSERT_TRUE(window);
    ASSERT_TRUE(::SetLayeredWindowAttributes(window.get(), 0, 223, LWA_ALPHA));
    ::ShowWindow(window.get(), SW_SHOWNOACTIVATE);
    ::UpdateWindow(window.get());
    PumpFor(300);

    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(::GetLayeredWindowAttributes(window.get(), nullptr, &alpha, &flags));
    EXPECT_EQ(223, alpha);
    EXPECT_TRUE(flags & LWA_ALPHA);
    EXPECT_TRUE(::GetWindowLongW(window.get(), GWL_EXSTYLE) & WS_EX_TOPMOST);

    // Xvfb has no compositor, so the screen shows the layered window opaque.
    WindowDC screen(nullptr);
    EXPECT_EQ(kPaint, ::GetPixel(screen.get(), 260, 190));
    EXPECT_EQ(kPaint, ::GetPixel(screen.get(), 201, 151));
}
