// Where popups go, how the rows wrap and how the slide moves: plain arithmetic,
// no windows.
#include <gtest/gtest.h>

#include "PopupLayout.h"

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

RECT Area(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }

TPopupLayoutSettings Defaults(TTrayMsgPos pos, TTrayMsgAnimate animate) {
    TPopupLayoutSettings settings;
    settings.Pos = pos;
    settings.Animate = animate;
    return settings;
}

struct PlacementCase {
    TTrayMsgPos pos;
    TTrayMsgAnimate animate;
    int row;
    POINT end;
    POINT start;
};

}  // namespace

// Work area at (100, 40), 1920 x 1040, default sizes (182 x 162, displacement 182).
TEST(PopupLayout, EndAndStartForEveryCornerAndEntryOnAnOffsetWorkArea) {
    const RECT area = Area(100, 40, 1920, 1040);
    const PlacementCase cases[] = {
        {tmpLeftTop, tmaNone, 1, {282, 202}, {282, 202}},
        {tmpLeftTop, tmaVertical, 1, {282, 202}, {282, -122}},
        {tmpLeftTop, tmaHorizontal, 1, {282, 202}, {-82, 202}},
        {tmpRighTop, tmaNone, 1, {1656, 202}, {1656, 202}},
        {tmpRighTop, tmaVertical, 1, {1656, 202}, {1656, -122}},
        {tmpRighTop, tmaHorizontal, 1, {1656, 202}, {2020, 202}},
        {tmpLeftBottom, tmaNone, 1, {282, 756}, {282, 756}},
        {tmpLeftBottom, tmaVertical, 1, {282, 756}, {282, 1080}},
        {tmpLeftBottom, tmaHorizontal, 1, {282, 756}, {-82, 756}},
        {tmpRighBottom, tmaNone, 1, {1656, 756}, {1656, 756}},
        {tmpRighBottom, tmaVertical, 1, {1656, 756}, {1656, 1080}},
        {tmpRighBottom, tmaHorizontal, 1, {1656, 756}, {2020, 756}},
        // Row 0 touches the corner's edge.
        {tmpLeftTop, tmaVertical, 0, {282, 40}, {282, -122}},
        {tmpRighBottom, tmaHorizontal, 0, {1656, 918}, {2020, 918}},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "corner " << c.pos << " entry " << c.animate << " row " << c.row);
        const TPopupPlacement placement = PlacePopup(area, Defaults(c.pos, c.animate), c.row);
        EXPECT_EQ(c.end.x, placement.End.x);
        EXPECT_EQ(c.end.y, placement.End.y);
        EXPECT_EQ(c.start.x, placement.Start.x);
        EXPECT_EQ(c.start.y, placement.Start.y);
        EXPECT_EQ(182, placement.Size.cx);
        EXPECT_EQ(162, placement.Size.cy);
        EXPECT_EQ(c.row, placement.Row);
    }
}

TEST(PopupLayout, DefaultColumnAtTheBottomRightStacksUpwards) {
    const RECT area = Area(0, 0, 1920, 1040);
    const TPopupLayoutSettings settings = Defaults(tmpRighBottom, tmaVertical);
    const int expectedTops[] = {878, 716, 554, 392};
    for (int row = 0; row < 4; ++row) {
        const TPopupPlacement placement = PlacePopup(area, settings, row);
        EXPECT_EQ(1556, placement.End.x);
        EXPECT_EQ(expectedTops[row], placement.End.y);
        EXPECT_EQ(1556, placement.Start.x);
        EXPECT_EQ(1040, placement.Start.y);
    }
}

TEST(PopupLayout, OutOfRangeCornerAndEntryActAsTheDefaults) {
    const RECT area = Area(0, 0, 1920, 1040);
    const TPopupPlacement expected = PlacePopup(area, Defaults(tmpRighBottom, tmaVertical), 2);
    for (int bad : {-1, 4, 42, INT_MAX}) {
        const TPopupPlacement placement =
            PlacePopup(area, Defaults(static_cast<TTrayMsgPos>(bad), static_cast<TTrayMsgAnimate>(bad)), 2);
        EXPECT_EQ(expected.End.x, placement.End.x) << bad;
        EXPECT_EQ(expected.End.y, placement.End.y) << bad;
        EXPECT_EQ(expected.Start.x, placement.Start.x) << bad;
        EXPECT_EQ(expected.Start.y, placement.Start.y) << bad;
    }
    EXPECT_EQ(tmaNone, EffectiveTrayMsgAnimate(tmaNone));
    EXPECT_EQ(tmpLeftTop, EffectiveTrayMsgPos(tmpLeftTop));
}

// Nonsense sizes and distances still give a popup wholly inside the work area.
TEST(PopupLayout, NonsenseSettingsKeepThePopupInsideTheWorkArea) {
    struct Case {
        const char* name;
        TTrayMsgPos pos;
        int width, height, displacement, row;
        SIZE size;
        POINT end;
    };
    const Case cases[] = {
        {"zero size", tmpRighBottom, 0, 0, 182, 0, {60, 60}, {1678, 980}},
        {"negative size", tmpLeftTop, -20, -5, 182, 1, {60, 60}, {182, 60}},
        {"wider and taller than the area", tmpRighBottom, 5000, 5000, 182, 0, {1920, 1040}, {0, 0}},
        {"negative displacement", tmpLeftTop, 182, 162, -50, 0, {182, 162}, {0, 0}},
        {"negative displacement, right", tmpRighTop, 182, 162, -50, 0, {182, 162}, {1738, 0}},
        {"displacement beyond the area, left", tmpLeftBottom, 182, 162, 5000, 0, {182, 162}, {1738, 878}},
        {"displacement beyond the area, right", tmpRighBottom, 182, 162, 5000, 0, {182, 162}, {0, 878}},
        {"huge displacement", tmpLeftTop, 182, 162, INT_MAX, 0, {182, 162}, {1738, 0}},
        // Rows 0..5 fit into 1040 pixels; row 6 would stick out and becomes row 0.
        {"last row that fits", tmpLeftTop, 182, 162, 182, 5, {182, 162}, {182, 810}},
        {"row below the area", tmpLeftTop, 182, 162, 182, 6, {182, 162}, {182, 0}},
        {"row above the area", tmpRighBottom, 182, 162, 182, 6, {182, 162}, {1556, 878}},
    };
    const RECT area = Area(0, 0, 1920, 1040);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPopupLayoutSettings settings = Defaults(c.pos, tmaNone);
        settings.WinWidth = c.width;
        settings.WinHeight = c.height;
        settings.Displacement = c.displacement;
        const TPopupPlacement placement = PlacePopup(area, settings, c.row);
        EXPECT_EQ(c.size.cx, placement.Size.cx);
        EXPECT_EQ(c.size.cy, placement.Size.cy);
        EXPECT_EQ(c.end.x, placement.End.x);
        EXPECT_EQ(c.end.y, placement.End.y);
        EXPECT_GE(placement.End.x, area.left);
        EXPECT_GE(placement.End.y, area.top);
        EXPECT_LE(placement.End.x + placement.Size.cx, area.right);
        EXPECT_LE(placement.End.y + placement.Size.cy, area.bottom);
    }
}

TEST(PopupLayout, WorkAreaSmallerThanTheSmallestPopupStillGivesAPopup) {
    const TPopupPlacement placement = PlacePopup(Area(10, 20, 30, 30), Defaults(tmpRighBottom, tmaVertical), 3);
    EXPECT_EQ(kMinPopupWidth, placement.Size.cx);
    EXPECT_EQ(kMinPopupHeight, placement.Size.cy);
    EXPECT_EQ(0, placement.Row);
    EXPECT_EQ(10, placement.End.x);
}

TEST(PopupLayout, RowIndexWrapsAtRows) {
    struct Case {
        int row, rows, next;
    };
    const Case cases[] = {
        {0, 4, 1}, {2, 4, 3}, {3, 4, 0},  // the default column of four
        {3, 2, 0},                        // rows lowered below the current row
        {0, 1, 0}, {0, 0, 0}, {0, -3, 0}, // one row or less: always row 0
        {INT_MAX - 1, INT_MAX, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.next, NextRowIndex(c.row, c.rows)) << c.row << " of " << c.rows;
}

TEST(PopupSlide, FollowsAQuarterSineForTwoHundredFiftyMilliseconds) {
    struct Case {
        uint32_t elapsed;
        POINT expected;
    };
    // From (1556, 1040) to (1556, 878), and from (1920, 300) to (1556, 300).
    const Case vertical[] = {
        {0, {1556, 1040}}, {50, {1556, 989}}, {125, {1556, 925}}, {249, {1556, 878}}, {250, {1556, 878}},
        {100000, {1556, 878}}, {UINT32_MAX, {1556, 878}},
    };
    for (const Case& c : vertical) {
        const POINT place = SlidePosition({1556, 878}, 0, -162, c.elapsed);
        EXPECT_EQ(c.expected.x, place.x) << c.elapsed;
        EXPECT_EQ(c.expected.y, place.y) << c.elapsed;
    }
    const Case horizontal[] = {{0, {1920, 300}}, {125, {1662, 300}}, {250, {1556, 300}}};
    for (const Case& c : horizontal) {
        const POINT place = SlidePosition({1556, 300}, -364, 0, c.elapsed);
        EXPECT_EQ(c.expected.x, place.x) << c.elapsed;
        EXPECT_EQ(c.expected.y, place.y) << c.elapsed;
    }
}

namespace {

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

bool Inside(const RECT& part, int width, int height) {
    return part.left >= 0 && part.top >= 0 && part.right <= width && part.bottom <= height && part.left < part.right &&
           part.top < part.bottom;
}

bool Overlap(const RECT& a, const RECT& b) {
    RECT common{};
    return ::IntersectRect(&common, &a, &b) != FALSE;
}

}  // namespace

TEST(PopupParts, TheDesignAt96DpiScaledWithTheDpi) {
    // The default popup (182 x 162 at 96 DPI) at each DPI, as the popup manager sizes it.
    const struct {
        int dpi;
        int width, height;
        int strip;
        RECT title, info, copy, editData, icon;
    } cases[] = {
        {96, 182, 162, 20, {24, 4, 178, 20}, {6, 22, 176, 126}, {157, 22, 176, 41}, {27, 129, 156, 154}, {5, 3, 21, 19}},
        {120, 227, 202, 25, {30, 5, 222, 25}, {8, 28, 219, 157}, {196, 28, 220, 52}, {34, 161, 195, 192},
         {6, 4, 26, 24}},
        {144, 273, 243, 30, {36, 6, 267, 30}, {9, 33, 264, 189}, {235, 33, 264, 62}, {40, 193, 234, 231},
         {8, 5, 32, 29}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        const TPopupParts parts = PopupParts(c.width, c.height, c.dpi, false);
        EXPECT_EQ(c.strip, parts.TitleStripBottom);
        EXPECT_EQ(Text(c.title), Text(parts.Title));
        EXPECT_EQ(Text(c.info), Text(parts.Info));
        EXPECT_EQ(Text(c.copy), Text(parts.Copy));
        EXPECT_EQ(Text(c.editData), Text(parts.EditData));
        EXPECT_EQ(Text(c.icon), Text(parts.Icon));
        EXPECT_TRUE(::IsRectEmpty(&parts.Crm));
    }
}

TEST(PopupParts, NothingOverlapsOrLeavesThePopupAtAnyDpiWithOrWithoutTheCrmButton) {
    for (int dpi : {96, 120, 144, 192})
        for (bool crm : {false, true}) {
            SCOPED_TRACE(std::to_string(dpi) + (crm ? " with CRM" : ""));
            const int width = ::MulDiv(182, dpi, 96);
            const int height = ::MulDiv(162, dpi, 96);
            const TPopupParts parts = PopupParts(width, height, dpi, crm);
            for (const RECT& part : {parts.Title, parts.Info, parts.Copy, parts.EditData, parts.Icon})
                EXPECT_TRUE(Inside(part, width, height)) << Text(part);
            EXPECT_LE(parts.Title.bottom, parts.Info.top) << "the title strip above the text";
            EXPECT_LE(parts.Info.bottom, parts.EditData.top) << "the buttons below the text";
            EXPECT_FALSE(Overlap(parts.Icon, parts.Title));
            if (crm) {
                EXPECT_TRUE(Inside(parts.Crm, width, height)) << Text(parts.Crm);
                EXPECT_FALSE(Overlap(parts.EditData, parts.Crm));
                EXPECT_EQ(parts.EditData.right - parts.EditData.left, parts.Crm.right - parts.Crm.left);
            }
        }
}

TEST(PopupParts, EveryButtonStaysReadableAndInsideAtEverySizeTheSettingsAllow) {
    const struct {
        bool crm, callback;
    } shown[] = {{false, true}, {true, true}, {true, false}};
    const SIZE sizes[] = {{0, 0}, {60, 60}, {100, 80}, {150, 100}, {182, 162}, {250, 120}, {400, 300}};
    for (int dpi : {96, 120, 144, 192})
        for (const auto& s : shown)
            for (const SIZE& setting : sizes) {
                const int buttons = 1 + s.crm + s.callback;
                SCOPED_TRACE(std::to_string(dpi) + " DPI, " + std::to_string(setting.cx) + "x" +
                             std::to_string(setting.cy) + ", " + std::to_string(buttons) + " buttons");
                const SIZE scaled{::MulDiv(setting.cx, dpi, 96), ::MulDiv(setting.cy, dpi, 96)};
                const SIZE size = ReadablePopupSize(scaled, dpi, buttons);
                EXPECT_GE(size.cx, scaled.cx);
                EXPECT_GE(size.cy, scaled.cy);
                const int width = static_cast<int>(size.cx), height = static_cast<int>(size.cy);
                const TPopupParts parts = PopupParts(width, height, dpi, s.crm, s.callback);
                std::vector<RECT> rects{parts.EditData};
                if (s.callback) rects.push_back(parts.Callback);
                if (s.crm) rects.push_back(parts.Crm);
                for (size_t i = 0; i < rects.size(); ++i) {
                    EXPECT_TRUE(Inside(rects[i], width, height)) << Text(rects[i]);
                    EXPECT_GE(rects[i].right - rects[i].left, ::MulDiv(kMinReadableButtonWidth, dpi, 96));
                    EXPECT_LE(parts.Info.bottom, rects[i].top) << "the text above every button";
                    EXPECT_GT(parts.Info.bottom, parts.Info.top) << "a line of text left";
                    for (size_t j = i + 1; j < rects.size(); ++j) EXPECT_FALSE(Overlap(rects[i], rects[j]));
                }
                if (s.callback) {
                    EXPECT_EQ(parts.EditData.top, parts.Callback.top) << "beside";
                    EXPECT_LT(parts.EditData.right, parts.Callback.left) << "in reading order";
                }
            }
    // The default popup at 96 DPI: the two side by side; a third button goes to a row below.
    const TPopupParts pair = PopupParts(182, 162, 96, false, true);
    EXPECT_EQ(pair.EditData.top, pair.Callback.top);
    const TPopupParts three = PopupParts(182, 162, 96, true, true);
    EXPECT_EQ(three.EditData.top, three.Callback.top);
    EXPECT_GT(three.Crm.top, three.Callback.top) << "the third button in a row of its own below";
    // One button: the size is the popup's own, as it always was.
    EXPECT_EQ(60, ReadablePopupSize({60, 60}, 96, 1).cx);
}
