#include "DiagnosticsText.h"

#include "CrmNamesTexts.h"
#include "DiagnosticsRes.h"
#include "ResourceText.h"
#include "TextTrim.h"

#include <cstdio>

namespace {

std::wstring LookupFailureText(TLookupFailureKind kind, const std::wstring& detail) {
    const std::wstring reason =
        FormatResourceString(IDS_DIAG_LOOKUP_FIRST + static_cast<UINT>(kind), detail);
    const bool remote = TLookupFailure{kind, {}}.Remote();
    return FormatResourceString(remote ? IDS_DIAG_LOOKUP_REMOTE : IDS_DIAG_LOOKUP_LOCAL, reason);
}

std::wstring EventNameText(const TEventRecord& record) {
    if (record.CrmNamesError != TCrmNamesError::None) return LoadResourceString(IDS_DIAG_NAME_LOOKUP_EVENT);
    const std::wstring_view name = RecorderEventName(record.Code);
    if (!name.empty()) return std::wstring(name);
    if (record.Outcome == TEventOutcome::HandlingFailed && record.Code == 0)
        return LoadResourceString(IDS_DIAG_NO_EVENT_NAME);
    return FormatResourceString(IDS_DIAG_UNKNOWN_CODE_NAME, std::to_wstring(record.Code));
}

}  // namespace

std::wstring DiagnosticsTimeText(const FILETIME& time, bool withDate) {
    FILETIME local{};
    SYSTEMTIME parts{};
    if (!::FileTimeToLocalFileTime(&time, &local) || !::FileTimeToSystemTime(&local, &parts)) return {};
    wchar_t text[32] = {};
    if (withDate)
        std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", parts.wYear, parts.wMonth, parts.wDay,
                      parts.wHour, parts.wMinute, parts.wSecond, parts.wMilliseconds);
    else
        std::swprintf(text, 32, L"%02u:%02u:%02u.%03u", parts.wHour, parts.wMinute, parts.wSecond,
                      parts.wMilliseconds);
    return text;
}

std::wstring DiagnosticsOutcomeText(const TEventRecord& record) {
    if (record.CrmNamesError != TCrmNamesError::None)
        return CrmNamesErrorText(record.CrmNamesError, record.Detail);
    std::wstring text =
        FormatResourceString(IDS_DIAG_OUTCOME_FIRST + static_cast<UINT>(record.Outcome), record.Detail);
    const bool dropped = record.Outcome == TEventOutcome::Withheld || record.Outcome == TEventOutcome::CallerIdOnly ||
                         record.Outcome == TEventOutcome::NotMonitored;
    if (record.NumberWithheld && !dropped) text += LoadResourceString(IDS_DIAG_WITHHELD_SUFFIX);
    if (record.LookupFailure != TLookupFailureKind::None)
        text += LookupFailureText(record.LookupFailure, record.Detail);
    return text;
}

TDiagnosticsRow DiagnosticsRow(const TEventRecord& record, bool withDate) {
    return {DiagnosticsTimeText(record.Time, withDate), EventNameText(record), record.Channel.data(),
            record.Number.data(), DiagnosticsOutcomeText(record)};
}

TDiagnosticsRow DiagnosticsColumnTitles() {
    return {LoadResourceString(IDS_DIAG_COL_TIME), LoadResourceString(IDS_DIAG_COL_EVENT),
            LoadResourceString(IDS_DIAG_COL_CHANNEL), LoadResourceString(IDS_DIAG_COL_NUMBER),
            LoadResourceString(IDS_DIAG_COL_OUTCOME)};
}

std::wstring DiagnosticsStateText(const TEventDiagnostics& diagnostics) {
    if (!diagnostics.Connected()) return LoadResourceString(IDS_DIAG_NOT_CONNECTED);
    if (diagnostics.Server().empty()) return LoadResourceString(IDS_DIAG_CONNECTED_LOCAL);
    return FormatResourceString(IDS_DIAG_CONNECTED, diagnostics.Server());
}

std::wstring DiagnosticsErrorText(const TEventDiagnostics& diagnostics) {
    const TConnectionError& error = diagnostics.LastConnectionError();
    if (error.What == TConnectionError::Kind::None) return LoadResourceString(IDS_DIAG_NO_ERROR);
    return FormatResourceString(IDS_DIAG_LAST_ERROR,
                                DiagnosticsTimeText(error.Time, true) + L" " + ConnectionErrorText(error));
}

std::wstring ConnectionErrorText(const TConnectionError& error) {
    switch (error.What) {
    case TConnectionError::Kind::None: return {};
    case TConnectionError::Kind::ClosedByServer: return LoadResourceString(IDS_DIAG_CLOSED_BY_SERVER);
    case TConnectionError::Kind::ConnectFailed:
    case TConnectionError::Kind::HandlingFailed: return error.Text;
    }
    return error.Text;
}

std::wstring DiagnosticsClipboardText(const TEventDiagnostics& diagnostics) {
    std::wstring text = DiagnosticsStateText(diagnostics) + L"\r\n" + DiagnosticsErrorText(diagnostics) + L"\r\n\r\n";
    const auto appendRow = [&text](const TDiagnosticsRow& row) {
        for (size_t column = 0; column < row.size(); ++column) {
            // An error text may hold line ends or tabs: one event stays one line.
            text += (column ? L"\t" : L"") + SingleLineText(row[column]);
        }
        text += L"\r\n";
    };
    appendRow(DiagnosticsColumnTitles());
    for (size_t index = diagnostics.Count(); index-- > 0;) appendRow(DiagnosticsRow(diagnostics.At(index), true));
    return text;
}
