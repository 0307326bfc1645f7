// What a window remembers of itself: the frame put back on a work area, and
// the values kept per user read back, or nothing when they are damaged.
#include "RegistryValues.h"
#include "UniqueHandle.h"
#include "WindowLayoutCheck.h"
#include "WindowMemory.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

}  // namespace

TEST(WindowMemory, AFrameIsPutWholeOntoTheWorkArea) {
    const RECT work{0, 0, 1280, 1000};
    const struct {
        const char* what;
        RECT frame;
        RECT expected;
    } cases[] = {
        {"inside: as it was", {100, 50, 900, 550}, {100, 50, 900, 550}},
        {"on a monitor to the left that is gone", {-1700, 100, -900, 600}, {0, 100, 800, 600}},
        {"on a monitor below that is gone", {300, 1500, 1100, 2000}, {300, 500, 1100, 1000}},
        {"sticking out on the right", {1000, 10, 1400, 310}, {880, 10, 1280, 310}},
        {"above the top", {10, -40, 410, 260}, {10, 0, 410, 300}},
        {"larger than the area", {-50, -50, 2000, 1600}, {0, 0, 1280, 1000}},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(c.expected), Text(FitFrameToWorkArea(c.frame, work))) << c.what;
    // A work area that does not start at the origin (a taskbar on the left).
    EXPECT_EQ(Text({60, 0, 460, 300}), Text(FitFrameToWorkArea({-500, 0, -100, 300}, {60, 0, 1280, 1000})));
}

TEST(WindowMemory, WhatIsSavedIsReadBackAndNothingWithoutAKey) {
    EXPECT_FALSE(LoadWindowMemory(L"Journal").has_value()) << "no key set: nothing remembered";
    const TTestWindowMemoryKey key;
    EXPECT_FALSE(LoadWindowMemory(L"Journal").has_value()) << "never saved";
    TWindowMemory saved;
    saved.Frame = {-1200, 40, -300, 640};
    saved.Dpi = 144;
    saved.Maximized = true;
    saved.ColumnWidths = {105, 0, 230};
    SaveWindowMemory(L"Journal", saved);
    const auto read = LoadWindowMemory(L"Journal");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(Text(saved.Frame), Text(read->Frame));
    EXPECT_EQ(144u, read->Dpi);
    EXPECT_TRUE(read->Maximized);
    EXPECT_EQ(saved.ColumnWidths, read->ColumnWidths);
    EXPECT_FALSE(LoadWindowMemory(L"Directory").has_value()) << "each window its own";
}

TEST(WindowMemory, DamagedValuesAreNoFrame) {
    const TTestWindowMemoryKey key;
    TWindowMemory saved;
    saved.Frame = {10, 10, 500, 400};
    SaveWindowMemory(L"Diagnostics", saved);
    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER,
                                             (WindowMemoryKey() + L"\\Diagnostics").c_str(), 0,
                                             KEY_SET_VALUE, &raw));
    const UniqueRegKey owner(raw);
    // Text where a number belongs.
    ASSERT_TRUE(WriteRegistryString(raw, L"Left", L"десять"));
    EXPECT_FALSE(LoadWindowMemory(L"Diagnostics").has_value());
    // A frame turned inside out.
    ASSERT_TRUE(WriteRegistryDword(raw, L"Left", 900));
    EXPECT_FALSE(LoadWindowMemory(L"Diagnostics").has_value());
    // A DPI no display has is read as 96, column widths that are no numbers as none.
    ASSERT_TRUE(WriteRegistryDword(raw, L"Left", 10));
    ASSERT_TRUE(WriteRegistryDword(raw, L"Dpi", 0));
    ASSERT_TRUE(WriteRegistryString(raw, L"Columns", L"широкий"));
    const auto read = LoadWindowMemory(L"Diagnostics");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(96u, read->Dpi);
    EXPECT_TRUE(read->ColumnWidths.empty());
}
