// Prints what opening the call journal costs with 10,000 calls (or the number given): reading them
// from the journal file, opening the window with them, and one keystroke in the
// search box. Run by hand; not a test.
#include "BenchmarkClock.h"
#include "CallJournal.h"
#include "CallJournalForm.h"
#include "CallJournalRes.h"
#include "ControlsStartup.h"
#include "MessagePump.h"
#include "TestFolders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
    EnsureCommonControls();
    // The number of calls: 10,000 unless given, so that a small journal shows what is fixed cost.
    const int calls = argc > 1 ? std::max(1, _wtoi(argv[1])) : 10000;
    TempFolder folder;
    const std::wstring path = folder.file(L"CallJournal.db");
    const int64_t now = CallTimeNow();
    {
        std::vector<TCallRecord> records;
        for (int i = calls; i > 0; --i) {
            TCallRecord record;
            record.StartTime = now - i * 60000LL;
            record.EndTime = record.StartTime + 30000;
            record.Channel = L"K" + std::to_wstring(i % 4 + 1);
            record.Caller.Number = L"7495" + std::to_wstring(1000000 + i);
            record.Caller.Name = L"Абонент номер " + std::to_wstring(i);
            record.Caller.Region = L"Москва";
            record.Outcome = i % 3 ? TCallOutcome::Answered : TCallOutcome::Missed;
            record.DurationSeconds = i % 600;
            records.push_back(record);
        }
        TCallJournalStore store;
        store.Open(path);
        store.AddAll(records, {}, now);
    }
    constexpr int kRounds = 5;
    double read = 0, open = 0, type = 0, add = 0;
    for (int round = 0; round < kRounds; ++round) {
        double start = NowMicroseconds();
        TCallJournalStore store;
        store.Open(path);
        std::vector<TCallRecord> records = store.ReadAll();
        read += NowMicroseconds() - start;

        start = NowMicroseconds();
        TCallJournalForm& form = TCallJournalForm::Open(::GetModuleHandleW(nullptr), std::move(records), calls, {});
        const HWND window = form.Handle();
        ::UpdateWindow(window);
        PumpPending();
        open += NowMicroseconds() - start;

        start = NowMicroseconds();
        ::SendMessageW(::GetDlgItem(window, IDC_JOURNAL_SEARCH), WM_CHAR, L'7', 0);
        ::UpdateWindow(window);
        PumpPending();
        type += NowMicroseconds() - start;

        TCallRecord call;
        call.StartTime = now;
        call.EndTime = now + 1000;
        call.Channel = L"K1";
        start = NowMicroseconds();
        store.Add(call, {}, now);
        add += NowMicroseconds() - start;

        form.Close();
        PumpPending();
    }
    double start = NowMicroseconds();
    for (int i = 0; i < 1000; ++i) JournalTimeText(now - i * 1000LL);
    const double timeText = (NowMicroseconds() - start) / 1000;
    std::printf("call journal with %d calls, mean of %d rounds:\n", calls, kRounds);
    std::printf("  read from the file:           %8.1f ms\n", read / kRounds / 1000);
    std::printf("  open the window and paint it: %8.1f ms (target at most 80 ms)\n", open / kRounds / 1000);
    std::printf("  one key in the search box:    %8.1f ms (target at most 50 ms)\n", type / kRounds / 1000);
    std::printf("  record one call (and prune):  %8.1f ms\n", add / kRounds / 1000);
    std::printf("  one time text:                %8.3f ms\n", timeText / 1000);
    return 0;
}
