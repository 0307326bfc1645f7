// Prints how long the real program takes from call events to its visible
// popups, with the subscriber table free and while another process holds a
// lock on it: one caller ID alone, and a ringing call drained in the same tick
// behind the caller IDs of two other lines. Run by hand; not a test.
#include "BenchmarkClock.h"
#include "HeldLock.h"
#include "InformerProcess.h"
#include "SimInstances.h"
#include "SimulatorFixture.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 15;

// The simulator registered, with a session of this process's own, outside a test.
struct SimulatorSession : SimulatorTest {
    using SimulatorTest::SetUpTestSuite;
    using SimulatorTest::session_;
    void TestBody() override {}
};

bool WaitForPopups(const InformerProcess& informer, size_t count) {
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (::GetTickCount64() < deadline) {
        if (informer.Popups().size() == count) return true;
        ::Sleep(1);
    }
    return false;
}

struct Scenario {
    const char* what;
    std::vector<std::wstring> start, end;
};

const Scenario kScenarios[] = {
    {"one caller ID", {L"ani K1 84951234567"}, {L"end K1"}},
    {"a ring behind two caller IDs", {L"ani K2 84951234567", L"ani K3 84957654321", L"ring K1"},
     {L"end K1", L"end K2", L"end K3"}},
};

// Milliseconds from the first event to the last popup shown, sorted; empty on failure.
std::vector<double> PopupTimes(const InformerProcess& informer, const std::wstring& pipe, const Scenario& scenario) {
    std::vector<double> times;
    for (int round = 0; round < kRounds; ++round) {
        const double start = NowMicroseconds();
        for (const std::wstring& line : scenario.start)
            if (!SendSimCommand(pipe, line).delivered) return {};
        if (!WaitForPopups(informer, scenario.start.size())) return {};
        times.push_back((NowMicroseconds() - start) / 1000.0);
        for (const std::wstring& line : scenario.end)
            if (!SendSimCommand(pipe, line).delivered) return {};
        if (!WaitForPopups(informer, 0)) return {};
        // Each round's lookups a burst of their own, as calls a while apart are.
        ::Sleep(400);
    }
    std::sort(times.begin(), times.end());
    return times;
}

double Median(const std::vector<double>& times) { return times[times.size() / 2]; }

int Run() {
    SimulatorSession::SetUpTestSuite();
    ComApartment apartment;
    InformerProcess::Options options;
    options.simSession = SimulatorSession::session_;
    InformerProcess informer(options);
    if (!informer.started() || !informer.WaitForSimulator()) {
        std::printf("the program did not start\n");
        return 1;
    }
    const std::wstring pipe = SimPipeName(SimulatorSession::session_, informer.processId());
    // Connected, with the directories open.
    ::Sleep(1500);
    std::printf("%d rounds each, from the first event to the last popup shown; median (best .. worst)\n", kRounds);
    for (const Scenario& scenario : kScenarios) {
        const std::vector<double> free = PopupTimes(informer, pipe, scenario);
        if (free.empty()) {
            std::printf("%s: no popups\n", scenario.what);
            return 1;
        }
        std::printf("%s:\n  table free:      %5.0f ms (%.0f .. %.0f)\n", scenario.what, Median(free), free.front(),
                    free.back());
        for (const wchar_t* mode : {L"reserved", L"exclusive"}) {
            HeldLock lock(informer.folder() + L"\\PQR\\AbonentPhones.db", mode, 120000);
            if (!lock.held()) {
                std::printf("the lock holder did not start\n");
                return 1;
            }
            const std::vector<double> locked = PopupTimes(informer, pipe, scenario);
            if (locked.empty()) {
                std::printf("%s: no popups under the %ls lock\n", scenario.what, mode);
                return 1;
            }
            std::printf("  %-9ls lock:  %5.0f ms (%.0f .. %.0f), %+.0f ms\n", mode, Median(locked), locked.front(),
                        locked.back(), Median(locked) - Median(free));
        }
    }
    informer.Exit();
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
