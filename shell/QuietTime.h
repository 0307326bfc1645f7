#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Quiet time: while it lasts the program shows no popups and no balloons (the
// journal still takes every call and missed calls still count). It is asked
// for from the tray ("Не беспокоить": an hour, until the morning, until
// switched off), comes every day in the quiet hours of the settings, and, when
// the settings say so, while Windows says the user is presenting or runs a
// full-screen program. Window-free: the clock and the question to Windows are
// replaceable, so that a test controls both.

// Times are the local wall clock in milliseconds since 1970-01-01 (as if it were UTC).
int64_t LocalClockNow();
// Whether Windows asks programs not to disturb now: a presentation, a
// full-screen program or a game (SHQueryUserNotificationState).
bool WindowsAsksForQuiet();

constexpr int64_t kMinuteMs = 60 * 1000;
constexpr int64_t kDayMs = 24 * 60 * kMinuteMs;

// A time of day as the settings write it, "20:00": minutes since midnight, or
// -1 when the text is no time of day.
int ParseClockTime(const std::wstring& text);

struct TQuietSettings {
    bool Hours = false;        // daily quiet hours
    int FromMinutes = 20 * 60; // start of the quiet hours, minutes since midnight
    int ToMinutes = 8 * 60;    // their end, which is also "the morning"
    bool WhenBusy = false;     // quiet while Windows asks for it
};
// The settings from the texts the settings file keeps; an unreadable time
// gives no quiet hours.
inline TQuietSettings QuietSettingsFrom(bool hours, const std::wstring& from, const std::wstring& to, bool whenBusy) {
    return {hours, ParseClockTime(from), ParseClockTime(to), whenBusy};
}

enum class TQuietFor { Hour, UntilMorning, UntilSwitchedOff };

enum class TQuietReason { None, Asked, Hours, Busy };

struct TQuietState {
    TQuietReason Reason = TQuietReason::None;
    bool Endless = false;  // until switched off
    int64_t Until = 0;     // local time the quiet ends; 0 while Windows decides (Busy)
    bool Quiet() const { return Reason != TQuietReason::None; }
    bool operator==(const TQuietState&) const = default;
};

// What the tray asks of quiet time: the state it shows and the user's choices.
class IQuietAccess {
public:
    virtual int64_t Now() const = 0;
    virtual TQuietState State() const = 0;
    // Whether a quiet asked for from the tray is running now.
    virtual bool Asked() const = 0;
    // "Не беспокоить" from the tray; a new choice replaces the one before.
    virtual void Start(TQuietFor length) = 0;
    // Ends the quiet the user asked for; the quiet hours still come.
    virtual void Stop() = 0;

protected:
    ~IQuietAccess() = default;
};

class TQuietTime final : public IQuietAccess {
public:
    using TClock = std::function<int64_t()>;
    using TBusyProbe = std::function<bool()>;

    explicit TQuietTime(TClock clock = LocalClockNow, TBusyProbe busy = WindowsAsksForQuiet);

    void SetSettings(const TQuietSettings& settings) { settings_ = settings; }
    // Tests put their own clock and answer of Windows here.
    void SetClock(TClock clock, TBusyProbe busy) {
        clock_ = std::move(clock);
        busy_ = std::move(busy);
    }
    int64_t Now() const override { return clock_(); }
    const TQuietSettings& Settings() const { return settings_; }

    void Start(TQuietFor length) override;
    void Stop() override {
        askedUntil_ = 0;
        askedEndless_ = false;
    }
    bool Asked() const override;

    // Now: whether it is quiet, why and until when. Where quiet hours follow a
    // quiet asked for (or the other way round), the later end is told.
    TQuietState State() const override;
    bool Quiet() const { return State().Quiet(); }

private:
    // The next time the clock shows `minutes` after `now` (never `now` itself).
    static int64_t NextTimeOfDay(int64_t now, int minutes);
    bool InQuietHours(int64_t now) const;

    TClock clock_;
    TBusyProbe busy_;
    TQuietSettings settings_;
    int64_t askedUntil_ = 0;
    bool askedEndless_ = false;
};
