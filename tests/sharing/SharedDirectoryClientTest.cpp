// The directory client against a real server and against servers that
// misbehave: every row of its failure table, the lock and the connection test.
#include <gtest/gtest.h>

#include "SharedDirectoryClient.h"
#include "SharedDirectoryProtocol.h"
#include "SharingTestSupport.h"

#include <future>

using namespace SharedDirectoryProtocol;

namespace {

// Short time-outs keep the failure cases quick; the real ones have tests of their own.
constexpr TSharedDirectoryClientTimings kQuick{10, 20, 3000, 300};

struct Outcome {
    bool found = false;
    std::wstring name, region, comment;
    bool saveRefused = false;  // false: the save was confirmed
    TDBTestOutcome test = TDBTestOutcome::Success;
};

// All three operations against host and port; the save goes last so that
// a real server's directories are unchanged for the others.
Outcome RunAll(TSharedDirectoryClient& client, const std::wstring& host, int port) {
    Outcome outcome;
    client.SetServer(host, port);
    outcome.name = outcome.region = outcome.comment = L"old";
    outcome.found = client.GetNameRegionCommentByPhoneRemote(L"74951234567", outcome.name, outcome.region,
                                                             outcome.comment);
    outcome.test = client.TestConnection(host, port);
    try {
        client.AddEditRowRemote(L"74957654321", L"Ольга Смирнова", L"");
    } catch (const TRemoteSaveFailure& failure) {
        outcome.saveRefused = failure.reason().Remote();
    }
    return outcome;
}

void ExpectFailed(const Outcome& outcome, TDBTestOutcome test, const char* what) {
    EXPECT_FALSE(outcome.found) << what;
    EXPECT_EQ(L"", outcome.name + outcome.region + outcome.comment) << what;
    EXPECT_TRUE(outcome.saveRefused) << what;
    EXPECT_EQ(test, outcome.test) << what;
}

class SharedDirectoryClientTest : public testing::Test {
protected:
    TestDirectories directories;
    TCallerLookupBackend backend{directories.lookup(), directories.subscribers()};
    HookedBackend hooked{backend};
    TSharedDirectoryServer server{hooked};
};

TEST_F(SharedDirectoryClientTest, AgainstAnOpenServerLooksUpSavesAndTestsSuccessfully) {
    server.StartOnAnyPort();
    TSharedDirectoryClient client(kQuick);
    const Outcome outcome = RunAll(client, L"127.0.0.1", server.Port());
    EXPECT_TRUE(outcome.found);
    EXPECT_EQ(L"Иван Петров", outcome.name);
    EXPECT_EQ(L"Москва", outcome.region);
    EXPECT_EQ(L"Поставщик бумаги", outcome.comment);
    EXPECT_FALSE(outcome.saveRefused);
    EXPECT_EQ(L"Ольга Смирнова", directories.Stored(L"74957654321"));
    EXPECT_EQ(TDBTestOutcome::Success, outcome.test);

    std::wstring name = L"old", region = L"old", comment = L"old";
    EXPECT_TRUE(client.GetNameRegionCommentByPhoneRemote(L"79990000000", name, region, comment))
        << "an unknown number is still a lookup that ran";
    EXPECT_EQ(L"", name + comment);
    EXPECT_EQ(L"Россия", region);
    // A host name works as well as a dotted address.
    client.SetServer(L"localhost", server.Port());
    EXPECT_TRUE(client.GetNameRegionCommentByPhoneRemote(L"74951234567", name, region, comment));
}

TEST_F(SharedDirectoryClientTest, WithTheServersDirectoriesClosedEveryOperationFailsAsNotActive) {
    server.StartOnAnyPort();
    directories.areas().Close();
    directories.subscribers().Close();
    TSharedDirectoryClient client(kQuick);
    ExpectFailed(RunAll(client, L"127.0.0.1", server.Port()), TDBTestOutcome::NotActive, "closed directories");
}

TEST_F(SharedDirectoryClientTest, AConnectionThatCannotBeOpenedFailsEveryOperationAtOnce) {
    const uint16_t nobody = FreePort();
    const struct {
        const wchar_t* host;
        int port;
        const char* what;
    } cases[] = {
        {L"", 32456, "empty address"},
        {L"127.0.0.1", nobody, "nothing listens"},
        {L"127.0.0.1", 0, "port 0"},
        {L"127.0.0.1", -5, "negative port"},
        {L"127.0.0.1", 65536, "port above 65535"},
    };
    for (const auto& c : cases) {
        TSharedDirectoryClient client(kQuick);
        const ULONGLONG start = ::GetTickCount64();
        ExpectFailed(RunAll(client, c.host, c.port), TDBTestOutcome::CannotConnect, c.what);
        EXPECT_LT(::GetTickCount64() - start, 3000u) << c.what;
    }
}

TEST_F(SharedDirectoryClientTest, AServerThatClosesEarlyOrStaysSilentFailsAsATimeOut) {
    const struct {
        const char* what;
        std::function<void(SOCKET)> script;
    } cases[] = {
        {"closes at once", [](SOCKET) {}},
        {"reads the request and closes", [](SOCKET s) {
             char buffer[64];
             ::recv(s, buffer, sizeof(buffer), 0);
         }},
        {"stays silent", [](SOCKET) { ::Sleep(800); }},
    };
    for (const auto& c : cases) {
        ScriptedServer scripted(c.script);
        TSharedDirectoryClient client(kQuick);
        ExpectFailed(RunAll(client, L"127.0.0.1", scripted.port()), TDBTestOutcome::TimedOut, c.what);
    }
}

TEST_F(SharedDirectoryClientTest, ALookupReplyCutShortKeepsTheTextsReceivedInFull) {
    const std::string partial = EncodeLookupReply(kLookupDone, L"Имя", L"", L"").substr(0, 4 + 4 + 6 + 4 + 2);
    const struct {
        const char* what;
        std::string reply;
        std::wstring name;
    } cases[] = {
        {"cut inside the region", partial, L"Имя"},
        {"an odd count", HexBytes("00 00 00 00 03 00 00 00 61 00 62"), L""},
        {"a count above 1 MiB", HexBytes("00 00 00 00 02 00 10 80"), L""},
    };
    for (const auto& c : cases) {
        ScriptedServer scripted([&](SOCKET s) {
            char buffer[256];
            ::recv(s, buffer, sizeof(buffer), 0);
            ::send(s, c.reply.data(), static_cast<int>(c.reply.size()), 0);
            ::shutdown(s, SD_SEND);
            ::Sleep(100);
        });
        TSharedDirectoryClient client(kQuick);
        client.SetServer(L"127.0.0.1", scripted.port());
        std::wstring name, region, comment;
        EXPECT_FALSE(client.GetNameRegionCommentByPhoneRemote(L"74951234567", name, region, comment)) << c.what;
        EXPECT_EQ(c.name, name) << c.what;
        EXPECT_EQ(L"", region + comment) << c.what;
    }
}

TEST_F(SharedDirectoryClientTest, AnyNonZeroCheckByteIsSuccess) {
    for (char byte : {'\x01', '\x7F', '\xFF'}) {
        ScriptedServer scripted([byte](SOCKET s) {
            char buffer[16];
            ::recv(s, buffer, sizeof(buffer), 0);
            ::send(s, &byte, 1, 0);
            ::Sleep(50);
        });
        TSharedDirectoryClient client(kQuick);
        EXPECT_EQ(TDBTestOutcome::Success, client.TestConnection(L"127.0.0.1", scripted.port()));
    }
}

TEST_F(SharedDirectoryClientTest, TheTestUsesTheHostAndPortItIsGivenNotTheAppliedOnes) {
    server.StartOnAnyPort();
    TSharedDirectoryClient client(kQuick);
    client.SetServer(L"", 1);
    EXPECT_EQ(TDBTestOutcome::Success, client.TestConnection(L"127.0.0.1", server.Port()));
    std::wstring name, region, comment;
    EXPECT_FALSE(client.GetNameRegionCommentByPhoneRemote(L"74951234567", name, region, comment))
        << "lookups keep the applied settings";
}

TEST_F(SharedDirectoryClientTest, ASaveWhileATestHoldsTheLockGivesUpAfterTenTriesOfTwoHundredMilliseconds) {
    server.StartOnAnyPort();
    TSharedDirectoryClient client;  // the real lock timings
    client.SetServer(L"127.0.0.1", server.Port());
    hooked.CloseGate();
    auto test = std::async(std::launch::async, [&] { return client.TestConnection(L"127.0.0.1", server.Port()); });
    ASSERT_TRUE(hooked.WaitForCalls(1));

    const ULONGLONG start = ::GetTickCount64();
    TLookupFailureKind saveFailure = TLookupFailureKind::None;
    std::wstring name = L"old", region = L"old", comment = L"old";
    bool found = true;
    auto save = std::async(std::launch::async, [&] {
        try {
            client.AddEditRowRemote(L"74950000005", L"Потерянный", L"");
        } catch (const TRemoteSaveFailure& failure) {
            saveFailure = failure.reason().Kind;
        }
    });
    auto lookup = std::async(std::launch::async, [&] {
        found = client.GetNameRegionCommentByPhoneRemote(L"74951234567", name, region, comment);
    });
    save.get();
    lookup.get();
    const ULONGLONG waited = ::GetTickCount64() - start;
    EXPECT_EQ(TLookupFailureKind::ClientLockBusy, saveFailure);
    EXPECT_FALSE(found);
    EXPECT_EQ(L"", name + region + comment);
    EXPECT_GE(waited, 1800u);
    EXPECT_LT(waited, 4000u);
    hooked.OpenGate();
    EXPECT_EQ(TDBTestOutcome::Success, test.get());
    EXPECT_EQ(L"", directories.Stored(L"74950000005"));

    // Held by another thread, the lock fails the test too; the holder itself may re-enter.
    std::lock_guard<std::recursive_mutex> held(client.FCS());
    EXPECT_EQ(TDBTestOutcome::Success, client.TestConnection(L"127.0.0.1", server.Port()));
    auto other = std::async(std::launch::async, [&] { return client.TestConnection(L"127.0.0.1", server.Port()); });
    EXPECT_EQ(TDBTestOutcome::CannotConnect, other.get());
}

TEST_F(SharedDirectoryClientTest, ASilentServerMakesTheTestReportATimeOutAfterTenSeconds) {
    ScriptedServer silent([](SOCKET) { ::Sleep(12000); });
    TSharedDirectoryClient client;
    const ULONGLONG start = ::GetTickCount64();
    const TDBTestOutcome result = client.TestConnection(L"127.0.0.1", silent.port());
    const ULONGLONG waited = ::GetTickCount64() - start;
    EXPECT_EQ(TDBTestOutcome::TimedOut, result);
    EXPECT_GE(waited, 9500u);
    EXPECT_LT(waited, 12000u);
}

TEST_F(SharedDirectoryClientTest, AConnectThatIsNotAnsweredGivesUpAfterThreeSeconds) {
    // A listener that never accepts, with its backlog filled: further connects get no answer.
    ScriptedServer full([](SOCKET) {}, 1, false);
    WinsockSession winsock;
    std::vector<UniqueSocket> fillers;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    address.sin_port = ::htons(full.port());
    for (int i = 0; i < 6; ++i) {
        UniqueSocket filler(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        SetNonBlocking(filler.get(), true);
        ::connect(filler.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        const bool answered = WaitForSocket(filler.get(), POLLWRNORM, 500);
        fillers.push_back(std::move(filler));
        if (answered) continue;
        // The backlog is full: the client's connect must give up on its own.
        TSharedDirectoryClient client;
        const ULONGLONG start = ::GetTickCount64();
        const TDBTestOutcome result = client.TestConnection(L"127.0.0.1", full.port());
        const ULONGLONG waited = ::GetTickCount64() - start;
        EXPECT_EQ(TDBTestOutcome::CannotConnect, result);
        EXPECT_GE(waited, 2500u);
        EXPECT_LT(waited, 6000u);
        return;
    }
    GTEST_SKIP() << "this system answers every connect to a full backlog";
}

}  // namespace

TEST_F(SharedDirectoryClientTest, AFailedLookupSaysWhy) {
    server.StartOnAnyPort();
    const uint16_t nobody = FreePort();
    ScriptedServer closesAtOnce([](SOCKET) {});
    const auto lookUp = [](TSharedDirectoryClient& client, const std::wstring& host, int port) {
        client.SetServer(host, port);
        std::wstring name, region, comment;
        TLookupFailure failure;
        EXPECT_FALSE(client.LookupRemoteWithReason(L"74951234567", name, region, comment, failure));
        return failure;
    };
    TSharedDirectoryClient client(kQuick);

    TLookupFailure failure = lookUp(client, L"127.0.0.1", nobody);
    EXPECT_EQ(TLookupFailureKind::ServerNotReached, failure.Kind);
    EXPECT_EQ(L"127.0.0.1:" + std::to_wstring(nobody), failure.Detail) << "the support reader sees where it went";

    failure = lookUp(client, L"127.0.0.1", closesAtOnce.port());
    EXPECT_EQ(TLookupFailureKind::ExchangeFailed, failure.Kind);

    directories.areas().Close();
    directories.subscribers().Close();
    EXPECT_EQ(TLookupFailureKind::ServerDirectoriesClosed, lookUp(client, L"127.0.0.1", server.Port()).Kind);

    // Another thread's exchange holds the client lock past the lookup's tries.
    std::promise<void> held, release;
    auto holder = std::async(std::launch::async, [&] {
        std::lock_guard<std::recursive_mutex> guard(client.FCS());
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    EXPECT_EQ(TLookupFailureKind::ClientLockBusy, lookUp(client, L"127.0.0.1", server.Port()).Kind);
    release.set_value();
    holder.get();
}
