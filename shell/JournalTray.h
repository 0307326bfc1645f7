#pragma once
#include "CallJournal.h"

#include <string>

// What the tray says of missed calls: the icon's hint with their count, and the
// balloon text of one missed call. Texts from the program's string table.
std::wstring TrayHintWithMissedCalls(const std::wstring& caption, int64_t missed);
std::wstring MissedCallBalloonText(const TCallRecord& record);

// What is on screen when a call has just been journaled.
struct TRecordedCallScene {
    bool JournalOpen = false;    // the journal's window, where the call shows as it comes
    bool BalloonWanted = false;  // the setting "MissedCallBalloon"
    bool PopupShown = false;
    bool ErrorBoxOpen = false;
    bool Quiet = false;          // quiet time holds popups and balloons back
};
enum class TRecordedCallNotice {
    None,
    ToJournal,  // the open journal shows it, and the user has seen it
    Balloon,    // a missed call's balloon
};
// How the user hears of a journaled call: the open journal shows every call;
// otherwise a missed one gets a balloon when it is wanted and nothing needs
// the user's eyes more (a ringing call's popup, an error box, quiet time).
TRecordedCallNotice RecordedCallNotice(const TCallRecord& record, const TRecordedCallScene& scene);
