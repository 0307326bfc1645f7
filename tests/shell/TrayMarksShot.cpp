// tray-marks-shot.exe OUT.bmp: the tray icon's marks (none, missed calls, more
// than nine, quiet, quiet with a missed call) at the small-icon sizes of 96 and
// 144 DPI, each shown four times larger, saved as a 24-bit BMP. For docs/
// (scripts/screenshots): the notification area itself is not on Wine's screen.
#include "ScreenBitmap.h"
#include "TrayMarks.h"
#include "UniqueHandle.h"
#include "resource.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int kZoom = 4;
constexpr int kGap = 12;
constexpr int kCell = 24 * kZoom + kGap;
constexpr int kSizes[] = {16, 24};

struct Shown {
    int size;
    HICON icon;
};
std::vector<Shown> gShown;  // the icons in rows of five, drawn at every paint

LRESULT CALLBACK ShotProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return ::DefWindowProcW(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(window, &paint);
    for (size_t i = 0; i < gShown.size(); ++i) {
        const int column = static_cast<int>(i % 5), row = static_cast<int>(i / 5);
        ::DrawIconEx(dc, kGap + column * kCell, kGap + row * kCell, gShown[i].icon, gShown[i].size * kZoom,
                     gShown[i].size * kZoom, 0, nullptr, DI_NORMAL);
    }
    ::EndPaint(window, &paint);
    return 0;
}

void PumpFor(DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (::GetTickCount64() < end) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        ::Sleep(10);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: tray-marks-shot OUT.bmp\n", stderr);
        return 2;
    }
    const HICON app = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APPICON), IMAGE_ICON, 32, 32, LR_SHARED));
    const TTrayMarks states[] = {{false, 0}, {false, 3}, {false, 12}, {true, 0}, {true, 1}};
    std::vector<UniqueIcon> owned;
    for (int size : kSizes)
        for (const TTrayMarks& marks : states) {
            owned.emplace_back(DrawTrayMarks(app, marks, size));
            gShown.push_back({size, owned.back() ? static_cast<HICON>(owned.back().get()) : app});
        }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ShotProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"KordavinTrayMarksShot";
    ::RegisterClassW(&windowClass);
    UniqueWindow window(::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", WS_POPUP,
                                          40, 40, kGap + 5 * kCell, kGap + 2 * kCell, nullptr, nullptr,
                                          windowClass.hInstance, nullptr));
    if (!window) return 1;
    ::ShowWindow(window.get(), SW_SHOWNOACTIVATE);
    ::UpdateWindow(window.get());
    PumpFor(1000);
    RECT area{};
    ::GetWindowRect(window.get(), &area);
    return SaveBitmap(area, argv[1]) ? 0 : 1;
}
