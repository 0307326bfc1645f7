// Prints how long a popup's lookups take with the subscriber table free and
// while another process holds a lock on it: one lookup on its own, and a burst
// of lookups one right after another (the caller-ID events one polling tick
// drains), where the last popup waits for all before it. Not a test: it only
// reports figures.
#include "BenchmarkClock.h"
#include "CallerLookup.h"
#include "DirectoryTestSupport.h"
#include "HeldLock.h"
#include "TestFolders.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 5;
constexpr int kBurst = 6;

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

struct Figures {
    double single, burst;  // milliseconds, medians
};

Figures Measure(TCallerLookup& lookup) {
    const auto time = [&](int lookups) {
        const double start = NowMicroseconds();
        for (int i = 0; i < lookups; ++i) {
            std::wstring name, region, comment;
            lookup.GetNameRegionCommentByPhone(L"74951234567", name, region, comment);
        }
        const double ms = (NowMicroseconds() - start) / 1000.0;
        // A pause, so that the next round is a burst of its own.
        ::Sleep(3 * TCallerLookup::kPopupBurstGapMs);
        return ms;
    };
    std::vector<double> single, burst;
    for (int round = 0; round < kRounds; ++round) {
        single.push_back(time(1));
        burst.push_back(time(kBurst));
    }
    return {Median(single), Median(burst)};
}

int Run() {
    TempFolder cities, folder;
    MakeCityTable(cities.path(), {{L"7495", L"Москва"}});
    TTQRDataModule areas(cities.path());
    TPQRDataModule subscribers(folder.path(), folder.file(L"none"));
    areas.Open();
    subscribers.Open();
    subscribers.AddEditRow(L"74951234567", L"Иванов", L"");
    TCallerLookup lookup(areas, subscribers);

    std::printf("a popup lookup waits at most %u ms for locks; medians of %d rounds\n",
                TCallerLookup::kPopupLookupMaxWaitMs, kRounds);
    std::printf("%-22s %14s %22s\n", "subscriber table", "one lookup", "burst of 6, all done");
    const Figures free = Measure(lookup);
    std::printf("%-22s %11.1f ms %19.1f ms\n", "free", free.single, free.burst);
    for (const wchar_t* mode : {L"reserved", L"shared", L"exclusive"}) {
        HeldLock lock(folder.file(L"AbonentPhones.db"), mode, 120000);
        if (!lock.held()) {
            std::printf("the lock holder did not start\n");
            return 1;
        }
        const Figures locked = Measure(lookup);
        std::printf("another's %-9ls lock %11.1f ms %19.1f ms   (%+.1f ms, %+.1f ms)\n", mode, locked.single,
                    locked.burst, locked.single - free.single, locked.burst - free.burst);
    }
    return 0;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());
        return 1;
    }
}
