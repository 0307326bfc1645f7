// Prints what the CRM lookup costs the thread that asks: the time Request
// takes with the lookup off and with it on against a server that answers in
// 3 s, and the time from the server's last byte to the answer in the hands of
// a user-interface thread (woken through a posted message).
#include "BenchmarkClock.h"
#include "LoopbackHttpServer.h"
#include "CrmNamesService.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const UINT kAnswersReady = ::RegisterWindowMessageW(L"KordavinCrmNamesServiceBenchmarkAnswers");
TCrmNamesService* gService = nullptr;
std::vector<double> gDeliveredUs;

LRESULT CALLBACK BenchmarkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kAnswersReady && gService) {
        for (const TCrmNamesAnswer& answer : gService->TakeAnswers()) {
            (void)answer;
            gDeliveredUs.push_back(NowMicroseconds());
        }
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

struct TFigures {
    double Median = 0;
    double Max = 0;
};

TFigures Summarise(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back()};
}

TCrmNamesSettings SettingsFor(const TLoopbackHttpServer& server) {
    TCrmNamesSettings settings;
    settings.LookupUrlTemplate = server.BaseUrlW() + L"/find?phone={number}";
    settings.LookupTimeoutMs = 10000;
    return settings;
}

// The time each Request takes, for rounds of distinct calls and numbers.
std::vector<double> TimeRequests(TCrmNamesService& service, int count, int firstNumber) {
    std::vector<double> took;
    for (int i = 0; i < count; ++i) {
        const std::wstring number = std::to_wstring(firstNumber + i);
        const double start = NowMicroseconds();
        service.Request(L"call-" + number, number, L"K1");
        took.push_back(NowMicroseconds() - start);
    }
    return took;
}

void PumpUntilDelivered(size_t count, DWORD timeoutMs) {
    const ULONGLONG until = ::GetTickCount64() + timeoutMs;
    MSG message;
    while (gDeliveredUs.size() < count && ::GetTickCount64() < until) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    }
}

}  // namespace

int main() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = BenchmarkWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KordavinCrmNamesServiceBenchmark";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    if (!window) return 1;

    constexpr int kRequests = 12;
    TLoopbackHttpServer slowServer([](const TReceivedRequest&) {
        THttpScript s;
        s.DelayMs = 3000;
        s.Body = R"({"name":"Медленный"})";
        return s;
    });
    TCrmNamesService off([] {});
    const TFigures none = Summarise(TimeRequests(off, kRequests, 1000));

    TCrmNamesService slow([window] { ::PostMessageW(window, kAnswersReady, 0, 0); });
    slow.SetSettings(SettingsFor(slowServer));
    const std::vector<double> slowTimes = TimeRequests(slow, kRequests, 2000);
    const TFigures first = Summarise({slowTimes.front()});
    const TFigures later = Summarise(std::vector<double>(slowTimes.begin() + 1, slowTimes.end()));
    slow.Shutdown();

    std::printf("Request with the lookup off:             median %8.1f us, max %8.1f us\n", none.Median, none.Max);
    std::printf("Request against a 3 s server, first:      %8.1f us\n", first.Median);
    std::printf("Request against a 3 s server, later:     median %8.1f us, max %8.1f us\n", later.Median,
                later.Max);
    std::printf("Added to the caller at worst:             %8.3f ms (target: at most 20 ms)\n",
                (std::max(first.Max, later.Max) - none.Median) / 1000.0);

    // One quick lookup at a time, so that each delivery is timed alone.
    constexpr int kDeliveries = 20;
    TLoopbackHttpServer quickServer([](const TReceivedRequest&) {
        THttpScript s;
        s.Body = R"({"name":"Быстрый"})";
        return s;
    });
    TCrmNamesService quick([window] { ::PostMessageW(window, kAnswersReady, 0, 0); });
    quick.SetSettings(SettingsFor(quickServer));
    gService = &quick;
    std::vector<double> delivery;
    std::vector<double> roundTrip;
    for (int i = 0; i < kDeliveries; ++i) {
        gDeliveredUs.clear();
        const std::wstring number = std::to_wstring(3000 + i);
        const double asked = NowMicroseconds();
        quick.Request(L"call-" + number, number, L"K1");
        PumpUntilDelivered(1, 5000);
        if (gDeliveredUs.empty()) continue;
        delivery.push_back(gDeliveredUs.front() - quickServer.LastAnswerSentUs());
        roundTrip.push_back(gDeliveredUs.front() - asked);
    }
    gService = nullptr;
    quick.Shutdown();
    const TFigures toUi = Summarise(delivery);
    const TFigures whole = Summarise(roundTrip);
    std::printf("Answer sent -> taken on the UI thread:   median %8.1f us, max %8.1f us (%zu of %d)\n", toUi.Median,
                toUi.Max, delivery.size(), kDeliveries);
    std::printf("Request -> answer on the UI thread:       median %8.1f us, max %8.1f us\n", whole.Median, whole.Max);
    ::DestroyWindow(window);
    return 0;
}
