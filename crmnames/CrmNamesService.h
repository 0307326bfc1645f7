#pragma once
#include "CrmNamesSettings.h"
#include "CrmNamesResult.h"
#include "UniqueHandle.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

// Asks a CRM for callers' names without ever holding up the caller: Request
// returns at once, worker threads make the requests, and the answers wait in
// the service until the owner's thread takes them.
//
// The contract with the owner (the user-interface thread):
// - wake is called on a worker thread, never under the service's lock, each
//   time answers are ready. It must not touch a window: it posts a message
//   (PostMessageW to a message-only window), and the owner's handler of that
//   message calls TakeAnswers. A cached answer is announced the same way, on
//   the thread that called Request.
// - Every answer names the call it was asked for; a call whose popup is gone
//   by then still gets its answer (for the journal).
// - One request per call key however often Request is called for it, until
//   ForgetCall; a request that is on its way already serves the new call too;
//   found and not-found answers are kept for a while per request, so a caller
//   who rings back costs no request. Failures are never kept. A request is the
//   URL as sent: with {channel} in the template, one number on two channels is
//   two requests with answers of their own.

struct TCrmNamesAnswer {
    std::wstring CallKey;
    std::wstring Number;
    TCrmNamesResult Result;
    bool FromCache = false;
};

enum class TNameRequestStart : uint8_t {
    Started,        // a request is on its way; its answer follows
    Joined,         // the same request is on its way already; the answer follows for this call too
    FromCache,      // a recent answer follows at once
    AlreadyAsked,   // this call has had its request; nothing more follows
    NotConfigured,  // no usable settings; nothing follows
    NoNumber,       // a withheld or empty number; nothing follows
    QueueFull,      // too many requests waiting; nothing follows, a later Request may try again
    Stopped,        // after Shutdown
};

struct TCrmNamesOptions {
    unsigned Workers = 2;
    size_t MaxWaiting = 16;
    std::chrono::milliseconds CacheTime = std::chrono::minutes(5);
    size_t MaxCachedRequests = 1000;
    size_t MaxRememberedCalls = 4096;
    // The clock of the cache; tests move it on.
    std::function<std::chrono::steady_clock::time_point()> Now;
    // Stands in for the request over HTTP (tests); empty: LookUpNameOverHttp.
    std::function<TCrmNamesResult(const TCrmNamesSettings&, const std::wstring& number, const std::wstring& channel,
                                  HANDLE cancel)>
        Lookup;
};

class TCrmNamesService {
public:
    explicit TCrmNamesService(std::function<void()> wake, TCrmNamesOptions options = {});
    ~TCrmNamesService();
    TCrmNamesService(const TCrmNamesService&) = delete;
    TCrmNamesService& operator=(const TCrmNamesService&) = delete;

    // New settings apply to requests made from now on and empty the cache.
    void SetSettings(const TCrmNamesSettings& settings);

    TNameRequestStart Request(const std::wstring& callKey, const std::wstring& number, const std::wstring& channel);
    // The call has ended: its key may be asked for again.
    void ForgetCall(const std::wstring& callKey);
    // The answers ready since the last call, oldest first.
    std::vector<TCrmNamesAnswer> TakeAnswers();

    // Drops the waiting requests and cancels the running ones; no answer and
    // no wake follow once it returns. Waits for the workers at most
    // kShutdownWaitMs (a running request ends within moments of the cancel);
    // never for a network peer. Also done by the destructor.
    void Shutdown();

    // How long Shutdown waits for running requests to see their cancel; one
    // that has not ended by then ends by itself, holding what it uses.
    static constexpr unsigned kShutdownWaitMs = 100;

private:
    // Everything the workers touch: shared with them, so that one still in a
    // request after Shutdown never outlives what it uses.
    struct TState;
    std::shared_ptr<TState> FState;
};
