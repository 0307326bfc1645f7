// Where popups go, how the rows wrap and how the slide moves: plain arithmetic,
// no windows.
#include <gtest/gtest.h>

#include "PopupLayout.h"

#include <climits>
#include <cstdint>

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
