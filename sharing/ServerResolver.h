#pragma once
#include "SocketHandle.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

struct TServerResolverTimings {
    // A kept address older than this is renewed in the background.
    int RenewAfterMs = 60000;
    // A name that did not resolve is told so at once for this long.
    int RetryFailedAfterMs = 5000;
};

// Directory server names resolved to IPv4 addresses on worker threads and kept.
// The system's resolver has no time limit of its own (an unreachable name server
// takes seconds), and a popup's lookup must not wait for it: a name is resolved
// once when the address is set, its address is renewed in the background while
// the kept one goes on serving, and a name that did not resolve is told at once
// until it is tried again. Dotted IPv4 addresses need no resolving.
class TServerResolver {
public:
    using TTime = std::chrono::steady_clock::time_point;
    // Resolves a host name to an IPv4 address; false when it does not resolve.
    // Runs on a worker thread and may take any time.
    using TResolveFunction = std::function<bool(const std::wstring& host, in_addr& address)>;

    enum class TState { Resolved, NotResolved, Pending };
    struct TResult {
        TState State = TState::NotResolved;
        in_addr Address{};
    };

    // Without a resolve function the system's resolver is used.
    explicit TServerResolver(TResolveFunction resolve = {}, TServerResolverTimings timings = {});
    TServerResolver(const TServerResolver&) = delete;
    TServerResolver& operator=(const TServerResolver&) = delete;

    // Starts resolving host in the background unless its address is known.
    void Prefetch(const std::wstring& host);
    // Resolves host again in the background now, whatever the age of its
    // address (the network changed); the kept address serves meanwhile.
    void Renew(const std::wstring& host);
    // Host's address. A resolution in progress is waited for until the deadline
    // (Pending when it has not ended by then); an empty host does not resolve.
    TResult Resolve(const std::wstring& host, TTime deadline);

    static bool ResolveWithSystem(const std::wstring& host, in_addr& address);

private:
    struct TEntry {
        TState State = TState::Pending;
        in_addr Address{};
        TTime Since{};  // when the last resolution ended
        bool Resolving = false;
    };
    // Shared with the workers, which may outlive the resolver.
    struct TShared {
        std::mutex Lock;  // guards Entries
        std::condition_variable Changed;
        std::map<std::wstring, TEntry> Entries;
    };

    // With FShared->Lock held: starts a worker for host when none runs and the
    // entry is missing, stale or failed long enough ago.
    void StartIfDue(TEntry& entry, const std::wstring& host, TTime now, bool force = false);

    TResolveFunction FResolve;
    TServerResolverTimings FTimings;
    std::shared_ptr<TShared> FShared = std::make_shared<TShared>();
};
