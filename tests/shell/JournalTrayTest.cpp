// What the tray says of missed calls: the icon's hint, the balloon of one missed
// call, and that balloon against a stand-in shell.
#include "JournalTray.h"
#include "TrayIcon.h"

#include <gtest/gtest.h>

TEST(JournalTray, TheHintCountsMissedCallsAndTheBalloonNamesTheCall) {
    EXPECT_EQ(L"Информатор Kordavin", TrayHintWithMissedCalls(L"Информатор Kordavin", 0));
    EXPECT_EQ(L"Информатор Kordavin\nПропущенных вызовов: 12", TrayHintWithMissedCalls(L"Информатор Kordavin", 12));

    TCallRecord call;
    call.Channel = L"K1";
    call.Caller.Number = L"74951234567";
    call.Caller.Name = L"Иванов 😀";
    EXPECT_EQ(L"74951234567\nИванов 😀\nКанал: K1", MissedCallBalloonText(call));
    call.Caller.Number.clear();
    call.Caller.Name.clear();
    EXPECT_EQ(L"Номер не определён\nКанал: K1", MissedCallBalloonText(call));
}

TEST(JournalTray, AJournaledCallShowsInTheOpenJournalOrAsABalloonOnlyWhenNothingNeedsTheUserMore) {
    TCallRecord missed;
    missed.Outcome = TCallOutcome::Missed;
    TCallRecord answered;
    answered.Outcome = TCallOutcome::Answered;
    using N = TRecordedCallNotice;
    const struct {
        const char* what;
        const TCallRecord& record;
        TRecordedCallScene scene;
        N notice;
    } cases[] = {
        {"a missed call", missed, {false, true, false, false, false}, N::Balloon},
        {"an answered call", answered, {false, true, false, false, false}, N::None},
        {"balloons not wanted", missed, {false, false, false, false, false}, N::None},
        {"a popup is up", missed, {false, true, true, false, false}, N::None},
        {"an error box is open", missed, {false, true, false, true, false}, N::None},
        {"quiet time", missed, {false, true, false, false, true}, N::None},
        {"the journal is open", missed, {true, true, true, true, true}, N::ToJournal},
        {"the journal shows answered calls too", answered, {true, false, false, false, false}, N::ToJournal},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.notice, RecordedCallNotice(c.record, c.scene)) << c.what;
}

TEST(JournalTray, AMissedCallNoticeIsInformationAndIsNotRepeatedAfterAShellRestart) {
    struct Call {
        DWORD message;
        UINT flags;
        DWORD infoFlags;
        std::wstring info;
    };
    std::vector<Call> calls;
    TTrayIcon icon(nullptr, 1, WM_APP + 1, nullptr, [&](DWORD message, NOTIFYICONDATAW& data) -> BOOL {
        calls.push_back({message, data.uFlags, data.dwInfoFlags, data.szInfo});
        return TRUE;
    });
    icon.Show();
    icon.ShowBalloon(L"Информатор Kordavin", L"Нет соединения с сервером.");
    icon.ShowNotice(L"Пропущенный вызов", std::wstring(1000, L'Щ'));
    calls.clear();
    ASSERT_TRUE(icon.HandleTaskbarCreated(::RegisterWindowMessageW(L"TaskbarCreated")));
    std::vector<std::wstring> balloons;
    for (const auto& call : calls)
        if (call.message == NIM_MODIFY && (call.flags & NIF_INFO)) {
            balloons.push_back(call.info);
            EXPECT_EQ(static_cast<DWORD>(NIIF_WARNING), call.infoFlags);
        }
    EXPECT_EQ(std::vector<std::wstring>{L"Нет соединения с сервером."}, balloons)
        << "the warning stays due; the notice was only for its moment";

    calls.clear();
    icon.ShowNotice(L"Пропущенный вызов", std::wstring(1000, L'Щ'));
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(static_cast<DWORD>(NIIF_INFO), calls[0].infoFlags);
    EXPECT_EQ(255u, calls[0].info.size()) << "a long text is cut to what the shell takes";
}
