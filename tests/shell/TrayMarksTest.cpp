// The tray icon's marks for the operator: the quiet moon and the badge with the
// count of missed calls not yet seen, on pixels and on a real icon at each DPI's size.
#include "TrayMarks.h"
#include "UniqueHandle.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint32_t kPlain = 0xFF808080;

bool IsRed(uint32_t p) { return ((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 90 && (p & 0xFF) < 90; }
bool IsNavy(uint32_t p) { return (p & 0xFF) > 100 && ((p >> 16) & 0xFF) < 80; }
bool IsWhite(uint32_t p) { return (p & 0xFFFFFF) == 0xFFFFFF; }

// How many pixels of a quarter of the icon (0 upper left, 1 upper right, 2 lower left, 3 lower right) pass.
template <class Test> int InQuarter(const std::vector<uint32_t>& pixels, int size, int quarter, Test test) {
    int found = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if ((x >= size / 2) == (quarter % 2 == 1) && (y >= size / 2) == (quarter >= 2) &&
                test(pixels[static_cast<size_t>(y * size + x)]))
                ++found;
    return found;
}

TEST(TrayMarks, TheBadgeCountsToNineThenSaysMore) {
    EXPECT_EQ(L"", MissedBadgeText(0));
    EXPECT_EQ(L"", MissedBadgeText(-3));
    EXPECT_EQ(L"1", MissedBadgeText(1));
    EXPECT_EQ(L"9", MissedBadgeText(9));
    EXPECT_EQ(L"9+", MissedBadgeText(10));
    EXPECT_EQ(L"9+", MissedBadgeText(100000));
}

TEST(TrayMarks, TheMoonGoesLowerLeftTheBadgeUpperRightAndNothingElseChanges) {
    for (int size : {16, 20, 24, 32}) {
        SCOPED_TRACE(size);
        const struct {
            TTrayMarks marks;
            bool moon, badge;
        } cases[] = {{{false, 0}, false, false}, {{true, 0}, true, false}, {{false, 3}, false, true},
                     {{true, 12}, true, true}};
        for (const auto& c : cases) {
            std::vector<uint32_t> pixels(static_cast<size_t>(size * size), kPlain);
            PaintTrayMarks(pixels, size, c.marks);
            EXPECT_EQ(c.moon, InQuarter(pixels, size, 2, IsNavy) > size / 2);
            EXPECT_EQ(c.badge, InQuarter(pixels, size, 1, IsRed) > size);
            // The program's own picture shows in its upper left corner whatever the marks.
            for (int y = 0; y < size / 3; ++y)
                for (int x = 0; x < size / 4; ++x) EXPECT_EQ(kPlain, pixels[static_cast<size_t>(y * size + x)]);
        }
    }
}

// A real icon's pixels, top row first.
std::vector<uint32_t> IconPixels(HICON icon, int size) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return {};
    UniqueGdiObject color(info.hbmColor), mask(info.hbmMask);
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = size;
    header.bmiHeader.biHeight = -size;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(size * size));
    WindowDC screen(nullptr);
    if (::GetDIBits(screen.get(), static_cast<HBITMAP>(color.get()), 0, size, pixels.data(), &header, DIB_RGB_COLORS) !=
        size)
        return {};
    return pixels;
}

TEST(TrayMarks, TheIconAtEachDpisSizeCarriesTheCountInWhiteOnRed) {
    const HICON app = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APPICON), IMAGE_ICON, 32, 32, LR_SHARED));
    ASSERT_NE(nullptr, app);
    EXPECT_EQ(nullptr, DrawTrayMarks(app, {}, 16)) << "nothing to mark: the plain icon stays";
    for (int dpi : {96, 120, 144, 192}) {
        const int size = ::MulDiv(16, dpi, 96);
        SCOPED_TRACE(size);
        UniqueIcon one(DrawTrayMarks(app, {false, 1}, size));
        UniqueIcon two(DrawTrayMarks(app, {false, 2}, size));
        UniqueIcon quiet(DrawTrayMarks(app, {true, 0}, size));
        ASSERT_TRUE(one && two && quiet);
        const std::vector<uint32_t> onePixels = IconPixels(one.get(), size);
        const std::vector<uint32_t> twoPixels = IconPixels(two.get(), size);
        ASSERT_EQ(static_cast<size_t>(size * size), onePixels.size());
        EXPECT_GT(InQuarter(onePixels, size, 1, IsRed), size) << "the red badge";
        EXPECT_GT(InQuarter(onePixels, size, 1, IsWhite), 2) << "the digit on it";
        EXPECT_NE(onePixels, twoPixels) << "another count, another picture";
        EXPECT_GT(InQuarter(IconPixels(quiet.get(), size), size, 2, IsNavy), size / 2) << "the moon";
    }
}

}  // namespace
