#include "CrmNamesLookup.h"
#include "LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

namespace {

using O = TCrmNamesOutcome;
using E = TCrmNamesError;

// The server's answers by path; the number asked for picks the path.
THttpScript Answer(const TReceivedRequest& request) {
    const std::string& t = request.Target;
    const auto has = [&](const char* part) { return t.find(part) != std::string::npos; };
    THttpScript s;
    if (has("phone=100")) s.Body = R"({"name":"ООО «Ромашка»","comment":"Звонить после 10:00","id":7})";
    else if (has("phone=404")) { s.Status = 404; s.Body = R"({"error":"not found"})"; }
    else if (has("phone=500")) { s.Status = 500; s.Body = "oops"; }
    else if (has("phone=2001")) { s.ContentType = "text/html"; s.Body = "<html><body>Вход</body></html>"; }
    else if (has("phone=2002")) s.Body = R"({"name": "x" "comment"})";
    else if (has("phone=2003")) s.Body = "{\"name\":\"" + std::string(10 * 1024 * 1024, 'a') + "\"}";
    else if (has("phone=2004")) {
        s.Body = "{\"name\":\"" + std::string(10 * 1024 * 1024, 'a') + "\"}";
        s.DeclareLength = false;
    } else if (has("phone=2005")) s.Body = std::string(100000, '[') + std::string(100000, ']');
    else if (has("phone=3021")) { s.Status = 302; s.ExtraHeaders = {"Location: file:///C:/windows/win.ini"}; }
    else if (has("phone=3022")) { s.Status = 302; s.ExtraHeaders = {"Location: ftp://127.0.0.1/x"}; }
    else if (has("phone=3023")) { s.Status = 302; s.ExtraHeaders = {"Location: /moved?phone=100"}; }
    else if (has("phone=3024")) { s.Status = 302; s.ExtraHeaders = {"Location: /loop?phone=3024"}; }
    else if (has("phone=9001")) { s.DelayMs = 3000; s.Body = R"({"name":"Медленный"})"; }
    else if (has("phone=9002")) { s.TrickleMs = 150; s.Body = R"({"name":"Капля за каплей, по байту"})"; }
    else if (has("phone=7001")) {
        // Says whether the token header arrived.
        const bool token = request.Headers.find("Authorization: Bearer t0ken") != std::string::npos;
        s.Body = std::string(R"({"name":")") + (token ? "with token" : "without token") + "\"}";
    } else s.Status = 400;
    return s;
}

class CrmNamesLookupTest : public ::testing::Test {
protected:
    TCrmNamesSettings Settings(int timeoutMs = 1500) const {
        TCrmNamesSettings settings;
        settings.LookupUrlTemplate = server.BaseUrlW() + L"/find?line={channel}&phone={number}";
        settings.LookupNamePath = L"/name";
        settings.LookupCommentPath = L"/comment";
        settings.LookupTimeoutMs = timeoutMs;
        return settings;
    }
    TLoopbackHttpServer server{Answer};
};

TEST_F(CrmNamesLookupTest, AnswersGiveNamesNotFoundOrTheReason) {
    struct Case {
        const wchar_t* Number;
        O Outcome;
        E Error;
        const wchar_t* Name;
    };
    const Case cases[] = {
        {L"100", O::Found, E::None, L"ООО «Ромашка»"},
        {L"404", O::NotFound, E::None, L""},
        {L"500", O::Failed, E::HttpStatus, L""},
        {L"2001", O::Failed, E::NotJson, L""},
        {L"2002", O::Failed, E::NotJson, L""},
        {L"2003", O::Failed, E::BodyTooLarge, L""},
        {L"2004", O::Failed, E::BodyTooLarge, L""},
        {L"2005", O::Failed, E::TooDeep, L""},
        {L"3021", O::Failed, E::RedirectRefused, L""},
        {L"3022", O::Failed, E::RedirectRefused, L""},
        {L"3024", O::Failed, E::RedirectRefused, L""},
        {L"3023", O::Found, E::None, L"ООО «Ромашка»"},
    };
    for (const Case& c : cases) {
        const TCrmNamesResult result = LookUpNameOverHttp(Settings(), c.Number, L"K1");
        EXPECT_EQ(result.Outcome, c.Outcome) << c.Number << L" " << result.Detail;
        EXPECT_EQ(result.Error, c.Error) << c.Number << L" " << result.Detail;
        EXPECT_EQ(result.Name, c.Name) << c.Number;
    }
    const TCrmNamesResult found = LookUpNameOverHttp(Settings(), L"100", L"K1");
    EXPECT_EQ(found.Comment, L"Звонить после 10:00");
    EXPECT_EQ(LookUpNameOverHttp(Settings(), L"3021", L"K1").Detail, L"file:///C:/windows/win.ini");
}

TEST_F(CrmNamesLookupTest, TheRequestCarriesTheEncodedNumberAndChannel) {
    LookUpNameOverHttp(Settings(), L"100", L"Приёмная 1");
    const std::vector<TReceivedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Target, "/find?line=%D0%9F%D1%80%D0%B8%D1%91%D0%BC%D0%BD%D0%B0%D1%8F%201&phone=100");
    EXPECT_NE(requests[0].Headers.find("Accept: application/json"), std::string::npos);
}

TEST_F(CrmNamesLookupTest, TheTokenHeaderGoesOnlyToTheConfiguredServer) {
    TCrmNamesSettings settings = Settings();
    settings.LookupHeader = L"Authorization: Bearer t0ken";
    EXPECT_EQ(LookUpNameOverHttp(settings, L"7001", L"K1").Name, L"with token");

    // Redirected to the same server under another name: no token.
    TLoopbackHttpServer redirecting([&](const TReceivedRequest&) {
        THttpScript s;
        s.Status = 302;
        s.ExtraHeaders = {"Location: http://localhost:" + std::to_string(server.Port()) + "/find?phone=7001"};
        return s;
    });
    settings.LookupUrlTemplate = redirecting.BaseUrlW() + L"/?phone={number}";
    const TCrmNamesResult result = LookUpNameOverHttp(settings, L"7001", L"K1");
    EXPECT_EQ(result.Name, L"without token") << result.Detail;
    ASSERT_EQ(redirecting.Requests().size(), 1u);
    EXPECT_NE(redirecting.Requests()[0].Headers.find("Authorization: Bearer t0ken"), std::string::npos);
}

TEST_F(CrmNamesLookupTest, SlowAndTricklingServersAreCutAtTheTimeOut) {
    for (const wchar_t* number : {L"9001", L"9002"}) {
        const auto start = std::chrono::steady_clock::now();
        const TCrmNamesResult result = LookUpNameOverHttp(Settings(800), number, L"K1");
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.Error, E::TimedOut) << number << L" " << result.Detail;
        // Well before the 3 s answer or the trickle's 4 s end.
        EXPECT_LT(took, std::chrono::milliseconds(2500)) << number;
        EXPECT_GE(took, std::chrono::milliseconds(700)) << number;
    }
    // Given time, the slow server's answer is read.
    EXPECT_EQ(LookUpNameOverHttp(Settings(6000), L"9001", L"K1").Name, L"Медленный");
}

TEST_F(CrmNamesLookupTest, NoServerListeningIsNotReached) {
    TCrmNamesSettings settings = Settings();
    settings.LookupUrlTemplate = L"http://127.0.0.1:" + std::to_wstring(UnusedLoopbackPort()) + L"/?p={number}";
    const TCrmNamesResult result = LookUpNameOverHttp(settings, L"100", L"K1");
    EXPECT_EQ(result.Error, E::ServerNotReached) << result.Detail;
}

TEST_F(CrmNamesLookupTest, NothingIsSentWithoutUsableSettingsOrANumber) {
    TCrmNamesSettings settings = Settings();
    EXPECT_EQ(LookUpNameOverHttp(settings, L"", L"K1").Error, E::NoNumber);
    EXPECT_EQ(LookUpNameOverHttp(settings, L"Скрыт", L"K1").Error, E::NoNumber);
    settings.LookupNamePath = L"name";
    EXPECT_EQ(LookUpNameOverHttp(settings, L"100", L"K1").Error, E::SettingsRefused);
    settings = Settings();
    settings.LookupHeader = L"X: a\r\nY: b";
    EXPECT_EQ(LookUpNameOverHttp(settings, L"100", L"K1").Error, E::SettingsRefused);
    EXPECT_EQ(LookUpNameOverHttp(TCrmNamesSettings{}, L"100", L"K1").Error, E::NotConfigured);
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(CrmNamesLookupTest, ACancelEndsARunningRequestAtOnce) {
    UniqueKernelHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread canceller([&] {
        ::Sleep(300);
        ::SetEvent(cancel.get());
    });
    const auto start = std::chrono::steady_clock::now();
    const TCrmNamesResult result = LookUpNameOverHttp(Settings(20000), L"9001", L"K1", cancel.get());
    const auto took = std::chrono::steady_clock::now() - start;
    canceller.join();
    EXPECT_EQ(result.Error, E::Canceled) << result.Detail;
    EXPECT_LT(took, std::chrono::milliseconds(2000));
}

}  // namespace
