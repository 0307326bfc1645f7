// Quiet time: when it is quiet and until when, on a clock the test controls,
// and what the tray's hint says of it.
#include "QuietTime.h"
#include "QuietTimeText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// 2026-12-11 (a Friday), local clock.
constexpr int64_t kDay = 20798 * kDayMs;
constexpr int64_t At(int hours, int minutes, int days = 0) {
    return kDay + days * kDayMs + (hours * 60 + minutes) * kMinuteMs;
}

TEST(QuietTime, ClockTimesOfTheSettings) {
    const struct {
        const wchar_t* text;
        int minutes;
    } cases[] = {{L"20:00", 1200}, {L"08:00", 480}, {L"8:05", 485}, {L" 23:59 ", 1439}, {L"0:00", 0}, {L"7.30", 450},
                 {L"24:00", -1},   {L"12:60", -1},  {L"", -1},      {L"20", -1},       {L"20:", -1},  {L"-1:00", -1},
                 {L"20:00:00", -1}, {L"ab:cd", -1}, {L"123:00", -1}};
    for (const auto& c : cases) EXPECT_EQ(c.minutes, ParseClockTime(c.text)) << testing::PrintToString(c.text);
}

class QuietTimeClock : public ::testing::Test {
protected:
    QuietTimeClock() : quiet_([this] { return now_; }, [this] { return busy_; }) {}

    int64_t now_ = At(12, 0);
    bool busy_ = false;
    TQuietTime quiet_;
};

TEST_F(QuietTimeClock, AskedQuietLastsAnHourUntilTheMorningOrUntilSwitchedOff) {
    EXPECT_FALSE(quiet_.Quiet());
    quiet_.Start(TQuietFor::Hour);
    EXPECT_EQ((TQuietState{TQuietReason::Asked, false, At(13, 0)}), quiet_.State());
    now_ = At(12, 59);
    EXPECT_TRUE(quiet_.Quiet());
    now_ = At(13, 0);
    EXPECT_FALSE(quiet_.Quiet()) << "over after the hour";
    EXPECT_FALSE(quiet_.Asked());

    quiet_.Start(TQuietFor::UntilMorning);
    EXPECT_EQ((TQuietState{TQuietReason::Asked, false, At(8, 0, 1)}), quiet_.State()) << "tomorrow at 08:00";
    now_ = At(2, 0, 1);
    quiet_.Start(TQuietFor::UntilMorning);
    EXPECT_EQ(At(8, 0, 1), quiet_.State().Until) << "after midnight: this morning";
    quiet_.Stop();
    EXPECT_FALSE(quiet_.Quiet());

    quiet_.Start(TQuietFor::UntilSwitchedOff);
    now_ = At(12, 0, 30);
    EXPECT_EQ((TQuietState{TQuietReason::Asked, true, 0}), quiet_.State());
    quiet_.Stop();
    EXPECT_FALSE(quiet_.Quiet());
}

TEST_F(QuietTimeClock, QuietHoursComeEveryDayOverMidnightAndJoinAnAskedQuiet) {
    quiet_.SetSettings({true, 20 * 60, 8 * 60, false});
    const struct {
        int64_t now;
        bool quiet;
        int64_t until;
    } cases[] = {
        {At(19, 59), false, 0},    {At(20, 0), true, At(8, 0, 1)}, {At(23, 59), true, At(8, 0, 1)},
        {At(0, 0, 1), true, At(8, 0, 1)}, {At(7, 59, 1), true, At(8, 0, 1)}, {At(8, 0, 1), false, 0},
        {At(12, 0, 2), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.now);
        now_ = c.now;
        const TQuietState state = quiet_.State();
        EXPECT_EQ(c.quiet, state.Quiet());
        EXPECT_EQ(c.until, state.Until);
        EXPECT_EQ(c.quiet ? TQuietReason::Hours : TQuietReason::None, state.Reason);
    }
    // An hour asked at 19:30 runs into the quiet hours: quiet until the morning.
    now_ = At(19, 30);
    quiet_.Start(TQuietFor::Hour);
    EXPECT_EQ((TQuietState{TQuietReason::Asked, false, At(8, 0, 1)}), quiet_.State());
    // Hours within a day, and hours that are no span, or unreadable, never quieten.
    quiet_.Stop();
    quiet_.SetSettings({true, 13 * 60, 14 * 60, false});
    now_ = At(13, 30);
    EXPECT_EQ(At(14, 0), quiet_.State().Until);
    now_ = At(14, 0);
    EXPECT_FALSE(quiet_.Quiet());
    for (TQuietSettings nonsense : {TQuietSettings{true, 600, 600, false}, TQuietSettings{true, -1, 480, false},
                                    TQuietSettings{false, 0, 1439, false}}) {
        quiet_.SetSettings(nonsense);
        EXPECT_FALSE(quiet_.Quiet());
    }
}

TEST_F(QuietTimeClock, WindowsBeingBusyQuietensOnlyWhenTheSettingSaysSo) {
    busy_ = true;
    EXPECT_FALSE(quiet_.Quiet()) << "off by default";
    quiet_.SetSettings({false, 1200, 480, true});
    EXPECT_EQ((TQuietState{TQuietReason::Busy, false, 0}), quiet_.State());
    busy_ = false;
    EXPECT_FALSE(quiet_.Quiet());
}

TEST(QuietTimeText, TheHintSaysUntilWhen) {
    const int64_t now = At(12, 0);
    EXPECT_EQ(L"", QuietHintText({}, now));
    EXPECT_EQ(L"Не беспокоить до 13:05", QuietHintText({TQuietReason::Asked, false, At(13, 5)}, now));
    EXPECT_EQ(L"Не беспокоить до завтра, 08:00", QuietHintText({TQuietReason::Hours, false, At(8, 0, 1)}, now));
    EXPECT_EQ(L"Не беспокоить до 13.12 08:00", QuietHintText({TQuietReason::Hours, false, At(8, 0, 2)}, now));
    EXPECT_EQ(L"Не беспокоить до отключения", QuietHintText({TQuietReason::Asked, true, 0}, now));
    EXPECT_EQ(L"Не беспокоить, пока идёт презентация или полноэкранная программа",
              QuietHintText({TQuietReason::Busy, false, 0}, now));
}

}  // namespace
