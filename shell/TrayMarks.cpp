#include "TrayMarks.h"

#include "UniqueHandle.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kBadgeRed = 0xFFD32F2F;  // opaque, A R G B as a DWORD (BGRA in memory)
constexpr uint32_t kBadgeRim = 0xFFFFFFFF;
constexpr uint32_t kMoon = 0xFF2C3E8C;
constexpr uint32_t kMoonRim = 0xFFFFFFFF;

uint32_t Channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

// Source over destination for premultiplied pixels, the source at `coverage`/255.
uint32_t Over(uint32_t destination, uint32_t source, uint32_t coverage) {
    uint32_t out = 0;
    for (int shift : {0, 8, 16, 24}) {
        const uint32_t s = Channel(source, shift) * coverage / 255;
        const uint32_t sa = Channel(source, 24) * coverage / 255;
        const uint32_t d = Channel(destination, shift);
        out |= std::min<uint32_t>(255, s + d * (255 - sa) / 255) << shift;
    }
    return out;
}

// A disc with a rim one pixel wide; `keep` leaves out the points it returns true for.
template <class Keep>
void Disc(std::vector<uint32_t>& pixels, int size, double cx, double cy, double radius, uint32_t fill, uint32_t rim,
          Keep keep) {
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double dx = x - cx, dy = y - cy;
            const double distance = std::sqrt(dx * dx + dy * dy);
            if (distance > radius + 0.5 || keep(x, y)) continue;
            uint32_t& pixel = pixels[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)];
            pixel = distance > radius - 0.7 ? rim : fill;
        }
}

}  // namespace

std::wstring MissedBadgeText(int64_t missed) {
    if (missed <= 0) return {};
    return missed > 9 ? L"9+" : std::to_wstring(missed);
}

RECT BadgeRect(int size) {
    // Over half the icon, and three quarters of the smallest ones, so that a
    // digit stays readable at 16 pixels.
    const int side = size < 20 ? (size * 3 + 3) / 4 : std::max(7, (size * 5 + 4) / 8);
    return {size - side, 0, size, side};
}

void PaintTrayMarks(std::vector<uint32_t>& pixels, int size, const TTrayMarks& marks,
                    const std::vector<uint8_t>& badgeText) {
    const size_t count = static_cast<size_t>(std::max(size, 0)) * static_cast<size_t>(std::max(size, 0));
    if (size <= 0 || pixels.size() < count) return;
    if (marks.Quiet) {
        // A crescent moon in the lower left corner: a disc less a disc moved up and right.
        const double radius = size * 0.24;
        const double cx = radius + 0.5, cy = size - radius - 0.5;
        const double cutX = cx + radius * 0.55, cutY = cy - radius * 0.45, cut = radius * 0.8;
        Disc(pixels, size, cx, cy, radius, kMoon, kMoonRim, [&](int x, int y) {
            const double dx = x - cutX, dy = y - cutY;
            return std::sqrt(dx * dx + dy * dy) < cut;
        });
    }
    if (marks.Missed > 0) {
        const RECT badge = BadgeRect(size);
        const double radius = (badge.right - badge.left) / 2.0 - 0.5;
        const double cx = badge.left + radius, cy = badge.top + radius;
        Disc(pixels, size, cx, cy, radius, kBadgeRed, kBadgeRim, [](int, int) { return false; });
        if (badgeText.size() >= count)
            for (size_t i = 0; i < count; ++i)
                if (badgeText[i] > 0) pixels[i] = Over(pixels[i], 0xFFFFFFFF, badgeText[i]);
    }
}

namespace {

// A 32-bit top-down DIB section of size x size and its pixels.
UniqueGdiObject MakeDib(HDC dc, int size, uint32_t*& bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* raw = nullptr;
    UniqueGdiObject dib(::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &raw, nullptr, 0));
    bits = static_cast<uint32_t*>(raw);
    return dib;
}

// The coverage of the badge's text, drawn white on black, bold, centred in the badge.
std::vector<uint8_t> BadgeTextCoverage(HDC screen, int size, const std::wstring& text) {
    uint32_t* bits = nullptr;
    UniqueGdiObject dib = MakeDib(screen, size, bits);
    UniqueMemoryDC memory(::CreateCompatibleDC(screen));
    if (!dib || !bits || !memory) return {};
    const RECT badge = BadgeRect(size);
    LOGFONTW font{};
    // The digit fills most of the badge; two characters a little less.
    font.lfHeight = -std::max(6L, (badge.bottom - badge.top) * (text.size() > 1 ? 7 : 9) / 10);
    font.lfWeight = FW_BOLD;
    // Small digits stay sharper without smoothing.
    font.lfQuality = size < 20 ? NONANTIALIASED_QUALITY : ANTIALIASED_QUALITY;
    wcscpy_s(font.lfFaceName, L"Tahoma");
    UniqueGdiObject handle(::CreateFontIndirectW(&font));
    {
        SelectedObject selectedBitmap(memory.get(), dib.get());
        SelectedObject selectedFont(memory.get(), handle.get());
        RECT all{0, 0, size, size};
        ::FillRect(memory.get(), &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::SetBkMode(memory.get(), TRANSPARENT);
        ::SetTextColor(memory.get(), RGB(255, 255, 255));
        RECT place = badge;
        ::DrawTextW(memory.get(), text.c_str(), static_cast<int>(text.size()), &place,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    }
    ::GdiFlush();
    std::vector<uint8_t> coverage(static_cast<size_t>(size) * static_cast<size_t>(size));
    for (size_t i = 0; i < coverage.size(); ++i)
        coverage[i] = static_cast<uint8_t>(std::max({Channel(bits[i], 0), Channel(bits[i], 8), Channel(bits[i], 16)}));
    return coverage;
}

}  // namespace

HICON DrawTrayMarks(HICON base, const TTrayMarks& marks, int size) {
    if (!base || size <= 0 || marks == TTrayMarks{}) return nullptr;
    WindowDC screen(nullptr);
    uint32_t* bits = nullptr;
    UniqueGdiObject color = MakeDib(screen.get(), size, bits);
    UniqueGdiObject mask(::CreateBitmap(size, size, 1, 1, nullptr));
    if (!color || !mask || !bits) return nullptr;
    const size_t count = static_cast<size_t>(size) * static_cast<size_t>(size);
    {
        UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
        if (!memory) return nullptr;
        SelectedObject selected(memory.get(), color.get());
        ::DrawIconEx(memory.get(), 0, 0, base, size, size, 0, nullptr, DI_NORMAL);
    }
    ::GdiFlush();
    std::vector<uint32_t> pixels(bits, bits + count);
    // An icon without an alpha channel leaves every alpha at 0: its mask says
    // what is transparent, and what it drew is opaque.
    if (std::none_of(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 24) != 0; })) {
        uint32_t* maskBits = nullptr;
        UniqueGdiObject maskDib = MakeDib(screen.get(), size, maskBits);
        UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
        if (maskDib && maskBits && memory) {
            {
                SelectedObject selected(memory.get(), maskDib.get());
                ::DrawIconEx(memory.get(), 0, 0, base, size, size, 0, nullptr, DI_MASK);
            }
            ::GdiFlush();
            for (size_t i = 0; i < count; ++i)
                if ((maskBits[i] & 0xFFFFFF) == 0) pixels[i] |= 0xFF000000;
        }
    }
    PaintTrayMarks(pixels, size, marks, BadgeTextCoverage(screen.get(), size, MissedBadgeText(marks.Missed)));
    std::copy(pixels.begin(), pixels.end(), bits);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = static_cast<HBITMAP>(color.get());
    info.hbmMask = static_cast<HBITMAP>(mask.get());
    return ::CreateIconIndirect(&info);
}
