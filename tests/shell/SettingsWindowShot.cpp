// settings-shot.exe OUT.bmp [popups|window [Key=Value...]]: starts the real tray program (not
// connected), opens its settings window and saves what the screen shows of it
// as a 24-bit BMP; with "popups", the preview popup is shown first. For the
// screenshots in docs/ (scripts/screenshots).
#include "InformerProcess.h"
#include "MainFormRes.h"
#include "TestFolders.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool SaveBitmap(const RECT& area, const std::wstring& path) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    WindowDC screen(nullptr);
    UniqueGdiObject bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    HDC memory = ::CreateCompatibleDC(screen.get());
    const HGDIOBJ old = ::SelectObject(memory, bitmap.get());
    ::BitBlt(memory, 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    ::SelectObject(memory, old);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
    ::GetDIBits(memory, static_cast<HBITMAP>(bitmap.get()), 0, static_cast<UINT>(height), pixels.data(),
                reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ::DeleteDC(memory);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    UniqueFileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!out) return false;
    DWORD done = 0;
    return ::WriteFile(out.get(), &file, sizeof(file), &done, nullptr) &&
           ::WriteFile(out.get(), &header, sizeof(header), &done, nullptr) &&
           ::WriteFile(out.get(), pixels.data(), static_cast<DWORD>(pixels.size()), &done, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: settings-shot OUT.bmp [popups]\n", stderr);
        return 2;
    }
    const bool popups = argc > 2 && std::wstring(argv[2]) == L"popups";
    std::vector<std::wstring> lines{L"UseRemoteDB=1", L"TrayMsgAnimate=0", L"IsNameBold=1"};
    for (int i = 3; i < argc; ++i) lines.push_back(argv[i]);
    InformerProcess informer({UniqueSimSession(), false, {}, lines});
    HWND window = informer.MainWindow();
    if (!window) return 1;
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_PMNUOPTIONS, 0), 0);
    ::Sleep(4000);
    RECT area{};
    ::GetWindowRect(window, &area);
    if (popups) {
        ::PostMessageW(::GetDlgItem(window, IDC_SHOWHIDEPREVIEWWINDOWBUTTON), BM_CLICK, 0, 0);
        ::Sleep(1500);
        // The whole screen: the window and the popup in its corner.
        area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const bool saved = SaveBitmap(area, argv[1]);
    informer.Exit();
    return saved ? 0 : 1;
}
