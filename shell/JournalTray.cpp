#include "JournalTray.h"

#include "CallJournalRes.h"
#include "ResourceText.h"

std::wstring TrayHintWithMissedCalls(const std::wstring& caption, int64_t missed) {
    if (missed <= 0) return caption;
    return caption + L"\n" + FormatResourceString(IDS_JOURNAL_MISSED_HINT, std::to_wstring(missed));
}

TRecordedCallNotice RecordedCallNotice(const TCallRecord& record, const TRecordedCallScene& scene) {
    if (scene.JournalOpen) return TRecordedCallNotice::ToJournal;
    if (record.Outcome != TCallOutcome::Missed || !scene.BalloonWanted) return TRecordedCallNotice::None;
    if (scene.PopupShown || scene.ErrorBoxOpen || scene.Quiet) return TRecordedCallNotice::None;
    return TRecordedCallNotice::Balloon;
}

std::wstring MissedCallBalloonText(const TCallRecord& record) {
    std::wstring text = record.Caller.Number.empty() ? LoadResourceString(IDS_JOURNAL_NUMBER_WITHHELD) : record.Caller.Number;
    if (!record.Caller.Name.empty()) text += L"\n" + record.Caller.Name;
    return text + L"\n" + FormatResourceString(IDS_JOURNAL_BALLOON_CHANNEL, record.Channel);
}
