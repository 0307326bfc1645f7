#include "LoopbackHttpServer.h"
#include "CrmNamesService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Numbers starting with 9 take 3 s; 404 is unknown; the rest answer at once
// with a name made of the number.
THttpScript Answer(const TReceivedRequest& request) {
    THttpScript s;
    const size_t at = request.Target.find("phone=");
    const std::string number = at == std::string::npos ? "" : request.Target.substr(at + 6);
    if (number == "404") s.Status = 404;
    else if (number == "500") s.Status = 500;
    else {
        if (!number.empty() && number[0] == '9') s.DelayMs = 3000;
        s.Body = R"({"name":"Абонент )" + number + "\"}";
    }
    return s;
}

class CrmNamesServiceTest : public ::testing::Test {
protected:
    CrmNamesServiceTest() {
        TCrmNamesSettings settings;
        settings.LookupUrlTemplate = server.BaseUrlW() + L"/find?phone={number}";
        settings.LookupTimeoutMs = 10000;
        service.SetSettings(settings);
    }

    // Waits for the wakes and takes what they announce, as the owner's window would.
    std::vector<TCrmNamesAnswer> TakeUntil(size_t count, std::chrono::milliseconds within = 8000ms) {
        std::vector<TCrmNamesAnswer> taken;
        const auto until = Clock::now() + within;
        while (taken.size() < count && Clock::now() < until) {
            if (wakes.load() == 0) {
                ::Sleep(5);
                continue;
            }
            --wakes;
            for (TCrmNamesAnswer& answer : service.TakeAnswers()) taken.push_back(std::move(answer));
        }
        return taken;
    }

    TLoopbackHttpServer server{Answer};
    std::atomic<int> wakes{0};
    Clock::time_point now = Clock::now();
    TCrmNamesOptions Options() {
        TCrmNamesOptions options;
        options.Now = [this] { return now; };
        return options;
    }
    TCrmNamesService service{[this] { ++wakes; }, Options()};
};

TEST_F(CrmNamesServiceTest, RequestReturnsAtOnceAndTheSlowAnswerFollows) {
    const auto start = Clock::now();
    EXPECT_EQ(service.Request(L"call-1", L"9001", L"K1"), TNameRequestStart::Started);
    EXPECT_LT(Clock::now() - start, 1000ms);  // far from the server's 3 s
    EXPECT_TRUE(service.TakeAnswers().empty());
    const std::vector<TCrmNamesAnswer> answers = TakeUntil(1);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_GE(Clock::now() - start, 2900ms);
    EXPECT_EQ(answers[0].CallKey, L"call-1");
    EXPECT_EQ(answers[0].Number, L"9001");
    EXPECT_EQ(answers[0].Result.Name, L"Абонент 9001");
    EXPECT_FALSE(answers[0].FromCache);
}

TEST_F(CrmNamesServiceTest, OneRequestPerCallHoweverManyEvents) {
    EXPECT_EQ(service.Request(L"call-1", L"100", L"K1"), TNameRequestStart::Started);
    for (int event = 0; event < 5; ++event)
        EXPECT_EQ(service.Request(L"call-1", L"100", L"K1"), TNameRequestStart::AlreadyAsked);
    const std::vector<TCrmNamesAnswer> answers = TakeUntil(1);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(service.Request(L"call-1", L"100", L"K1"), TNameRequestStart::AlreadyAsked);
    ::Sleep(200);
    EXPECT_TRUE(service.TakeAnswers().empty());
    EXPECT_EQ(server.RequestCount(), 1);
}

TEST_F(CrmNamesServiceTest, TwoCallsFromOneNumberShareTheRequest) {
    EXPECT_EQ(service.Request(L"call-1", L"9002", L"K1"), TNameRequestStart::Started);
    EXPECT_EQ(service.Request(L"call-2", L"9002", L"K2"), TNameRequestStart::Joined);
    std::vector<TCrmNamesAnswer> answers = TakeUntil(2);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].CallKey, L"call-1");
    EXPECT_EQ(answers[1].CallKey, L"call-2");
    EXPECT_EQ(answers[1].Result.Name, L"Абонент 9002");
    EXPECT_EQ(server.RequestCount(), 1);
}

TEST_F(CrmNamesServiceTest, FoundAndNotFoundAreKeptForAWhileFailuresAreNot) {
    for (const wchar_t* number : {L"100", L"404", L"500"})
        EXPECT_EQ(service.Request(std::wstring(L"first-") + number, number, L"K1"), TNameRequestStart::Started);
    ASSERT_EQ(TakeUntil(3).size(), 3u);
    EXPECT_EQ(server.RequestCount(), 3);

    // The caller rings back a minute later.
    now += 1min;
    EXPECT_EQ(service.Request(L"again-100", L"100", L"K1"), TNameRequestStart::FromCache);
    EXPECT_EQ(service.Request(L"again-404", L"404", L"K1"), TNameRequestStart::FromCache);
    EXPECT_EQ(service.Request(L"again-500", L"500", L"K1"), TNameRequestStart::Started);
    std::vector<TCrmNamesAnswer> answers = TakeUntil(3);
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_TRUE(answers[0].FromCache);
    EXPECT_EQ(answers[0].Result.Name, L"Абонент 100");
    EXPECT_EQ(answers[1].Result.Outcome, TCrmNamesOutcome::NotFound);
    EXPECT_EQ(answers[2].Result.Error, TCrmNamesError::HttpStatus);
    EXPECT_EQ(server.RequestCount(), 4);

    // Some minutes on, the CRM is asked again.
    now += 5min;
    EXPECT_EQ(service.Request(L"later-100", L"100", L"K1"), TNameRequestStart::Started);
    ASSERT_EQ(TakeUntil(1).size(), 1u);
    EXPECT_EQ(server.RequestCount(), 5);
}

TEST_F(CrmNamesServiceTest, WithTheChannelInTheTemplateEachChannelHasItsOwnAnswer) {
    // A CRM per line: the same number is another customer on another channel.
    TLoopbackHttpServer perLine([](const TReceivedRequest& request) {
        THttpScript s;
        s.Body = R"({"name":")" + request.Target.substr(request.Target.find("line=") + 5) + "\"}";
        return s;
    });
    TCrmNamesSettings settings;
    settings.LookupUrlTemplate = perLine.BaseUrlW() + L"/find?phone={number}&line={channel}";
    service.SetSettings(settings);
    EXPECT_EQ(service.Request(L"call-1", L"100", L"K1"), TNameRequestStart::Started);
    EXPECT_EQ(service.Request(L"call-2", L"100", L"K2"), TNameRequestStart::Started);
    std::vector<TCrmNamesAnswer> answers = TakeUntil(2);
    ASSERT_EQ(answers.size(), 2u);
    std::sort(answers.begin(), answers.end(), [](const auto& a, const auto& b) { return a.CallKey < b.CallKey; });
    EXPECT_EQ(answers[0].Result.Name, L"K1");
    EXPECT_EQ(answers[1].Result.Name, L"K2");

    // Rung back on each line: each from its own cached answer.
    now += 1min;
    EXPECT_EQ(service.Request(L"call-3", L"100", L"K2"), TNameRequestStart::FromCache);
    EXPECT_EQ(service.Request(L"call-4", L"100", L"K1"), TNameRequestStart::FromCache);
    answers = TakeUntil(2);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].Result.Name, L"K2");
    EXPECT_EQ(answers[1].Result.Name, L"K1");
    EXPECT_EQ(perLine.RequestCount(), 2);
}

TEST_F(CrmNamesServiceTest, NewSettingsEmptyTheCache) {
    service.Request(L"call-1", L"100", L"K1");
    ASSERT_EQ(TakeUntil(1).size(), 1u);
    TCrmNamesSettings settings;
    settings.LookupUrlTemplate = server.BaseUrlW() + L"/other?phone={number}";
    service.SetSettings(settings);
    EXPECT_EQ(service.Request(L"call-2", L"100", L"K1"), TNameRequestStart::Started);
    ASSERT_EQ(TakeUntil(1).size(), 1u);
    EXPECT_EQ(server.RequestCount(), 2);
}

TEST_F(CrmNamesServiceTest, WhatIsNotAskedSaysWhy) {
    EXPECT_EQ(service.Request(L"call-1", L"", L"K1"), TNameRequestStart::NoNumber);
    service.SetSettings(TCrmNamesSettings{});
    EXPECT_EQ(service.Request(L"call-2", L"100", L"K1"), TNameRequestStart::NotConfigured);
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(CrmNamesServiceTest, TheQueueIsBoundedAndAForgottenCallMayAskAgain) {
    TCrmNamesOptions options;
    options.Workers = 1;
    options.MaxWaiting = 2;
    TCrmNamesService small([] {}, options);
    TCrmNamesSettings settings;
    settings.LookupUrlTemplate = server.BaseUrlW() + L"/find?phone={number}";
    small.SetSettings(settings);
    EXPECT_EQ(small.Request(L"a", L"9101", L"K1"), TNameRequestStart::Started);
    ::Sleep(300);  // the worker has taken it
    EXPECT_EQ(small.Request(L"b", L"9102", L"K1"), TNameRequestStart::Started);
    EXPECT_EQ(small.Request(L"c", L"9103", L"K1"), TNameRequestStart::Started);
    EXPECT_EQ(small.Request(L"d", L"9104", L"K1"), TNameRequestStart::QueueFull);
    // Refused, it was not counted as asked.
    EXPECT_EQ(small.Request(L"d", L"9104", L"K1"), TNameRequestStart::QueueFull);
    small.ForgetCall(L"a");
    EXPECT_EQ(small.Request(L"a", L"9101", L"K1"), TNameRequestStart::Joined);
}

TEST_F(CrmNamesServiceTest, ShutdownCancelsRunningRequestsQuicklyAndDeliversNothing) {
    for (int i = 0; i < 6; ++i)
        service.Request(L"call-" + std::to_wstring(i), L"92" + std::to_wstring(i), L"K1");
    ::Sleep(300);
    const auto start = Clock::now();
    service.Shutdown();
    EXPECT_LT(Clock::now() - start, 2000ms);  // the servers answer after 3 s
    EXPECT_TRUE(service.TakeAnswers().empty());
    EXPECT_EQ(service.Request(L"call-9", L"100", L"K1"), TNameRequestStart::Stopped);
}

// A request that does not see its cancel (a call into the system that cannot
// be cut short) does not hold up the program's end: it is left to end alone,
// and nothing it finds is told.
TEST_F(CrmNamesServiceTest, ShutdownDoesNotWaitForARequestThatIgnoresItsCancel) {
    std::atomic<bool> finished{false};
    std::atomic<int> lateWakes{0};
    TCrmNamesOptions options;
    options.Workers = 1;
    options.Lookup = [&](const TCrmNamesSettings&, const std::wstring&, const std::wstring&, HANDLE) {
        ::Sleep(1500);
        finished = true;
        return TCrmNamesResult{};
    };
    auto stuck = std::make_unique<TCrmNamesService>([&] { ++lateWakes; }, options);
    TCrmNamesSettings settings;
    settings.LookupUrlTemplate = server.BaseUrlW() + L"/find?phone={number}";
    stuck->SetSettings(settings);
    ASSERT_EQ(stuck->Request(L"call-1", L"100", L"K1"), TNameRequestStart::Started);
    ::Sleep(200);
    const auto start = Clock::now();
    stuck->Shutdown();
    EXPECT_LT(Clock::now() - start, 1000ms) << "about 100 ms; the request still runs";
    EXPECT_FALSE(finished);
    stuck.reset();
    for (int i = 0; i < 300 && !finished; ++i) ::Sleep(10);
    EXPECT_TRUE(finished) << "the request ran on to its end by itself";
    ::Sleep(50);
    EXPECT_EQ(0, lateWakes.load());
}

}  // namespace
