#include "QuietTime.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

int64_t LocalClockNow() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    FILETIME asFileTime{};
    if (!::SystemTimeToFileTime(&local, &asFileTime)) return 0;
    const int64_t ticks = (static_cast<int64_t>(asFileTime.dwHighDateTime) << 32) | asFileTime.dwLowDateTime;
    return (ticks - 116444736000000000LL) / 10000;
}

bool WindowsAsksForQuiet() {
    QUERY_USER_NOTIFICATION_STATE state{};
    if (FAILED(::SHQueryUserNotificationState(&state))) return false;
    return state == QUNS_BUSY || state == QUNS_RUNNING_D3D_FULL_SCREEN || state == QUNS_PRESENTATION_MODE;
}

int ParseClockTime(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == L' ') ++i;
    const auto number = [&](int& value) {
        const size_t start = i;
        value = 0;
        while (i < text.size() && i - start < 2 && text[i] >= L'0' && text[i] <= L'9') value = value * 10 + (text[i++] - L'0');
        return i > start;
    };
    int hours = 0, minutes = 0;
    if (!number(hours) || i >= text.size() || (text[i] != L':' && text[i] != L'.')) return -1;
    ++i;
    if (!number(minutes)) return -1;
    while (i < text.size() && text[i] == L' ') ++i;
    if (i != text.size() || hours > 23 || minutes > 59) return -1;
    return hours * 60 + minutes;
}

TQuietTime::TQuietTime(TClock clock, TBusyProbe busy) : clock_(std::move(clock)), busy_(std::move(busy)) {}

int64_t TQuietTime::NextTimeOfDay(int64_t now, int minutes) {
    const int64_t midnight = now - ((now % kDayMs) + kDayMs) % kDayMs;
    int64_t at = midnight + minutes * kMinuteMs;
    if (at <= now) at += kDayMs;
    return at;
}

void TQuietTime::Start(TQuietFor length) {
    const int64_t now = clock_();
    askedEndless_ = length == TQuietFor::UntilSwitchedOff;
    switch (length) {
    case TQuietFor::Hour: askedUntil_ = now + 60 * kMinuteMs; break;
    case TQuietFor::UntilMorning:
        askedUntil_ = NextTimeOfDay(now, settings_.ToMinutes >= 0 && settings_.ToMinutes < 24 * 60 ? settings_.ToMinutes
                                                                                                   : 8 * 60);
        break;
    case TQuietFor::UntilSwitchedOff: askedUntil_ = 0; break;
    }
}

bool TQuietTime::Asked() const { return askedEndless_ || (askedUntil_ != 0 && clock_() < askedUntil_); }

bool TQuietTime::InQuietHours(int64_t now) const {
    const int from = settings_.FromMinutes, to = settings_.ToMinutes;
    if (!settings_.Hours || from < 0 || to < 0 || from >= 24 * 60 || to >= 24 * 60 || from == to) return false;
    const int minute = static_cast<int>(((now % kDayMs) + kDayMs) % kDayMs / kMinuteMs);
    // A span over midnight (20:00-08:00) is the two pieces either side of it.
    return from < to ? minute >= from && minute < to : minute >= from || minute < to;
}

TQuietState TQuietTime::State() const {
    const int64_t now = clock_();
    TQuietState state;
    if (askedEndless_) return {TQuietReason::Asked, true, 0};
    if (askedUntil_ != 0 && now < askedUntil_) state = {TQuietReason::Asked, false, askedUntil_};
    // The quiet hours running now, or starting before the asked quiet ends, carry it on.
    const int64_t hoursProbe = state.Quiet() ? askedUntil_ - 1 : now;
    if (InQuietHours(now) || (state.Quiet() && InQuietHours(hoursProbe))) {
        const int64_t hoursEnd = NextTimeOfDay(InQuietHours(now) ? now : hoursProbe, settings_.ToMinutes);
        if (!state.Quiet()) state = {TQuietReason::Hours, false, hoursEnd};
        else state.Until = std::max(state.Until, hoursEnd);
    }
    if (state.Quiet()) return state;
    if (settings_.WhenBusy && busy_ && busy_()) return {TQuietReason::Busy, false, 0};
    return state;
}
