// The dialog "Тихие часы", driven through its controls: what it shows, what OK
// hands on, and the times' boxes following the check box.
#include "QuietHoursForm.h"
#include "QuietTimeRes.h"
#include "MessagePump.h"
#include "WindowLayoutCheck.h"
#include "WindowText.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

class QuietHoursWindow : public ::testing::Test {
protected:
    HWND Open(const TQuietHoursText& current) {
        const HWND window = TQuietHoursForm::Show(::GetModuleHandleW(nullptr), current,
                                                  [this](const TQuietHoursText& settings) { applied_ = settings; });
        PumpPending();
        return window;
    }
    void TearDown() override {
        TQuietHoursForm::CloseAll();
        PumpPending();
    }
    std::optional<TQuietHoursText> applied_;
};

TEST_F(QuietHoursWindow, ShowsTheSettingsAndOkHandsTheEditedOnesOn) {
    const HWND window = Open({false, L"20:00", L"08:00", true});
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(L"Тихие часы", WindowText(window));
    EXPECT_EQ(L"20:00", WindowText(::GetDlgItem(window, IDC_QUIET_FROM)));
    EXPECT_EQ(L"08:00", WindowText(::GetDlgItem(window, IDC_QUIET_TO)));
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(window, IDC_QUIET_BUSY));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(window, IDC_QUIET_FROM))) << "the times wait for the check box";

    ::SendMessageW(::GetDlgItem(window, IDC_QUIET_HOURS), BM_CLICK, 0, 0);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window, IDC_QUIET_FROM)));
    ::SetDlgItemTextW(window, IDC_QUIET_FROM, L" 21:30 ");
    ::SendMessageW(::GetDlgItem(window, IDC_QUIET_BUSY), BM_CLICK, 0, 0);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PumpPending();
    ASSERT_TRUE(applied_.has_value());
    EXPECT_TRUE(applied_->Hours);
    EXPECT_EQ(L"21:30", applied_->From);
    EXPECT_EQ(L"08:00", applied_->To);
    EXPECT_FALSE(applied_->WhenBusy);
    EXPECT_FALSE(::IsWindow(window)) << "OK closes it";
}

TEST_F(QuietHoursWindow, CancelHandsNothingOnAndTheLayoutHasNoOverlaps) {
    const HWND window = Open({true, L"22:00", L"07:00", false});
    EXPECT_EQ(std::vector<std::wstring>{}, LayoutFaults(window));
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PumpPending();
    EXPECT_FALSE(applied_.has_value());
    EXPECT_FALSE(::IsWindow(window));
}

}  // namespace
