// Server names resolved on worker threads and kept: a kept address serves at
// once while it is renewed, a failed renewal keeps it, and a name that did not
// resolve is told at once until it is tried again.
#include <gtest/gtest.h>

#include "ServerResolver.h"

#include <atomic>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
using State = TServerResolver::TState;

// What the name server answers next, shared with workers that may outlive the test's scope.
struct NameServer {
    std::atomic<int> calls{0};
    std::atomic<uint32_t> answer{0};  // 0: the name does not resolve
    std::atomic<DWORD> delayMs{50};
};

TServerResolver::TResolveFunction Using(const std::shared_ptr<NameServer>& server) {
    return [server](const std::wstring&, in_addr& address) {
        ++server->calls;
        ::Sleep(server->delayMs);
        address.s_addr = ::htonl(server->answer);
        return server->answer != 0;
    };
}

constexpr uint32_t kFirst = 0x0A000001, kSecond = 0x0A000002;  // 10.0.0.1, 10.0.0.2

uint32_t AddressOf(const TServerResolver::TResult& result) { return ::ntohl(result.Address.s_addr); }

TServerResolver::TResult ResolveNow(TServerResolver& resolver, const wchar_t* host) {
    return resolver.Resolve(host, Clock::now());
}

TServerResolver::TResult ResolveWaiting(TServerResolver& resolver, const wchar_t* host) {
    return resolver.Resolve(host, Clock::now() + std::chrono::seconds(5));
}

}  // namespace

TEST(ServerResolver, AKeptAddressServesAtOnceWhileItIsRenewedAndAFailedRenewalKeepsIt) {
    auto server = std::make_shared<NameServer>();
    server->answer = kFirst;
    TServerResolver resolver(Using(server), {300, 300});
    resolver.Prefetch(L"directory-server");
    TServerResolver::TResult result = ResolveWaiting(resolver, L"directory-server");
    EXPECT_EQ(State::Resolved, result.State);
    EXPECT_EQ(kFirst, AddressOf(result));
    EXPECT_EQ(State::Resolved, ResolveNow(resolver, L"directory-server").State);
    EXPECT_EQ(1, server->calls.load()) << "resolved once";

    // Stale: the old address answers at once, the new one comes in the background.
    server->answer = kSecond;
    ::Sleep(400);
    result = ResolveNow(resolver, L"directory-server");
    EXPECT_EQ(State::Resolved, result.State);
    EXPECT_EQ(kFirst, AddressOf(result));
    ::Sleep(300);
    EXPECT_EQ(kSecond, AddressOf(ResolveNow(resolver, L"directory-server")));
    EXPECT_EQ(2, server->calls.load());

    // A renewal that fails keeps the address that served.
    server->answer = 0;
    ::Sleep(400);
    EXPECT_EQ(kSecond, AddressOf(ResolveNow(resolver, L"directory-server")));
    ::Sleep(300);
    result = ResolveNow(resolver, L"directory-server");
    EXPECT_EQ(State::Resolved, result.State);
    EXPECT_EQ(kSecond, AddressOf(result));
    EXPECT_EQ(3, server->calls.load());
}

TEST(ServerResolver, ANameThatDidNotResolveIsToldAtOnceUntilItIsTriedAgain) {
    auto server = std::make_shared<NameServer>();
    TServerResolver resolver(Using(server), {60000, 300});
    EXPECT_EQ(State::Pending, ResolveNow(resolver, L"typo-server").State) << "a first lookup does not wait";
    EXPECT_EQ(State::NotResolved, ResolveWaiting(resolver, L"typo-server").State);
    EXPECT_EQ(State::NotResolved, ResolveNow(resolver, L"typo-server").State);
    EXPECT_EQ(1, server->calls.load());

    // Tried again once due: this time the name server knows it.
    server->answer = kFirst;
    ::Sleep(400);
    const TServerResolver::TResult result = ResolveWaiting(resolver, L"typo-server");
    EXPECT_EQ(State::Resolved, result.State);
    EXPECT_EQ(kFirst, AddressOf(result));
    EXPECT_EQ(2, server->calls.load());
}

TEST(ServerResolver, DottedAddressesAndAnEmptyNameNeedNoNameServer) {
    auto server = std::make_shared<NameServer>();
    TServerResolver resolver(Using(server));
    resolver.Prefetch(L"192.168.10.5");
    const TServerResolver::TResult result = ResolveNow(resolver, L"192.168.10.5");
    EXPECT_EQ(State::Resolved, result.State);
    EXPECT_EQ(0xC0A80A05u, AddressOf(result));
    EXPECT_EQ(State::NotResolved, ResolveNow(resolver, L"").State);
    EXPECT_EQ(0, server->calls.load());
}

TEST(ServerResolver, ARenewalAfterANetworkChangeAsksAtOnceAndTheKeptAddressServesMeanwhile) {
    auto server = std::make_shared<NameServer>();
    server->answer = kFirst;
    TServerResolver resolver(Using(server), {60000, 60000});
    EXPECT_EQ(kFirst, AddressOf(ResolveWaiting(resolver, L"directory-server")));
    resolver.Prefetch(L"directory-server");
    EXPECT_EQ(1, server->calls.load()) << "fresh: a prefetch asks nobody";

    server->answer = kSecond;
    server->delayMs = 300;
    resolver.Renew(L"directory-server");
    resolver.Renew(L"directory-server");
    const TServerResolver::TResult meanwhile = ResolveNow(resolver, L"directory-server");
    EXPECT_EQ(State::Resolved, meanwhile.State);
    EXPECT_EQ(kFirst, AddressOf(meanwhile));
    ::Sleep(600);
    EXPECT_EQ(kSecond, AddressOf(ResolveNow(resolver, L"directory-server")));
    EXPECT_EQ(2, server->calls.load()) << "one renewal at a time";

    resolver.Renew(L"10.0.0.9");
    resolver.Renew(L"");
    EXPECT_EQ(2, server->calls.load()) << "addresses and an empty name need no name server";
}
