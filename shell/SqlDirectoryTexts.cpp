#include "SqlDirectoryTexts.h"

#include "CallTracker.h"
#include "DiagnosticsText.h"
#include "ResourceText.h"
#include "SqlDirectoryRes.h"
#include "TextTrim.h"

namespace {

// A driver's message shown on one short line.
constexpr size_t kMaxDetail = 200;
// The tray's hint has room for about 127 characters in all.
constexpr size_t kMaxTrayReason = 50;

std::wstring ShortDetail(const std::wstring& detail) {
    std::wstring text = SingleLineText(detail);
    text = TrimControlChars(text);
    if (text.size() > kMaxDetail) text = text.substr(0, kMaxDetail) + L"…";
    return text;
}

std::wstring TimeText(int64_t unixMs) {
    const int64_t ticks = unixMs * 10000 + kUnixEpochAsFileTime;
    FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    return DiagnosticsTimeText(time, true);
}

// The words of the error's kind, without the driver's own message.
std::wstring KindText(const TSqlError& error) {
    const UINT id = IDS_SQLDIR_FAILURE_FIRST + static_cast<UINT>(error.Kind);
    switch (error.Kind) {
    // Their detail is a name, which the text itself shows.
    case TSqlErrorKind::NoTable:
    case TSqlErrorKind::MissingColumns: return FormatResourceText(id, {ShortDetail(error.Detail)});
    default: return LoadResourceString(id);
    }
}

}  // namespace

std::wstring SqlErrorText(const TSqlError& error) {
    if (!error) return {};
    std::wstring text = KindText(error);
    const std::wstring detail = ShortDetail(error.Detail);
    const bool named = error.Kind == TSqlErrorKind::NoTable || error.Kind == TSqlErrorKind::MissingColumns;
    if (!named && !detail.empty()) text = FormatResourceText(IDS_SQLDIR_ERROR_DETAIL, {text, detail});
    return text;
}

std::wstring SqlCheckResultText(const TSqlError& error, const std::wstring& table) {
    if (error) return FormatResourceText(IDS_SQLDIR_CHECK_FAILED, {SqlErrorText(error)});
    return FormatResourceText(IDS_SQLDIR_CHECK_DONE, {table});
}

std::wstring SqlMoveOverResultText(const TSqlMoveOverResult& result) {
    const std::wstring written = std::to_wstring(result.Written);
    const std::wstring toWrite = std::to_wstring(result.New + result.Changed);
    if (result.Error) return FormatResourceText(IDS_SQLDIR_MOVE_FAILED, {SqlErrorText(result.Error), written, toWrite});
    if (result.Cancelled && result.New + result.Changed + result.Unchanged == 0)
        return LoadResourceString(IDS_SQLDIR_MOVE_CANCELLED_EARLY);
    if (result.Cancelled) return FormatResourceText(IDS_SQLDIR_MOVE_CANCELLED, {written, toWrite});
    return FormatResourceText(IDS_SQLDIR_MOVE_DONE, {std::to_wstring(result.New), std::to_wstring(result.Changed),
                                                     std::to_wstring(result.Unchanged)});
}

std::wstring SqlStatusText(const TSqlDirectoryStatus& status) {
    if (!status.Enabled) return LoadResourceString(IDS_SQLDIR_STATE_OFF);
    std::wstring text = status.LastSyncUnixMs == 0 ? LoadResourceString(IDS_SQLDIR_STATE_NEVER)
                                                   : FormatResourceText(IDS_SQLDIR_STATE_OK, {TimeText(status.LastSyncUnixMs)});
    if (status.Waiting > 0)
        text += L"; " + FormatResourceText(IDS_SQLDIR_STATE_WAITING, {std::to_wstring(status.Waiting)});
    const std::wstring error = status.LastError ? SqlErrorText(status.LastError) : ShortDetail(status.ReplicaError);
    if (!error.empty()) text += L"; " + FormatResourceText(IDS_SQLDIR_STATE_ERROR, {error});
    return text;
}

std::wstring SqlTrayText(const TSqlDirectoryStatus& status) {
    if (!status.Enabled) return {};
    // The hint is short: the error's kind alone, cut to a part of it.
    std::wstring reason = status.LastError ? KindText(status.LastError) : std::wstring();
    if (reason.size() > kMaxTrayReason) reason = reason.substr(0, kMaxTrayReason) + L"…";
    if (status.Waiting == 0)
        return reason.empty() ? std::wstring() : FormatResourceText(IDS_SQLDIR_TRAY_ERROR, {reason});
    std::wstring text = FormatResourceText(IDS_SQLDIR_TRAY_WAITING, {std::to_wstring(status.Waiting)});
    return reason.empty() ? text : text + L" — " + reason;
}
