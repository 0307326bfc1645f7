#include "TrayState.h"

#include "MainFormRes.h"
#include "ResourceText.h"
#include "UniqueHandle.h"

namespace {

constexpr uint32_t kAmber = 0xFFF0A000;  // opaque, BGRA as a DWORD: A R G B
constexpr uint32_t kDotEdge = 0xFF000000;

uint32_t Channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

}  // namespace

TTrayLook TrayLook(TConnectionState state, const std::wstring& caption, const std::wstring& reasonText) {
    switch (state) {
    case TConnectionState::Connected: return {TTrayMark::None, caption};
    case TConnectionState::Reconnecting:
        return {TTrayMark::Reconnecting, caption + L"\n" + FormatResourceString(IDS_TRAY_RECONNECTING, reasonText)};
    case TConnectionState::Off: return {TTrayMark::Off, caption + L"\n" + LoadResourceString(IDS_TRAY_OFF)};
    }
    return {TTrayMark::None, caption};
}

void MarkTrayPixels(std::vector<uint32_t>& pixels, int size, TTrayMark mark) {
    if (size <= 0 || pixels.size() < static_cast<size_t>(size) * static_cast<size_t>(size)) return;
    if (mark == TTrayMark::Off) {
        for (uint32_t& pixel : pixels) {
            // Grey by luminance, at half the opacity; premultiplied stays premultiplied.
            const uint32_t grey = (Channel(pixel, 16) * 77 + Channel(pixel, 8) * 150 + Channel(pixel, 0) * 29) >> 9;
            const uint32_t alpha = Channel(pixel, 24) / 2;
            pixel = (alpha << 24) | (grey << 16) | (grey << 8) | grey;
        }
        return;
    }
    if (mark != TTrayMark::Reconnecting) return;
    // A dot of about 40% of the icon in its lower right corner, with a dark rim.
    const double radius = size * 0.2;
    const double centre = size - radius - 0.5;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double dx = x - centre;
            const double dy = y - centre;
            const double distance2 = dx * dx + dy * dy;
            if (distance2 > (radius + 0.5) * (radius + 0.5)) continue;
            pixels[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)] =
                distance2 > (radius - 0.8) * (radius - 0.8) ? kDotEdge : kAmber;
        }
}

HICON DrawTrayIcon(HICON plain, TTrayMark mark, int size) {
    if (size <= 0) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    WindowDC screen(nullptr);
    void* bits = nullptr;
    UniqueGdiObject color(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueGdiObject mask(::CreateBitmap(size, size, 1, 1, nullptr));
    if (!color || !mask || !bits) return nullptr;
    const size_t count = static_cast<size_t>(size) * static_cast<size_t>(size);
    {
        UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
        if (!memory) return nullptr;
        SelectedObject selected(memory.get(), color.get());
        ::DrawIconEx(memory.get(), 0, 0, plain, size, size, 0, nullptr, DI_NORMAL);
    }
    ::GdiFlush();
    std::vector<uint32_t> pixels(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + count);
    // An icon without an alpha channel leaves every alpha at 0: its mask says
    // what is transparent, and what the icon drew is opaque.
    bool anyAlpha = false;
    for (uint32_t pixel : pixels) anyAlpha = anyAlpha || (pixel >> 24) != 0;
    if (!anyAlpha) {
        UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
        std::vector<uint32_t> masked(count, 0);
        {
            SelectedObject selected(memory.get(), color.get());
            ::SetDIBits(memory.get(), static_cast<HBITMAP>(color.get()), 0, static_cast<UINT>(size), masked.data(),
                        &info, DIB_RGB_COLORS);
            ::DrawIconEx(memory.get(), 0, 0, plain, size, size, 0, nullptr, DI_MASK);
        }
        ::GdiFlush();
        for (size_t i = 0; i < count; ++i)
            pixels[i] = (static_cast<uint32_t*>(bits)[i] & 0x00FFFFFF) == 0 ? (pixels[i] | 0xFF000000) : 0;
    }
    MarkTrayPixels(pixels, size, mark);
    std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(bits));
    ICONINFO icon{};
    icon.fIcon = TRUE;
    icon.hbmColor = static_cast<HBITMAP>(color.get());
    icon.hbmMask = static_cast<HBITMAP>(mask.get());
    return ::CreateIconIndirect(&icon);
}
