// The directory client's time limits: a popup's lookup never waits for the
// network, the client lock or a server name longer than its deadline, and the
// other exchanges end within their own, however slowly a server trickles.
#include <gtest/gtest.h>

#include "SharedDirectoryClient.h"
#include "SharedDirectoryProtocol.h"
#include "SharingTestSupport.h"

#include <atomic>
#include <future>

using namespace SharedDirectoryProtocol;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPopupWait = std::chrono::milliseconds(TCallerLookup::kPopupLookupMaxWaitMs);

ULONGLONG MillisecondsOf(auto&& f) {
    const ULONGLONG start = ::GetTickCount64();
    f();
    return ::GetTickCount64() - start;
}

// Reads the request, then sends reply one byte every stepMs until done or the client is gone.
std::function<void(SOCKET)> Trickle(std::string reply, DWORD stepMs) {
    return [reply, stepMs](SOCKET s) {
        char buffer[256];
        ::recv(s, buffer, sizeof(buffer), 0);
        for (char byte : reply) {
            ::Sleep(stepMs);
            if (::send(s, &byte, 1, 0) != 1) return;
        }
    };
}

struct Lookup {
    bool found = false;
    TLookupFailure failure;
    ULONGLONG ms = 0;
};

Lookup PopupLookup(TSharedDirectoryClient& client) {
    Lookup result;
    std::wstring name, region, comment;
    result.ms = MillisecondsOf([&] {
        result.found =
            client.LookupRemoteWithReason(L"74951234567", name, region, comment, result.failure, Clock::now() + kPopupWait);
    });
    return result;
}

const std::string kFullReply = EncodeLookupReply(kLookupDone, L"Иван Петров", L"Москва", L"Поставщик бумаги");

}  // namespace

// Before, each byte restarted a 10 s receive limit: the popup waited for the
// whole reply, seconds on the main thread.
TEST(SharedDirectoryClientDeadline, ATricklingServerCostsAPopupLookupNoMoreThanItsBound) {
    ScriptedServer trickling(Trickle(kFullReply, 300));
    TSharedDirectoryClient client;
    client.SetServer(L"127.0.0.1", trickling.port());
    const Lookup lookup = PopupLookup(client);
    EXPECT_FALSE(lookup.found);
    EXPECT_EQ(TLookupFailureKind::ServerTimedOut, lookup.failure.Kind);
    EXPECT_EQ(L"127.0.0.1:" + std::to_wstring(trickling.port()), lookup.failure.Detail);
    EXPECT_TRUE(lookup.failure.Remote());
    EXPECT_GE(lookup.ms, 200u);
    EXPECT_LT(lookup.ms, 1000u);  // the bound is 250 ms; the margin is for a busy machine
}

TEST(SharedDirectoryClientDeadline, ThePopupsOfOneBurstShareTheirWaitForASlowServer) {
    ScriptedServer trickling(Trickle(kFullReply, 300));
    TSharedDirectoryClient client;
    client.SetServer(L"127.0.0.1", trickling.port());
    TestDirectories directories;
    TCallerLookup lookup(directories.areas(), directories.subscribers());
    lookup.SetRemote(&client);
    lookup.SetUseRemoteDB(true);
    lookup.SetDBAsClient(true);
    const ULONGLONG ms = MillisecondsOf([&] {
        for (int i = 0; i < 4; ++i) {
            std::wstring name, region, comment;
            TLookupFailure failure;
            EXPECT_FALSE(lookup.GetNameRegionCommentByPhone(L"74951234567", name, region, comment, failure));
            EXPECT_EQ(TLookupFailureKind::ServerTimedOut, failure.Kind) << i;
        }
    });
    EXPECT_LT(ms, 750u) << "four lookups in a row waited once between them, not four times";
}

TEST(SharedDirectoryClientDeadline, SavesAndTheConnectionTestEndWithinTheirExchangeTime) {
    TSharedDirectoryClientTimings timings;
    timings.ExchangeTimeoutMs = 1000;
    {
        // Every byte of the save's confirmation comes well within the receive limit, all of them too late.
        ScriptedServer trickling(Trickle(EncodeSaveReply(), 600));
        TSharedDirectoryClient client(timings);
        client.SetServer(L"127.0.0.1", trickling.port());
        TLookupFailureKind kind = TLookupFailureKind::None;
        const ULONGLONG ms = MillisecondsOf([&] {
            try {
                client.AddEditRowRemote(L"74957654321", L"Ольга Смирнова", L"");
            } catch (const TRemoteSaveFailure& failure) {
                kind = failure.reason().Kind;
            }
        });
        EXPECT_EQ(TLookupFailureKind::ServerTimedOut, kind);
        EXPECT_GE(ms, 900u);
        EXPECT_LT(ms, 2200u);
    }
    {
        ScriptedServer silent([](SOCKET) { ::Sleep(3000); });
        TSharedDirectoryClient client(timings);
        TDBTestOutcome outcome = TDBTestOutcome::Success;
        const ULONGLONG ms = MillisecondsOf([&] { outcome = client.TestConnection(L"127.0.0.1", silent.port()); });
        EXPECT_EQ(TDBTestOutcome::TimedOut, outcome);
        EXPECT_GE(ms, 900u);
        EXPECT_LT(ms, 2500u);
    }
}

// Before, a popup waited for the client lock 10 times 200 ms.
TEST(SharedDirectoryClientDeadline, APopupLookupWaitsForTheClientLockNoLongerThanItsBound) {
    TSharedDirectoryClient client;  // the real lock timings
    client.SetServer(L"127.0.0.1", FreePort());
    std::promise<void> held, release;
    auto holder = std::async(std::launch::async, [&] {
        std::lock_guard<std::recursive_mutex> guard(client.FCS());
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    const Lookup lookup = PopupLookup(client);
    release.set_value();
    holder.get();
    EXPECT_EQ(TLookupFailureKind::ClientLockBusy, lookup.failure.Kind);
    EXPECT_GE(lookup.ms, 200u);
    EXPECT_LT(lookup.ms, 1000u);
}

// The name is resolved on a worker thread once per address: a popup waits for a
// slow name server no longer than its bound, and a name that did not resolve
// is told at once afterwards.
TEST(SharedDirectoryClientDeadline, ASlowOrUnresolvableNameCostsAPopupNoMoreThanItsBound) {
    TestDirectories directories;
    TCallerLookupBackend backend(directories.lookup(), directories.subscribers());
    TSharedDirectoryServer server(backend);
    server.StartOnAnyPort();
    std::atomic<int> resolutions{0};
    TSharedDirectoryClient client({}, [&resolutions](const std::wstring& host, in_addr& address) {
        ++resolutions;
        ::Sleep(1500);
        if (host != L"directory-server") return false;
        address.s_addr = ::htonl(INADDR_LOOPBACK);
        return true;
    });

    client.SetServer(L"no-such-server", server.Port());
    Lookup lookup = PopupLookup(client);
    EXPECT_FALSE(lookup.found);
    EXPECT_EQ(TLookupFailureKind::ServerTimedOut, lookup.failure.Kind) << "still resolving";
    EXPECT_LT(lookup.ms, 1000u);
    ::Sleep(2000);
    lookup = PopupLookup(client);
    EXPECT_EQ(TLookupFailureKind::ServerNameNotResolved, lookup.failure.Kind);
    EXPECT_EQ(L"no-such-server:" + std::to_wstring(server.Port()), lookup.failure.Detail);
    EXPECT_LT(lookup.ms, 150u) << "a name known not to resolve is told at once";
    EXPECT_EQ(1, resolutions.load());

    // A name that resolves is resolved when it is applied, not at the lookup.
    client.SetServer(L"directory-server", server.Port());
    ::Sleep(2000);
    for (int i = 0; i < 3; ++i) {
        lookup = PopupLookup(client);
        EXPECT_TRUE(lookup.found) << i;
        EXPECT_LT(lookup.ms, 1000u) << i;
    }
    EXPECT_EQ(2, resolutions.load()) << "resolved once for all the lookups";
}

TEST(SharedDirectoryClientDeadline, AnUnresolvableNameOfTheSystemsResolverFailsWithinTheBound) {
    TSharedDirectoryClient client;
    client.SetServer(L"no-such-host.invalid", 32456);
    for (int i = 0; i < 2; ++i) {
        const Lookup lookup = PopupLookup(client);
        EXPECT_FALSE(lookup.found);
        EXPECT_TRUE(lookup.failure.Kind == TLookupFailureKind::ServerNameNotResolved ||
                    lookup.failure.Kind == TLookupFailureKind::ServerTimedOut)
            << static_cast<int>(lookup.failure.Kind);
        EXPECT_LT(lookup.ms, 1000u);
    }
}
