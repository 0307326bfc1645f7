// Prints what draining a burst of 1,000 queued events costs in one polling tick:
// through a fake SDK object, and through the simulated server's COM object.
#include "EventDiagnostics.h"
#include "FakeRecorderSdk.h"
#include "KordavinClient.h"
#include "RecorderDispatch.h"
#include "SimInstances.h"
#include "TestFolders.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kBurst = 1000;
constexpr double kTickMs = 200.0;

// A controller as cheap as the real one would be with a local lookup that finds
// nothing slow: traces go to the debugger output, popups to a collection without owner.
class BenchmarkHost : public IRecorderHost {
public:
    // diagnostics: the diagnostics window's ring, as the tray program keeps it; null records nothing.
    BenchmarkHost(IRecorderSdk* sdk, bool traceToDebugger, TEventDiagnostics* diagnostics) : sdk(sdk) {
        if (!traceToDebugger) dispatch.SetTrace(nullptr);
        if (diagnostics) dispatch.AddListener(*diagnostics);
    }
    IRecorderSdk* Kordavin() override { return sdk; }
    void DisconnectFromServer() override { sdk = nullptr; }
    void RefreshChannelList() override {}
    bool LookUpCaller(TCaller& caller, TLookupFailure&) override {
        caller.Name = L"Абонент " + caller.Number;
        caller.Region = L"Москва";
        caller.Comment = L"комментарий";
        return true;
    }

    IRecorderSdk* sdk = nullptr;
    TRecorderSettings settings;
    TTrayMsgWinCollection items;
    TRecorderDispatch dispatch{*this, settings, items};
};

// Calls on 8 channels at a time: all ring, then all get a caller ID, then all end.
std::vector<TRecorderEvent> RealisticBurst() {
    std::vector<TRecorderEvent> events;
    for (int wave = 0; events.size() < kBurst; ++wave) {
        for (int32_t code : {KDV_MSG_RING, KDV_MSG_ANI_DETECT, KDV_MSG_CONVERSATION_END}) {
            for (int line = 0; line < 8 && events.size() < kBurst; ++line) {
                const std::wstring channel = L"Канал " + std::to_wstring(line + 1);
                const std::wstring number = code == KDV_MSG_ANI_DETECT ? L"8495" + std::to_wstring(1000000 + wave * 8 + line) : L"";
                events.push_back({code, channel, number});
            }
        }
    }
    return events;
}

double Milliseconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

template <typename Drain>
double TimeDrain(Drain drain) {
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    drain();
    ::QueryPerformanceCounter(&end);
    return Milliseconds(end.QuadPart - start.QuadPart);
}

void Report(const char* what, std::vector<double> times, int events) {
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double best = times.front();
    std::printf("%s: %d events, %zu rounds\n", what, events, times.size());
    std::printf("  median %.2f ms (%.0f events/s, %.1f%% of a %.0f ms tick)\n", median, events / median * 1000.0,
                100.0 * median / kTickMs, kTickMs);
    std::printf("  best   %.2f ms (%.0f events/s, %.1f%% of a %.0f ms tick)\n", best, events / best * 1000.0,
                100.0 * best / kTickMs, kTickMs);
    std::printf("  per event: median %.3f us, best %.3f us\n", median * 1000.0 / events, best * 1000.0 / events);
}

// What recording one event into the diagnostics ring costs by itself.
void BenchmarkRecording(const std::vector<TRecorderEvent>& burst) {
    TEventDiagnostics diagnostics;
    const TEventHandling handling{TEventOutcome::PopupShown};
    std::vector<double> times;
    for (int round = 0; round < 50; ++round)
        times.push_back(TimeDrain([&] {
            for (const auto& event : burst) diagnostics.Record(event, handling);
        }));
    Report("Recording alone into the diagnostics ring", times, static_cast<int>(burst.size()));
}

void BenchmarkFakeSdk(const std::vector<TRecorderEvent>& burst, bool traceToDebugger, bool record) {
    std::vector<std::vector<uint8_t>> blocks;
    for (const auto& event : burst) blocks.push_back(EncodeRecorderEvent(event));
    std::vector<double> times;
    for (int round = 0; round < 50; ++round) {
        FakeRecorderSdk sdk;
        for (const auto& block : blocks) sdk.QueueBlock(block);
        TEventDiagnostics diagnostics;
        BenchmarkHost host(&sdk, traceToDebugger, record ? &diagnostics : nullptr);
        times.push_back(TimeDrain([&] { host.dispatch.DispatchRecorderEvents(); }));
        if (sdk.Pending() != 0 || !host.sdk) {
            std::printf("fake SDK: the burst was not drained\n");
            return;
        }
    }
    const std::string what = std::string(traceToDebugger ? "Fake SDK object, trace to the debugger output"
                                                         : "Fake SDK object, trace switched off (to show its share)") +
                             (record ? ", events recorded for diagnostics" : ", no diagnostics recording");
    Report(what.c_str(), times, kBurst);
}

bool RegisterSimulator(const std::wstring& session) {
    ::SetEnvironmentVariableW(L"KORDAVIN_SIM_SESSION", session.c_str());
    HMODULE sim = ::LoadLibraryW((ProgramFolder() + L"\\KordavinSim.dll").c_str());
    if (!sim) return false;
    using Register = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<Register>(reinterpret_cast<void*>(::GetProcAddress(sim, "DllRegisterServer")));
    return registerServer && registerServer() == S_OK;
}

std::wstring Quoted(const std::wstring& word) { return L"\"" + word + L"\""; }

void BenchmarkSimulator(const std::vector<TRecorderEvent>& burst) {
    ComApartment apartment;
    const std::wstring session = UniqueSimSession();
    if (FAILED(apartment.result()) || !RegisterSimulator(session)) {
        std::printf("Simulated server: not available\n");
        return;
    }
    try {
        KordavinClient client = KordavinClient::Create(L"");
        client.Connect();
        const std::wstring pipe = SimPipeName(session, ::GetCurrentProcessId());
        std::vector<double> times;
        for (int round = 0; round < 5; ++round) {
            for (const auto& event : burst) {
                const std::wstring line = L"event " + std::to_wstring(event.Code) + L" " + Quoted(event.Channel) +
                                          L" " + Quoted(event.Text);
                if (!SendSimCommand(pipe, line).delivered) {
                    std::printf("Simulated server: control pipe not answering\n");
                    return;
                }
            }
            TEventDiagnostics diagnostics;
            BenchmarkHost host(&client, true, &diagnostics);
            times.push_back(TimeDrain([&] { host.dispatch.DispatchRecorderEvents(); }));
            if (!host.sdk) {
                std::printf("Simulated server: the connection was lost\n");
                return;
            }
        }
        Report("Simulated server through COM (in-process IDispatch), events recorded for diagnostics", times, kBurst);
    } catch (const std::exception& error) {
        std::printf("Simulated server: %s\n", error.what());
    }
}

}  // namespace

int main() {
    const std::vector<TRecorderEvent> burst = RealisticBurst();
    std::printf("Burst: %zu events (rings, caller IDs with a lookup, conversation ends on 8 channels)\n",
                burst.size());
    BenchmarkFakeSdk(burst, true, false);
    BenchmarkFakeSdk(burst, true, true);
    BenchmarkFakeSdk(burst, false, false);
    BenchmarkFakeSdk(burst, false, true);
    BenchmarkRecording(burst);
    BenchmarkSimulator(burst);
    return 0;
}
