#include "ServerResolver.h"

#include <thread>

namespace {

bool ParseDottedIpv4(const std::wstring& host, in_addr& address) {
    return ::InetPtonW(AF_INET, host.c_str(), &address) == 1;
}

}  // namespace

TServerResolver::TServerResolver(TResolveFunction resolve, TServerResolverTimings timings)
    : FResolve(resolve ? std::move(resolve) : TResolveFunction(&TServerResolver::ResolveWithSystem)),
      FTimings(timings) {}

bool TServerResolver::ResolveWithSystem(const std::wstring& host, in_addr& address) {
    WinsockSession winsock;
    if (!winsock.ok()) return false;
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* found = nullptr;
    if (::GetAddrInfoW(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::FreeAddrInfoW(found);
    return true;
}

void TServerResolver::StartIfDue(TEntry& entry, const std::wstring& host, TTime now, bool force) {
    if (entry.Resolving) return;
    using std::chrono::milliseconds;
    const bool due = force || entry.State == TState::Pending ||
                     (entry.State == TState::Resolved && now - entry.Since >= milliseconds(FTimings.RenewAfterMs)) ||
                     (entry.State == TState::NotResolved &&
                      now - entry.Since >= milliseconds(FTimings.RetryFailedAfterMs));
    if (!due) return;
    // A failed name is being tried again: callers wait for this attempt.
    if (entry.State == TState::NotResolved) entry.State = TState::Pending;
    entry.Resolving = true;
    try {
        // Detached: a name server that never answers must not hold the program's
        // end; the worker keeps only the shared entries alive.
        std::thread([shared = FShared, resolve = FResolve, host] {
            in_addr address{};
            bool resolved = false;
            try {
                resolved = resolve(host, address);
            } catch (...) {
            }
            std::lock_guard guard(shared->Lock);
            TEntry& done = shared->Entries[host];
            done.Resolving = false;
            done.Since = std::chrono::steady_clock::now();
            if (resolved) {
                done.State = TState::Resolved;
                done.Address = address;
            } else if (done.State != TState::Resolved) {
                done.State = TState::NotResolved;
            }
            // A renewal that failed keeps the address that served so far.
            shared->Changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread now: the next call tries again.
        entry.Resolving = false;
    }
}

void TServerResolver::Prefetch(const std::wstring& host) {
    in_addr address{};
    if (host.empty() || ParseDottedIpv4(host, address)) return;
    std::lock_guard guard(FShared->Lock);
    StartIfDue(FShared->Entries[host], host, std::chrono::steady_clock::now());
}

void TServerResolver::Renew(const std::wstring& host) {
    in_addr address{};
    if (host.empty() || ParseDottedIpv4(host, address)) return;
    std::lock_guard guard(FShared->Lock);
    StartIfDue(FShared->Entries[host], host, std::chrono::steady_clock::now(), true);
}

TServerResolver::TResult TServerResolver::Resolve(const std::wstring& host, TTime deadline) {
    TResult result;
    if (host.empty()) return result;
    if (ParseDottedIpv4(host, result.Address)) {
        result.State = TState::Resolved;
        return result;
    }
    std::unique_lock guard(FShared->Lock);
    TEntry& entry = FShared->Entries[host];
    StartIfDue(entry, host, std::chrono::steady_clock::now());
    FShared->Changed.wait_until(guard, deadline, [&] { return entry.State != TState::Pending; });
    result.State = entry.State;
    result.Address = entry.Address;
    return result;
}
