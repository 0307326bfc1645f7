#pragma once
#include "HttpLookupSettings.h"
#include "HttpNameResult.h"
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

struct TNameLookupAnswer {
    std::wstring CallKey;
    std::wstring Number;
    THttpNameResult Result;
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

struct TNameLookupOptions {
    unsigned Workers = 2;
    size_t MaxWaiting = 16;
    std::chrono::milliseconds CacheTime = std::chrono::minutes(5);
    size_t MaxCachedRequests = 1000;
    size_t MaxRememberedCalls = 4096;
    // The clock of the cache; tests move it on.
    std::function<std::chrono::steady_clock::time_point()> Now;
};

class TNameLookupService {
public:
    explicit TNameLookupService(std::function<void()> wake, TNameLookupOptions options = {});
    ~TNameLookupService();
    TNameLookupService(const TNameLookupService&) = delete;
    TNameLookupService& operator=(const TNameLookupService&) = delete;

    // New settings apply to requests made from now on and empty the cache.
    void SetSettings(const THttpLookupSettings& settings);

    TNameRequestStart Request(const std::wstring& callKey, const std::wstring& number, const std::wstring& channel);
    // The call has ended: its key may be asked for again.
    void ForgetCall(const std::wstring& callKey);
    // The answers ready since the last call, oldest first.
    std::vector<TNameLookupAnswer> TakeAnswers();

    // Drops the waiting requests, cancels the running ones and joins the
    // workers; no answer follows. A running request ends within moments of
    // the cancel, the WinHTTP handle's closing included. Also done by the destructor.
    void Shutdown();

private:
    struct TJob {
        std::wstring Url;  // the key of the request: in flight and in the cache
        std::wstring Number;
        std::wstring Channel;
        THttpLookupSettings Settings;
        uint64_t Generation = 0;
        std::vector<std::wstring> CallKeys;  // guarded by FLock
    };
    struct TCached {
        THttpNameResult Result;
        std::chrono::steady_clock::time_point Stored;
    };

    std::chrono::steady_clock::time_point Now() const;
    void WorkerLoop() noexcept;
    void Complete(const std::shared_ptr<TJob>& job, THttpNameResult result);
    void RememberCall(const std::wstring& callKey);
    void StoreInCache(const std::wstring& url, const THttpNameResult& result);
    void StartWorkers();

    const std::function<void()> FWake;
    const TNameLookupOptions FOptions;
    // Set once by Shutdown: every running request's cancel.
    UniqueKernelHandle FStop;

    std::mutex FLock;  // guards every field below
    std::condition_variable FWork;
    bool FStopping = false;
    THttpLookupSettings FSettings;
    uint64_t FGeneration = 0;
    std::deque<std::shared_ptr<TJob>> FWaiting;
    std::unordered_map<std::wstring, std::shared_ptr<TJob>> FInFlight;  // by the request's URL
    std::unordered_map<std::wstring, TCached> FCache;                   // by the request's URL
    std::unordered_map<std::wstring, uint64_t> FAskedCalls;             // key -> order asked
    uint64_t FCallOrder = 0;
    std::vector<TNameLookupAnswer> FAnswers;
    std::vector<std::thread> FWorkers;
};
