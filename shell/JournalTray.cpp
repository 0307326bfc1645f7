#include "JournalTray.h"

#include "CallJournalRes.h"
#include "ResourceText.h"

std::wstring TrayHintWithMissedCalls(const std::wstring& caption, int64_t missed) {
    if (missed <= 0) return caption;
    return caption + L"\n" + FormatResourceString(IDS_JOURNAL_MISSED_HINT, std::to_wstring(missed));
}

std::wstring MissedCallBalloonText(const TCallRecord& record) {
    std::wstring text = record.Caller.Number.empty() ? LoadResourceString(IDS_JOURNAL_NUMBER_WITHHELD) : record.Caller.Number;
    if (!record.Caller.Name.empty()) text += L"\n" + record.Caller.Name;
    return text + L"\n" + FormatResourceString(IDS_JOURNAL_BALLOON_CHANNEL, record.Channel);
}
