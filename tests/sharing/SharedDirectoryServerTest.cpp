// The directory server on a loopback port, driven by raw connections: every
// reply, silence and close, a flood of connections and stopping mid-service.
#include <gtest/gtest.h>

#include "AppError.h"
#include "SharedDirectoryClient.h"
#include "SharedDirectoryProtocol.h"
#include "SharingTestSupport.h"

#include <chrono>
#include <future>
#include <memory>

using namespace SharedDirectoryProtocol;

namespace {

class SharedDirectoryServerTest : public testing::Test {
protected:
    void StartServer(TSharedDirectoryServerLimits limits = {}, TAllowedClients allowed = {}) {
        server = std::make_unique<TSharedDirectoryServer>(hooked, limits);
        server->StartOnAnyPort(std::move(allowed));
        port = server->Port();
        ASSERT_NE(0, port);
    }

    static ULONGLONG Since(ULONGLONG start) { return ::GetTickCount64() - start; }

    TestDirectories directories;
    TCallerLookupBackend backend{directories.lookup(), directories.subscribers()};
    HookedBackend hooked{backend};
    std::unique_ptr<TSharedDirectoryServer> server;
    uint16_t port = 0;
};

TEST_F(SharedDirectoryServerTest, AnswersEachRequestWithExactlyItsReplyAndCloses) {
    StartServer();
    const struct {
        const char* what;
        std::string request;
        std::string reply;
    } cases[] = {
        {"check", EncodeCheckRequest(), "01"},
        {"lookup of a stored number",
         EncodeLookupRequest(L"74951234567"),
         HexOf(EncodeLookupReply(kLookupDone, L"Иван Петров", L"Москва", L"Поставщик бумаги"))},
        {"lookup of an unknown number: status 0, empty name and comment",
         EncodeLookupRequest(L"74959999999"), HexOf(EncodeLookupReply(kLookupDone, L"", L"Москва", L""))},
        {"lookup of an empty phone", EncodeLookupRequest(L""), HexOf(EncodeLookupReply(kLookupDone))},
        {"save", EncodeSaveRequest(L"78122345678", L"Ольга Смирнова", L""), "00 00 00 00"},
    };
    for (const auto& c : cases) {
        const auto received = Exchange(port, c.request);
        EXPECT_EQ(c.reply, HexOf(received.bytes)) << c.what;
        EXPECT_TRUE(received.closed) << c.what << ": the server closes once it has answered";
    }
    EXPECT_EQ(L"Ольга Смирнова", directories.Stored(L"78122345678"));
    EXPECT_EQ(HexOf(EncodeLookupReply(kLookupDone, L"Ольга Смирнова", L"Санкт-Петербург", L"")),
              HexOf(Exchange(port, EncodeLookupRequest(L"78122345678")).bytes));
}

TEST_F(SharedDirectoryServerTest, ReadsRequestsThatArriveByteByByteOrSplitAnywhere) {
    StartServer();
    const std::string request = EncodeSaveRequest(L"74951112233", L"Пётр", L"Склад");
    // Byte by byte, with the server reading in between.
    {
        RawConnection connection(port);
        for (char byte : request) {
            ASSERT_TRUE(connection.Send(std::string(1, byte)));
            ::Sleep(2);
        }
        EXPECT_EQ("00 00 00 00", HexOf(connection.ReadUntilClosed(5000).bytes));
    }
    for (size_t at : {size_t(1), size_t(4), size_t(7), size_t(8), request.size() - 1}) {
        RawConnection connection(port);
        ASSERT_TRUE(connection.Send(request.substr(0, at)));
        ::Sleep(30);
        ASSERT_TRUE(connection.Send(request.substr(at)));
        EXPECT_EQ("00 00 00 00", HexOf(connection.ReadUntilClosed(5000).bytes)) << "split at " << at;
    }
    EXPECT_EQ(L"Пётр", directories.Stored(L"74951112233"));
}

TEST_F(SharedDirectoryServerTest, ClosesAtOnceWithoutReplyOnUnknownCodesAndBadCounts) {
    StartServer();
    const char* requests[] = {
        "03 00 00 00", "07 00 00 00", "FF FF FF FF", "FF FF FF 7F",
        "01 00 00 00 FF FF FF FF",           // negative count
        "01 00 00 00 03 00 00 00 37 00 34",  // odd count
        "01 00 00 00 00 00 00 40",           // 1 GiB announced, nothing sent
        "02 00 00 00 02 00 00 00 37 00 02 00 10 00",
    };
    for (const char* request : requests) {
        const ULONGLONG start = ::GetTickCount64();
        const auto received = Exchange(port, HexBytes(request));
        EXPECT_TRUE(received.closed) << request;
        EXPECT_EQ("", HexOf(received.bytes)) << request;
        EXPECT_LT(Since(start), 2000u) << request << ": closed at once, not after a time-out";
    }
    EXPECT_FALSE(hooked.WaitForCalls(1, 0)) << "no directory operation ran";
}

TEST_F(SharedDirectoryServerTest, WithClosedDirectoriesChecksSayNoLookupsSayStatus1AndSavesGetNoReply) {
    StartServer();
    directories.areas().Close();
    EXPECT_EQ("00", HexOf(Exchange(port, EncodeCheckRequest()).bytes));
    EXPECT_EQ("01 00 00 00", HexOf(Exchange(port, EncodeLookupRequest(L"74951234567")).bytes));
    directories.subscribers().Close();
    const auto save = Exchange(port, EncodeSaveRequest(L"74950000001", L"Никто", L""));
    EXPECT_TRUE(save.closed);
    EXPECT_EQ("", HexOf(save.bytes)) << "a save that is not stored gets no reply";
    directories.subscribers().Open();
    EXPECT_EQ(L"", directories.Stored(L"74950000001"));
}

TEST_F(SharedDirectoryServerTest, SavesStayInItsOwnDirectoryWhileTheSettingsTurnToClientMode) {
    StartServer();
    // An apply sets the client mode before it restarts the server.
    directories.lookup().SetUseRemoteDB(true);
    directories.lookup().SetDBAsClient(true);
    EXPECT_EQ("00 00 00 00", HexOf(Exchange(port, EncodeSaveRequest(L"74950000006", L"Локально", L"")).bytes));
    EXPECT_EQ(L"Локально", directories.Stored(L"74950000006"));
}

TEST_F(SharedDirectoryServerTest, ASaveTheStoreRefusesEndsWithoutReplyAndTheServerGoesOn) {
    StartServer();
    hooked.failSaves = true;
    const auto refused = Exchange(port, EncodeSaveRequest(L"74950000002", L"Отказ", L""));
    EXPECT_TRUE(refused.closed);
    EXPECT_EQ("", HexOf(refused.bytes));
    EXPECT_EQ("01", HexOf(Exchange(port, EncodeCheckRequest()).bytes));
}

TEST_F(SharedDirectoryServerTest, ClientsThatCloseMidRequestOrResetAreDroppedQuietly) {
    StartServer();
    const std::string request = EncodeSaveRequest(L"74950000003", L"Обрыв", L"");
    {
        RawConnection connection(port);
        connection.Send(request.substr(0, 9));
        connection.Close();
    }
    {
        RawConnection connection(port);
        connection.Send(request.substr(0, 13));
        connection.Abort();
    }
    {
        // Sends the whole request and goes away before the reply.
        RawConnection connection(port);
        connection.Send(EncodeLookupRequest(L"74951234567"));
        connection.Abort();
    }
    EXPECT_EQ("01", HexOf(Exchange(port, EncodeCheckRequest()).bytes));
    ::Sleep(100);
    EXPECT_EQ(L"", directories.Stored(L"74950000003"));
    EXPECT_EQ(0u, server->Stats().Open);
}

TEST_F(SharedDirectoryServerTest, ClientsHoldingLongTextsCannotTakeMoreThanTheByteBudget) {
    TSharedDirectoryServerLimits small;
    small.MaxBufferedBytes = 4096;
    StartServer(small);
    // Each announces a text of 1 MiB and sends 3000 bytes of it.
    const std::string start = HexBytes("01 00 00 00 00 00 10 00") + std::string(2992, 'a');
    RawConnection first(port), second(port);
    ASSERT_TRUE(first.Send(start));
    ::Sleep(200);
    ASSERT_TRUE(second.Send(start));
    const auto refused = second.ReadUntilClosed(3000);
    EXPECT_TRUE(refused.closed) << "the second would take the budget past 4096 bytes";
    EXPECT_EQ("", refused.bytes);
    EXPECT_FALSE(first.ReadUntilClosed(200).closed) << "the first keeps its place";
    EXPECT_EQ("01", HexOf(Exchange(port, EncodeCheckRequest()).bytes)) << "small requests still fit";
    first.Close();
    ::Sleep(200);
    EXPECT_EQ("01", HexOf(Exchange(port, EncodeCheckRequest()).bytes));
}

TEST_F(SharedDirectoryServerTest, AnAddressHoldingTheWholeByteBudgetGivesWaySoAnotherIsServed) {
    TSharedDirectoryServerLimits small;
    small.MaxBufferedBytes = 16 * 4096;
    small.IoTimeoutMs = 60000;
    StartServer(small);
    // Sixteen connections from one address, each announcing a text of 1 MiB
    // and holding 4096 bytes of it: the budget is full.
    const std::string start = HexBytes("01 00 00 00 00 00 10 00") + std::string(4088, 'a');
    std::vector<std::unique_ptr<RawConnection>> heavy;
    for (int i = 0; i < 16; ++i) {
        heavy.push_back(std::make_unique<RawConnection>(port, "127.0.0.1"));
        ASSERT_TRUE(heavy.back()->Send(start)) << i;
        ::Sleep(20);
    }
    for (int i = 0; i < 250 && server->Stats().Open < 16; ++i) ::Sleep(20);
    ASSERT_EQ(16u, server->Stats().Open);

    const std::string answer = HexOf(EncodeLookupReply(kLookupDone, L"Иван Петров", L"Москва", L"Поставщик бумаги"));
    for (int i = 0; i < 3; ++i) {
        RawConnection connection(port, "127.0.0.2");
        ASSERT_TRUE(connection.Send(EncodeLookupRequest(L"74951234567")));
        EXPECT_EQ(answer, HexOf(connection.ReadUntilClosed(5000).bytes)) << "lookup " << i;
    }
    // The heavy address lost only what made room; a new large request of its
    // own still finds the budget full of its own bytes and is refused.
    EXPECT_GE(server->Stats().Open, 15u);
    RawConnection more(port, "127.0.0.1");
    ASSERT_TRUE(more.Send(start + std::string(4096, 'a')));
    EXPECT_TRUE(more.ReadUntilClosed(3000).closed);
}

TEST_F(SharedDirectoryServerTest, ASilentClientIsDroppedAfterTenSeconds) {
    StartServer();
    RawConnection silent(port);
    ASSERT_TRUE(silent.connected());
    // Half a request, then nothing: each receive waits 10 000 ms.
    silent.Send(HexBytes("01 00 00"));
    const ULONGLONG start = ::GetTickCount64();
    const auto received = silent.ReadUntilClosed(20000);
    const ULONGLONG waited = Since(start);
    EXPECT_TRUE(received.closed);
    EXPECT_EQ("", received.bytes);
    EXPECT_GE(waited, 9500u);
    EXPECT_LE(waited, 13000u);
}

TEST_F(SharedDirectoryServerTest, AThousandSilentConnectionsNeitherBlockOthersNorAddThreads) {
    const int threadsBefore = ProcessThreadCount();
    // Opening a thousand connections can take longer than one receive time-out
    // on a busy machine; the idle ones must all be open at once here.
    TSharedDirectoryServerLimits patient;
    patient.IoTimeoutMs = 120000;
    StartServer(patient);
    const int threadsServing = ProcessThreadCount();
    // Fifty from each of twenty workstations, within the limit of one address.
    const auto from = [](size_t i) { return "127.0.1." + std::to_string(1 + i / 50); };
    std::vector<std::unique_ptr<RawConnection>> silent;
    for (int i = 0; i < 1000; ++i) {
        silent.push_back(std::make_unique<RawConnection>(port, from(static_cast<size_t>(i)).c_str()));
        ASSERT_TRUE(silent.back()->connected()) << i;
    }
    // Let the server take them all in.
    for (int i = 0; i < 500 && server->Stats().Open < 1000; ++i) ::Sleep(20);
    EXPECT_EQ(1000u, server->Stats().Open);
    EXPECT_LE(ProcessThreadCount(), threadsServing + 1) << "the server's threads do not grow with its connections";
    EXPECT_LE(threadsServing - threadsBefore, 6);

    for (int i = 0; i < 5; ++i) {
        const ULONGLONG start = ::GetTickCount64();
        EXPECT_EQ(HexOf(EncodeLookupReply(kLookupDone, L"Иван Петров", L"Москва", L"Поставщик бумаги")),
                  HexOf(Exchange(port, EncodeLookupRequest(L"74951234567")).bytes));
        EXPECT_LT(Since(start), 1000u) << "a valid request is answered within a second";
    }

    // Beyond the limit, new connections are closed at once.
    const size_t limit = TSharedDirectoryServerLimits{}.MaxConnections;
    std::vector<std::unique_ptr<RawConnection>> extra;
    for (size_t i = 0; i < limit - 1000 + 20; ++i)
        extra.push_back(std::make_unique<RawConnection>(port, from(1000 + i).c_str()));
    for (int i = 0; i < 500 && server->Stats().RefusedOverLimit < 20; ++i) ::Sleep(20);
    size_t refused = 0;
    for (auto& connection : extra) refused += connection->ReadUntilClosed(50).closed;
    EXPECT_EQ(20u, refused);
    EXPECT_EQ(limit, server->Stats().PeakOpen);
    EXPECT_EQ(20u, server->Stats().RefusedOverLimit);
}

TEST_F(SharedDirectoryServerTest, AClientTricklingItsRequestIsClosedAtADeadlineCountedFromTheAccept) {
    TSharedDirectoryServerLimits quick;
    quick.IoTimeoutMs = 1500;
    StartServer(quick);
    const std::string request = EncodeSaveRequest(L"74950000007", L"Капля", std::wstring(40, L'к'));
    RawConnection trickle(port, "127.0.0.2");
    ASSERT_TRUE(trickle.connected());
    const ULONGLONG start = ::GetTickCount64();
    // A byte every 200 ms: each gap far inside the time-out, the whole far beyond it.
    bool closed = false;
    for (size_t at = 0; !closed && at < request.size() && Since(start) < 6000; ++at) {
        trickle.Send(request.substr(at, 1));
        closed = trickle.ReadUntilClosed(200).closed;
    }
    const ULONGLONG held = Since(start);
    EXPECT_TRUE(closed);
    EXPECT_GE(held, 1300u);
    EXPECT_LE(held, 2600u);
    EXPECT_EQ(L"", directories.Stored(L"74950000007"));
    EXPECT_FALSE(hooked.WaitForCalls(1, 0)) << "no directory operation ran";
}

TEST_F(SharedDirectoryServerTest, OneAddressCannotTakeThePlacesOfTheOthers) {
    TSharedDirectoryServerLimits small;
    small.MaxConnections = 40;
    small.MaxConnectionsPerAddress = 8;
    small.IoTimeoutMs = 60000;
    StartServer(small);
    // The attacker opens more connections than the server has places, each with
    // a byte of a request, and keeps them open.
    std::vector<std::unique_ptr<RawConnection>> attacker;
    for (int i = 0; i < 60; ++i) {
        attacker.push_back(std::make_unique<RawConnection>(port, "127.0.0.2"));
        ASSERT_TRUE(attacker.back()->connected()) << i;
        attacker.back()->Send(HexBytes("01"));
    }
    for (int i = 0; i < 250 && server->Stats().RefusedOverAddressLimit + server->Stats().Open < 60; ++i) ::Sleep(20);
    EXPECT_EQ(8u, server->Stats().Open);
    EXPECT_EQ(52u, server->Stats().RefusedOverAddressLimit);
    size_t refused = 0;
    for (auto& connection : attacker) refused += connection->ReadUntilClosed(20).closed;
    EXPECT_EQ(52u, refused);

    const std::string answer = HexOf(EncodeLookupReply(kLookupDone, L"Иван Петров", L"Москва", L"Поставщик бумаги"));
    for (const char* honest : {"127.0.0.1", "127.0.0.3"}) {
        const ULONGLONG start = ::GetTickCount64();
        RawConnection connection(port, honest);
        ASSERT_TRUE(connection.Send(EncodeLookupRequest(L"74951234567")));
        const auto received = connection.ReadUntilClosed(5000);
        EXPECT_EQ(answer, HexOf(received.bytes)) << honest;
        EXPECT_LT(Since(start), 1000u) << honest;
    }
    EXPECT_EQ(8u, server->Stats().Open) << "the attacker keeps only its own places";
}

TEST_F(SharedDirectoryServerTest, StopReturnsWithinItsBoundWhileADirectoryOperationHangs) {
    TSharedDirectoryServerLimits limits;
    limits.StopWaitMs = 1000;
    StartServer(limits);
    hooked.CloseGate();
    RawConnection connection(port);
    ASSERT_TRUE(connection.Send(EncodeSaveRequest(L"74950000008", L"Зависший", L"")));
    ASSERT_TRUE(hooked.WaitForCalls(1));
    const ULONGLONG start = ::GetTickCount64();
    auto stopped = std::async(std::launch::async, [&] { return server->Stop(); });
    if (stopped.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        hooked.OpenGate();
        stopped.get();
        FAIL() << "Stop waited for the hanging operation";
    }
    EXPECT_GE(Since(start), 900u) << "the running operation had its time";
    EXPECT_FALSE(stopped.get()) << "Stop says an operation still runs";
    EXPECT_FALSE(server->Active());
    EXPECT_TRUE(connection.ReadUntilClosed(1000).closed);

    // The port serves again while the old operation still hangs, and the old
    // one ends quietly once it is let go.
    server->Start(port);
    hooked.OpenGate();
    EXPECT_EQ("01", HexOf(Exchange(port, EncodeCheckRequest()).bytes));
    for (int i = 0; i < 250 && directories.Stored(L"74950000008").empty(); ++i) ::Sleep(20);
    EXPECT_EQ(L"Зависший", directories.Stored(L"74950000008"));
    ::Sleep(100);
    EXPECT_TRUE(server->Stop()) << "nothing runs now";
}

// At the program's end nothing waits for a client's operation that hangs: the
// stop gives it a moment only.
TEST_F(SharedDirectoryServerTest, StopGivesAHangingOperationAMomentOnly) {
    StartServer();
    hooked.CloseGate();
    RawConnection connection(port);
    ASSERT_TRUE(connection.Send(EncodeSaveRequest(L"74950000009", L"Зависший", L"")));
    ASSERT_TRUE(hooked.WaitForCalls(1));
    const ULONGLONG start = ::GetTickCount64();
    const bool ended = server->Stop();
    const ULONGLONG took = Since(start);
    EXPECT_FALSE(ended);
    EXPECT_LT(took, 1000u) << "about 100 ms; the bound is for a busy machine";
    EXPECT_TRUE(connection.ReadUntilClosed(1000).closed);
    // The operation let go still finishes its save (the hooked backend waits it
    // out before the test's directories go).
    hooked.OpenGate();
    for (int i = 0; i < 250 && directories.Stored(L"74950000009").empty(); ++i) ::Sleep(20);
    EXPECT_EQ(L"Зависший", directories.Stored(L"74950000009"));
}

TEST_F(SharedDirectoryServerTest, ARestartRetriesABindRefusedWhileThePortsConnectionsLinger) {
    TSharedDirectoryServerLimits limits;
    limits.BindAttempts = 5;
    limits.BindRetryDelayMs = 50;
    StartServer(limits);
    server->Stop();
    const struct {
        const char* what;
        int refusals;  // binds that fail before one succeeds
        int error;
        int calls;
        bool starts;
    } cases[] = {
        {"refused twice, then free", 2, WSAEADDRINUSE, 3, true},
        {"refused with access denied, then free", 4, WSAEACCES, 5, true},
        {"refused at every attempt", 100, WSAEADDRINUSE, 5, false},
        {"an error no wait mends", 100, WSAEADDRNOTAVAIL, 1, false},
    };
    for (const auto& c : cases) {
        int calls = 0;
        server->SetBindProc([&](SOCKET socket, const sockaddr* address, int length) {
            if (++calls <= c.refusals) {
                ::WSASetLastError(c.error);
                return SOCKET_ERROR;
            }
            return ::bind(socket, address, length);
        });
        const ULONGLONG start = ::GetTickCount64();
        if (c.starts) {
            EXPECT_NO_THROW(server->Start(port)) << c.what;
            EXPECT_EQ("01", HexOf(Exchange(port, EncodeCheckRequest()).bytes)) << c.what;
        } else {
            EXPECT_THROW(server->Start(port), AppError) << c.what;
        }
        EXPECT_EQ(c.starts, server->Active()) << c.what;
        EXPECT_EQ(c.calls, calls) << c.what;
        EXPECT_LT(Since(start), 2000u) << c.what;
        server->Stop();
    }
}

TEST_F(SharedDirectoryServerTest, StopClosesLiveConnectionsPromptlyAndLetsARunningSaveAnswer) {
    TSharedDirectoryServerLimits patient;
    patient.StopWaitMs = 1000;
    StartServer(patient);
    std::vector<std::unique_ptr<RawConnection>> silent;
    for (int i = 0; i < 20; ++i) silent.push_back(std::make_unique<RawConnection>(port));
    silent.front()->Send(HexBytes("02 00 00 00 16 00"));

    hooked.CloseGate();
    TSharedDirectoryClient client;
    client.SetServer(L"127.0.0.1", port);
    auto save = std::async(std::launch::async, [&] {
        try {
            client.AddEditRowRemote(L"74950000004", L"В полёте", L"");
            return std::wstring();
        } catch (const AppError& error) {
            return error.message();
        }
    });
    ASSERT_TRUE(hooked.WaitForCalls(1));
    const ULONGLONG start = ::GetTickCount64();
    auto stopped = std::async(std::launch::async, [&] { server->Stop(); });
    ::Sleep(300);
    hooked.OpenGate();
    stopped.get();
    EXPECT_LT(Since(start), 2000u) << "stop waits for the running save, not for the silent clients";
    for (auto& connection : silent) EXPECT_TRUE(connection->ReadUntilClosed(1000).closed);
    EXPECT_EQ(L"", save.get()) << "the save that ran is stored and confirmed";
    EXPECT_EQ(L"В полёте", directories.Stored(L"74950000004"));

    // A restart on the same port serves again at once.
    server->Start(port);
    EXPECT_EQ("01", HexOf(Exchange(port, EncodeCheckRequest()).bytes));
}

TEST_F(SharedDirectoryServerTest, StopWithNothingRunningReturnsAtOnceAndNobodyIsAnsweredAfterIt) {
    StartServer();
    std::vector<std::unique_ptr<RawConnection>> silent;
    for (int i = 0; i < 50; ++i) silent.push_back(std::make_unique<RawConnection>(port));
    ::Sleep(100);
    const ULONGLONG start = ::GetTickCount64();
    server->Stop();
    EXPECT_LT(Since(start), 1000u);
    EXPECT_FALSE(server->Active());
    EXPECT_FALSE(RawConnection(port).connected()) << "nothing listens after a stop";
}

TEST_F(SharedDirectoryServerTest, PortsOutsideTheRangeOrInUseDoNotStartTheServer) {
    StartServer();
    TSharedDirectoryServer second(hooked);
    for (int bad : {0, -1, 65536, 100000}) {
        EXPECT_THROW(second.Start(bad), AppError) << bad;
        EXPECT_FALSE(second.Active());
    }
    EXPECT_THROW(second.Start(port), AppError) << "the port is taken by the first server";
    EXPECT_FALSE(second.Active());
    EXPECT_EQ("01", HexOf(Exchange(port, EncodeCheckRequest()).bytes)) << "the first server goes on";
}

TEST_F(SharedDirectoryServerTest, TheAllowListClosesOtherClientsBeforeReadingAByte) {
    StartServer({}, TAllowedClients::Parse(L"10.0.0.7, 192.168.1.0/24"));
    const auto refused = Exchange(port, EncodeCheckRequest());
    EXPECT_TRUE(refused.closed);
    EXPECT_EQ("", refused.bytes);
    EXPECT_FALSE(hooked.WaitForCalls(1, 0));
    EXPECT_GE(server->Stats().RefusedByList, 1u);

    server->StartOnAnyPort(TAllowedClients::Parse(L"10.0.0.7,127.0.0.0/8"));
    EXPECT_EQ("01", HexOf(Exchange(server->Port(), EncodeCheckRequest()).bytes));
}

TEST_F(SharedDirectoryServerTest, SeveralClientsLookingUpAtOnceAreAllAnswered) {
    StartServer();
    constexpr int kClients = 8, kLookups = 40;
    std::vector<std::future<int>> clients;
    for (int c = 0; c < kClients; ++c)
        clients.push_back(std::async(std::launch::async, [&] {
            TSharedDirectoryClient client;
            client.SetServer(L"127.0.0.1", port);
            int right = 0;
            for (int i = 0; i < kLookups; ++i) {
                std::wstring name, region, comment;
                right += client.GetNameRegionCommentByPhoneRemote(L"74951234567", name, region, comment) &&
                         name == L"Иван Петров" && region == L"Москва" && comment == L"Поставщик бумаги";
            }
            return right;
        }));
    for (auto& client : clients) EXPECT_EQ(kLookups, client.get());
}

}  // namespace
