// journal-shot.exe OUT.bmp: starts the real tray program (not connected) with a
// journal of a dozen calls, opens "Журнал вызовов" from the tray menu and saves
// what the screen shows of it as a 24-bit BMP. For docs/ (scripts/screenshots).
#include "CallJournal.h"
#include "InformerProcess.h"
#include "MainFormRes.h"
#include "ScreenBitmap.h"
#include "TestFolders.h"

#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: journal-shot OUT.bmp\n", stderr);
        return 2;
    }
    TempFolder folder;
    {
        const struct {
            int minutesAgo;
            const wchar_t *channel, *number, *name, *region;
            TCallOutcome outcome;
            int seconds;
            const wchar_t* note = L"";
        } calls[] = {
            {3, L"Приёмная", L"74951234567", L"Иванов Пётр", L"Москва", TCallOutcome::Missed, 0, L"Перезвонить до 17:00"},
            {11, L"K2", L"78122345678", L"ООО «Ромашка»", L"Санкт-Петербург", TCallOutcome::Answered, 312,
             L"Счёт отправлен"},
            {26, L"Приёмная", L"", L"", L"", TCallOutcome::NoConversation, 0},
            {48, L"K1", L"73432101010", L"", L"Екатеринбург", TCallOutcome::Answered, 65},
            {95, L"K2", L"74957654321", L"Сидорова Анна", L"Москва", TCallOutcome::Missed, 0},
            {130, L"K1", L"74991112233", L"Склад", L"Москва", TCallOutcome::Answered, 1804},
            {240, L"Приёмная", L"78127654321", L"", L"Санкт-Петербург", TCallOutcome::Interrupted, 40},
            {1500, L"K1", L"74951234567", L"Иванов Пётр", L"Москва", TCallOutcome::Answered, 97},
        };
        const int64_t now = CallTimeNow();
        std::vector<TCallRecord> records;
        for (const auto& c : calls) {
            TCallRecord record;
            record.StartTime = now - c.minutesAgo * 60000LL;
            record.EndTime = record.StartTime + (c.seconds + 15) * 1000LL;
            record.Channel = c.channel;
            record.Caller.Number = c.number;
            record.Caller.Name = c.name;
            record.Caller.Region = c.region;
            record.Outcome = c.outcome;
            record.DurationSeconds = c.seconds;
            record.Note = c.note;
            records.insert(records.begin(), record);
        }
        TCallJournalStore store;
        store.Open(folder.file(L"Journal\\CallJournal.db"));
        store.AddAll(records, {}, now);
    }
    InformerProcess informer({UniqueSimSession(), false, folder.path(), {L"TrayMsgAnimate=0"}});
    HWND main = informer.MainWindow();
    if (!main) return 1;
    ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_PMNUJOURNAL, 0), 0);
    const HWND journal = informer.FindVisibleWindow(L"Журнал вызовов");
    if (!journal) return 1;
    ::Sleep(2000);
    RECT area{};
    ::GetWindowRect(journal, &area);
    const bool saved = SaveBitmap(area, argv[1]);
    informer.Exit();
    return saved ? 0 : 1;
}
