#include "OrgDirectoryTexts.h"

#include "CallTracker.h"
#include "DiagnosticsText.h"
#include "OrgDirectoryRes.h"
#include "ResourceText.h"
#include "TextTrim.h"

#include <cstdio>

namespace {

// A server's message shown on one short line.
constexpr size_t kMaxDetail = 200;

std::wstring TimeText(int64_t callTime) {
    const int64_t ticks = callTime * 10000 + kUnixEpochAsFileTime;
    FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    return DiagnosticsTimeText(time, true);
}

std::wstring SecondsText(int64_t milliseconds) {
    wchar_t text[32] = {};
    std::swprintf(text, 32, L"%lld,%lld", static_cast<long long>(milliseconds / 1000),
                  static_cast<long long>(milliseconds % 1000 / 100));
    return text;
}

// The failures after the first ones have texts of their own.
struct TFailureText {
    TOrgDirectoryFailure Kind;
    UINT Id;
};
constexpr TFailureText kLaterFailures[] = {
    {TOrgDirectoryFailure::PagesRepeated, IDS_ORGDIR_PAGES_REPEATED},
    {TOrgDirectoryFailure::TooManyPages, IDS_ORGDIR_TOO_MANY_PAGES},
    {TOrgDirectoryFailure::TooManyEntries, IDS_ORGDIR_TOO_MANY_ENTRIES},
    {TOrgDirectoryFailure::TooMuchData, IDS_ORGDIR_TOO_MUCH_DATA},
    {TOrgDirectoryFailure::TookTooLong, IDS_ORGDIR_TOOK_TOO_LONG},
    {TOrgDirectoryFailure::StartTlsRefused, IDS_ORGDIR_STARTTLS_REFUSED},
    {TOrgDirectoryFailure::TlsFailed, IDS_ORGDIR_TLS_FAILED},
    {TOrgDirectoryFailure::TlsRequired, IDS_ORGDIR_TLS_REQUIRED},
};

UINT FailureTextId(TOrgDirectoryFailure kind) {
    for (const TFailureText& later : kLaterFailures)
        if (later.Kind == kind) return later.Id;
    return IDS_ORGDIR_FAILURE_FIRST + static_cast<UINT>(kind);
}

}  // namespace

std::wstring OrgDirectoryErrorText(const TOrgDirectoryError& error) {
    if (!error) return {};
    std::wstring text = LoadResourceString(FailureTextId(error.Kind));
    if (!error.Server.empty()) text = FormatResourceText(IDS_ORGDIR_ERROR_SERVER, {text, error.Server});
    std::wstring detail = SingleLineText(error.Detail);
    if (detail.size() > kMaxDetail) detail = detail.substr(0, kMaxDetail) + L"…";
    if (!detail.empty()) text = FormatResourceText(IDS_ORGDIR_ERROR_DETAIL, {text, detail});
    return text;
}

std::wstring OrgCheckResultText(const TOrgCheckResult& result) {
    if (result.Error) return FormatResourceText(IDS_ORGDIR_CHECK_FAILED, {OrgDirectoryErrorText(result.Error)});
    return FormatResourceText(result.More ? IDS_ORGDIR_CHECK_FOUND_MORE : IDS_ORGDIR_CHECK_FOUND,
                              {std::to_wstring(result.Entries), std::to_wstring(result.Numbers)});
}

std::wstring OrgSyncStatusText(const TOrgSyncStatus& status, bool enabled) {
    if (!enabled) return LoadResourceString(IDS_ORGDIR_SYNC_OFF);
    if (status.AttemptTime == 0) return LoadResourceString(IDS_ORGDIR_SYNC_NEVER);
    if (!status.Error)
        return FormatResourceText(IDS_ORGDIR_SYNC_DONE,
                                  {TimeText(status.AttemptTime), SecondsText(status.DurationMs),
                                   std::to_wstring(status.Entries), std::to_wstring(status.Numbers)});
    // A failed sync leaves the names of the last good one in use: say which.
    const std::wstring kept =
        status.CacheTime == 0 ? LoadResourceString(IDS_ORGDIR_SYNC_NONE_KEPT)
                              : FormatResourceText(IDS_ORGDIR_SYNC_KEPT, {TimeText(status.CacheTime),
                                                                          std::to_wstring(status.Entries),
                                                                          std::to_wstring(status.Numbers)});
    return FormatResourceText(IDS_ORGDIR_SYNC_FAILED,
                              {TimeText(status.AttemptTime), OrgDirectoryErrorText(status.Error), kept});
}
