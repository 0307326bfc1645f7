// Prints what the CRM name lookup costs a popup, through the controller and the
// simulated server: the time from reading a caller ID to its popup with the
// lookup off and with it on against a CRM that answers in 3 s, and the time
// from the CRM's last byte to the popup showing the name. Run by hand; not a test.
#include "BenchmarkClock.h"
#include "ControllerParts.h"
#include "InformerController.h"
#include "LoopbackHttpServer.h"
#include "MessagePump.h"
#include "SimInstances.h"
#include "SimulatorFixture.h"
#include "TestFolders.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 15;

// The simulator registered, with a session of this process's own, outside a test.
struct SimulatorSession : SimulatorTest {
    using SimulatorTest::Control;
    using SimulatorTest::SetUpTestSuite;
    void TestBody() override {}
};

class NullView : public IInformerView {
public:
    void OnCallEvent(const TCallEvent&) override {}
    void ShowServerChannels(const std::vector<std::wstring>&) override {}
    void CallRecorded(const TCallRecord&) override {}
    void JournalFailed(const std::wstring&) override {}
    void ShowConnection(TConnectionState, const TConnectionError&) override {}
    void DirectoryFailed(const std::wstring&) override {}
    void SaveFailed(const TSaveFailure&) override {}
    void SaveNotFinished(const std::wstring&) override {}
    void QuietTimeChanged() override {}
    void SqlDirectoryChanged(const TSqlDirectoryStatus&) override {}
};

struct TFigures {
    double Median = 0;
    double Max = 0;
};

TFigures Summarise(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back()};
}

TCaller PopupCaller(TInformerController& controller) {
    TTrayMsgWinCollection& items = Parts::Popups(controller).Items();
    return items.Count() == 1 ? items.Items(0)->Caller : TCaller{};
}

// Pumps as soon as a message arrives, so that the time measured is the program's, not a poll's.
bool PumpUntilNamed(TInformerController& controller, DWORD timeoutMs) {
    const ULONGLONG until = ::GetTickCount64() + timeoutMs;
    while (PopupCaller(controller).Name.empty()) {
        if (::GetTickCount64() >= until) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        PumpPending();
    }
    return true;
}

class Bench {
public:
    Bench(SimulatorSession& sim, const TempFolder& folder, const std::wstring& urlTemplate)
        : sim_(sim), controller_(view_, folder.file(L"TQR"), folder.file(L"PQR")) {
        TMainFormSettings settings = controller_.Settings();
        settings.FChannels = {L"K1"};
        settings.LookupUrlTemplate = urlTemplate;
        settings.LookupTimeoutMs = 10000;
        controller_.ApplySettings(settings);
        sim_.Control(L"channels K1");
        std::wstring error;
        connected_ = controller_.Connect(L"", error);
    }
    bool Connected() const { return connected_; }
    TInformerController& Controller() { return controller_; }

    // Milliseconds from reading the call's caller ID to its popup, one call at a time.
    double ShowPopup(int round) {
        sim_.Control(L"ring K1");
        sim_.Control(L"ani K1 8495" + std::to_wstring(1000000 + round));
        const double start = NowMicroseconds();
        controller_.PollRecorder();
        const double took = (NowMicroseconds() - start) / 1000.0;
        return Parts::Popups(controller_).Items().Count() == 1 ? took : -1;
    }
    void EndCall() {
        sim_.Control(L"end K1");
        controller_.PollRecorder();
    }

private:
    SimulatorSession& sim_;
    NullView view_;
    TInformerController controller_;
    bool connected_ = false;
};

int Run() {
    SimulatorSession::SetUpTestSuite();
    SimulatorSession sim;
    ComApartment apartment;
    // The simulator listens for control lines once an object of it exists.
    KordavinClient opener = KordavinClient::Create(L"");
    TempFolder folder;

    TLoopbackHttpServer slowCrm([](const TReceivedRequest&) {
        THttpScript s;
        s.DelayMs = 3000;
        s.Body = R"({"name":"Медленный"})";
        return s;
    });
    TLoopbackHttpServer quickCrm([](const TReceivedRequest&) {
        THttpScript s;
        s.Body = R"({"name":"Быстрый","comment":"из CRM"})";
        return s;
    });

    std::vector<double> none, slow;
    {
        Bench bench(sim, folder, L"");
        if (!bench.Connected()) return std::printf("the simulator did not connect\n"), 1;
        for (int round = 0; round < kRounds; ++round) {
            none.push_back(bench.ShowPopup(round));
            bench.EndCall();
        }
    }
    {
        Bench bench(sim, folder, slowCrm.BaseUrlW() + L"/find?phone={number}");
        for (int round = 0; round < kRounds; ++round) {
            slow.push_back(bench.ShowPopup(100 + round));
            bench.EndCall();
        }
    }
    std::vector<double> filled;
    {
        Bench bench(sim, folder, quickCrm.BaseUrlW() + L"/find?phone={number}");
        for (int round = 0; round < kRounds; ++round) {
            if (bench.ShowPopup(200 + round) < 0) continue;
            if (PumpUntilNamed(bench.Controller(), 5000))
                filled.push_back((NowMicroseconds() - quickCrm.LastAnswerSentUs()) / 1000.0);
            bench.EndCall();
        }
    }
    if (std::count(none.begin(), none.end(), -1.0) || std::count(slow.begin(), slow.end(), -1.0))
        return std::printf("a popup did not appear\n"), 1;
    const TFigures off = Summarise(none);
    const TFigures on = Summarise(slow);
    const TFigures fill = Summarise(filled);
    std::printf("Caller ID -> popup, no CRM lookup:            median %7.2f ms, max %7.2f ms\n", off.Median, off.Max);
    std::printf("Caller ID -> popup, CRM answering in 3 s:     median %7.2f ms, max %7.2f ms\n", on.Median, on.Max);
    std::printf("Added by the lookup:                          median %+7.2f ms, max %+7.2f ms (target: at most +20 ms)\n",
                on.Median - off.Median, on.Max - off.Max);
    std::printf("CRM's last byte -> name in the popup:         median %7.2f ms, max %7.2f ms (%zu of %d)\n",
                fill.Median, fill.Max, filled.size(), kRounds);
    return 0;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (...) {
        std::printf("the benchmark failed\n");
        return 1;
    }
}
