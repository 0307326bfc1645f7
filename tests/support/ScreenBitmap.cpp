#include "ScreenBitmap.h"

#include "UniqueHandle.h"

#include <vector>

bool SaveBitmap(const RECT& wanted, const std::wstring& path) {
    // Wine copies nothing at all, leaving a black picture, when part of the
    // area lies off the screen; so only the part on the screen is taken.
    const int screenLeft = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int screenTop = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const RECT screenArea{screenLeft, screenTop, screenLeft + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                          screenTop + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    RECT area{};
    if (!::IntersectRect(&area, &wanted, &screenArea)) return false;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    WindowDC screen(nullptr);
    UniqueGdiObject bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    UniqueMemoryDC memoryDC(::CreateCompatibleDC(screen.get()));
    const HDC memory = memoryDC.get();
    const HGDIOBJ old = ::SelectObject(memory, bitmap.get());
    const bool copied = ::BitBlt(memory, 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    ::SelectObject(memory, old);
    if (!copied) return false;

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
