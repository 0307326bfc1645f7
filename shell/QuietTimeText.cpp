#include "QuietTimeText.h"

#include "QuietTimeRes.h"
#include <windows.h>
#include "ResourceText.h"

#include <cwchar>

namespace {

int64_t DayOf(int64_t localMs) { return (localMs >= 0 ? localMs : localMs - kDayMs + 1) / kDayMs; }

std::wstring ClockText(int64_t localMs) {
    const int64_t minute = (localMs - DayOf(localMs) * kDayMs) / kMinuteMs;
    wchar_t text[16];
    std::swprintf(text, 16, L"%02d:%02d", static_cast<int>(minute / 60), static_cast<int>(minute % 60));
    return text;
}

// The date as the journal writes it, dd.mm.
std::wstring DateText(int64_t localMs) {
    const int64_t ticks = localMs * 10000 + 116444736000000000LL;
    FILETIME asFileTime{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME day{};
    if (!::FileTimeToSystemTime(&asFileTime, &day)) return {};
    wchar_t text[16];
    std::swprintf(text, 16, L"%02u.%02u", day.wDay, day.wMonth);
    return text;
}

}  // namespace

std::wstring QuietHintText(const TQuietState& state, int64_t now) {
    if (!state.Quiet()) return {};
    if (state.Endless) return LoadResourceString(IDS_QUIET_UNTIL_OFF);
    if (state.Reason == TQuietReason::Busy || state.Until == 0) return LoadResourceString(IDS_QUIET_WHILE_BUSY);
    const int64_t days = DayOf(state.Until) - DayOf(now);
    if (days <= 0) return FormatResourceString(IDS_QUIET_UNTIL_TODAY, ClockText(state.Until));
    if (days == 1) return FormatResourceString(IDS_QUIET_UNTIL_TOMORROW, ClockText(state.Until));
    return FormatResourceString(IDS_QUIET_UNTIL_DATE, DateText(state.Until) + L" " + ClockText(state.Until));
}
