// Which monitor the popups go to and where on it, over lists of monitors that
// Wine cannot show: several monitors with their own DPIs, task bars on every
// edge, negative coordinates and a monitor that was unplugged.
#include "MonitorPlacement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TMonitor Monitor(RECT bounds, RECT work, int dpi, bool primary, int number) { return {bounds, work, dpi, primary, number}; }

// Left of the primary one at 144 DPI with its task bar on the left; the primary
// at 96 DPI with the task bar at the bottom; above it at 120 DPI with the task bar on top.
const std::vector<TMonitor> kThree = {
    Monitor({-2880, 0, 0, 1620}, {-2820, 0, 0, 1620}, 144, false, 2),
    Monitor({0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96, true, 1),
    Monitor({0, -1200, 1920, 0}, {0, -1150, 1920, 0}, 120, false, 3),
};

TEST(ChooseMonitor, PrimaryPointerOrChosenWithTheFallbacksOfAMonitorThatIsGone) {
    const struct {
        const char* what;
        int setting;
        POINT pointer;
        int index;
    } cases[] = {
        {"primary", kMonitorPrimary, {-100, 100}, 1},
        {"pointer on the left one", kMonitorPointer, {-100, 100}, 0},
        {"pointer on the one above", kMonitorPointer, {5, -5}, 2},
        {"pointer on the primary's edge", kMonitorPointer, {0, 0}, 1},
        {"pointer outside every monitor", kMonitorPointer, {5000, 5000}, 1},
        {"chosen number 2", MonitorSettingFor(2), {0, 0}, 0},
        {"chosen number 3", MonitorSettingFor(3), {0, 0}, 2},
        {"chosen monitor unplugged", MonitorSettingFor(4), {-100, 100}, 1},
        {"nonsense setting", -7, {-100, 100}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.index, ChooseMonitor(kThree, c.setting, c.pointer));
    }
    EXPECT_EQ(-1, ChooseMonitor({}, kMonitorPointer, {0, 0}));
    // No monitor says it is the primary one: the first is taken.
    std::vector<TMonitor> unflagged = kThree;
    for (TMonitor& monitor : unflagged) monitor.Primary = false;
    EXPECT_EQ(0, ChooseMonitor(unflagged, kMonitorPrimary, {0, 0}));
}

TEST(PlacePopupOnMonitor, RowsLieInTheChosenMonitorsWorkAreaAtItsDpiWhereverItsTaskBarIs) {
    TPopupLayoutSettings layout;  // 182 x 162 at 96 DPI, bottom right, displacement 182
    const struct {
        const char* what;
        std::vector<TMonitor> monitors;
        int setting;
        TTrayMsgPos pos;
        int row;
        RECT expected;  // the popup's resting rectangle
        int dpi;
    } cases[] = {
        {"primary, task bar at the bottom", kThree, kMonitorPrimary, tmpRighBottom, 0, {1556, 878, 1738, 1040}, 96},
        {"second row above the first", kThree, kMonitorPrimary, tmpRighBottom, 1, {1556, 716, 1738, 878}, 96},
        {"left monitor at 144 DPI, task bar on the left", kThree, MonitorSettingFor(2), tmpLeftTop, 0,
         {-2820 + 273, 0, -2820 + 273 + 273, 243}, 144},
        {"left monitor, bottom right: negative coordinates", kThree, MonitorSettingFor(2), tmpRighBottom, 0,
         {-546, 1377, -273, 1620}, 144},
        {"monitor above at 120 DPI, task bar on top", kThree, MonitorSettingFor(3), tmpRighTop, 0,
         {1920 - 228 - 228, -1150, 1920 - 228, -1150 + 203}, 120},
        {"monitor above, bottom left", kThree, MonitorSettingFor(3), tmpLeftBottom, 0, {228, -203, 456, 0}, 120},
        {"task bar on the right", {Monitor({0, 0, 1280, 1024}, {0, 0, 1218, 1024}, 96, true, 1)}, kMonitorPrimary,
         tmpRighBottom, 0, {1218 - 182 - 182, 862, 1218 - 182, 1024}, 96},
        {"task bar on the left", {Monitor({0, 0, 1280, 1024}, {62, 0, 1280, 1024}, 96, true, 1)}, kMonitorPrimary,
         tmpLeftBottom, 0, {62 + 182, 862, 62 + 364, 1024}, 96},
        {"chosen one unplugged: the primary", kThree, MonitorSettingFor(9), tmpRighBottom, 0, {1556, 878, 1738, 1040},
         96},
        {"no monitors: the fallback work area", {}, kMonitorPointer, tmpRighBottom, 0, {436, 838, 618, 1000}, 96},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        layout.Pos = c.pos;
        const TMonitorPlacement placed =
            PlacePopupOnMonitor(c.monitors, c.setting, {0, 0}, layout, c.row, 1, {0, 0, 800, 1000}, 96);
        const TPopupPlacement& p = placed.Placement;
        const RECT rest{p.End.x, p.End.y, p.End.x + p.Size.cx, p.End.y + p.Size.cy};
        EXPECT_EQ(c.dpi, placed.Dpi);
        EXPECT_EQ(c.expected.left, rest.left);
        EXPECT_EQ(c.expected.top, rest.top);
        EXPECT_EQ(c.expected.right, rest.right);
        EXPECT_EQ(c.expected.bottom, rest.bottom);
        // Wholly inside the work area of the monitor used.
        const RECT work = placed.Monitor >= 0 ? c.monitors[static_cast<size_t>(placed.Monitor)].WorkArea
                                              : RECT{0, 0, 800, 1000};
        EXPECT_TRUE(rest.left >= work.left && rest.right <= work.right && rest.top >= work.top &&
                    rest.bottom <= work.bottom);
    }
}

TEST(PlacePopupOnMonitor, ThePopupGrowsForReadableButtonsAtTheMonitorsDpi) {
    TPopupLayoutSettings layout;
    layout.WinWidth = 60;
    layout.WinHeight = 60;
    for (const TMonitor& monitor : kThree) {
        SCOPED_TRACE(monitor.Dpi);
        const TMonitorPlacement placed = PlacePopupOnMonitor({monitor}, kMonitorPrimary, {0, 0}, layout, 0, 3, {}, 96);
        EXPECT_EQ(ReadablePopupSize({::MulDiv(60, monitor.Dpi, 96), ::MulDiv(60, monitor.Dpi, 96)}, monitor.Dpi, 3).cx,
                  placed.Placement.Size.cx);
        EXPECT_GE(placed.Placement.Size.cx, ::MulDiv(2 * kMinReadableButtonWidth, monitor.Dpi, 96));
    }
}

}  // namespace
