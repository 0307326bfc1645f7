#include "CrmNamesService.h"

#include "CrmLink.h"
#include "ExceptionText.h"
#include "CrmNamesLookup.h"

#include <algorithm>
#include <system_error>

struct TCrmNamesService::TState {
    struct TJob {
        std::wstring Url;  // the key of the request: in flight and in the cache
        std::wstring Number;
        std::wstring Channel;
        TCrmNamesSettings Settings;
        uint64_t Generation = 0;
        std::vector<std::wstring> CallKeys;  // guarded by Lock
    };
    struct TCached {
        TCrmNamesResult Result;
        std::chrono::steady_clock::time_point Stored;
    };

    TState(std::function<void()> wake, TCrmNamesOptions options)
        : Options(std::move(options)), Stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), Wake(std::move(wake)) {}

    const TCrmNamesOptions Options;
    // Set once by Shutdown: every running request's cancel.
    UniqueKernelHandle Stop;

    // WakeLock guards Wake, which Shutdown clears: no wake runs after it returns.
    std::mutex WakeLock;
    std::function<void()> Wake;

    std::mutex Lock;  // guards every field below
    std::condition_variable Work;
    std::condition_variable WorkerEnded;
    bool Stopping = false;
    TCrmNamesSettings Settings;
    uint64_t Generation = 0;
    std::deque<std::shared_ptr<TJob>> Waiting;
    std::unordered_map<std::wstring, std::shared_ptr<TJob>> InFlight;  // by the request's URL
    std::unordered_map<std::wstring, TCached> Cache;                   // by the request's URL
    std::unordered_map<std::wstring, uint64_t> AskedCalls;             // key -> order asked
    uint64_t CallOrder = 0;
    std::vector<TCrmNamesAnswer> Answers;
    std::vector<std::thread> Workers;
    size_t RunningWorkers = 0;

    std::chrono::steady_clock::time_point Now() const {
        return Options.Now ? Options.Now() : std::chrono::steady_clock::now();
    }

    void WakeOwner() {
        std::lock_guard<std::mutex> lock(WakeLock);
        if (Wake) Wake();
    }

    // Under Lock.
    void StartWorkers(const std::shared_ptr<TState>& self) {
        const unsigned count = std::max(1u, Options.Workers);
        try {
            while (Workers.size() < count) {
                Workers.emplace_back([self] { self->WorkerLoop(); });
                ++RunningWorkers;
            }
        } catch (const std::system_error&) {
            // The system has no thread to spare: the workers there are will do.
        }
    }

    // Under Lock.
    void RememberCall(const std::wstring& callKey) {
        AskedCalls[callKey] = ++CallOrder;
        if (AskedCalls.size() <= Options.MaxRememberedCalls) return;
        // The oldest half goes: a call that long ago has long had its answer.
        const uint64_t keepFrom = CallOrder - Options.MaxRememberedCalls / 2;
        std::erase_if(AskedCalls, [&](const auto& entry) { return entry.second <= keepFrom; });
    }

    // Under Lock.
    void StoreInCache(const std::wstring& url, const TCrmNamesResult& result) {
        const auto now = Now();
        Cache[url] = {result, now};
        if (Cache.size() <= Options.MaxCachedRequests) return;
        std::erase_if(Cache, [&](const auto& entry) { return now - entry.second.Stored >= Options.CacheTime; });
        while (Cache.size() > Options.MaxCachedRequests) {
            const auto oldest = std::min_element(Cache.begin(), Cache.end(), [](const auto& a, const auto& b) {
                return a.second.Stored < b.second.Stored;
            });
            Cache.erase(oldest);
        }
    }

    void Complete(const std::shared_ptr<TJob>& job, TCrmNamesResult result) {
        {
            std::lock_guard<std::mutex> lock(Lock);
            if (Stopping) return;
            const auto running = InFlight.find(job->Url);
            if (running != InFlight.end() && running->second == job) InFlight.erase(running);
            if (job->Generation == Generation && result.Outcome != TCrmNamesOutcome::Failed)
                StoreInCache(job->Url, result);
            for (const std::wstring& callKey : job->CallKeys) Answers.push_back({callKey, job->Number, result, false});
        }
        WakeOwner();
    }

    void WorkerLoop() noexcept {
        for (;;) {
            std::shared_ptr<TJob> job;
            {
                std::unique_lock<std::mutex> lock(Lock);
                Work.wait(lock, [this] { return Stopping || !Waiting.empty(); });
                if (Stopping) break;
                job = std::move(Waiting.front());
                Waiting.pop_front();
            }
            TCrmNamesResult result;
            try {
                result = Options.Lookup ? Options.Lookup(job->Settings, job->Number, job->Channel, Stop.get())
                                        : LookUpNameOverHttp(job->Settings, job->Number, job->Channel, Stop.get());
            } catch (...) {
                result = TCrmNamesResult::Fail(TCrmNamesError::Internal, GetExceptionText(std::current_exception()));
            }
            try {
                Complete(job, std::move(result));
            } catch (...) {
                // Out of memory while handing the answer on: the call goes without a name.
            }
        }
        {
            std::lock_guard<std::mutex> lock(Lock);
            --RunningWorkers;
        }
        WorkerEnded.notify_all();
    }
};

TCrmNamesService::TCrmNamesService(std::function<void()> wake, TCrmNamesOptions options)
    : FState(std::make_shared<TState>(std::move(wake), std::move(options))) {}

TCrmNamesService::~TCrmNamesService() { Shutdown(); }

void TCrmNamesService::SetSettings(const TCrmNamesSettings& settings) {
    TState& state = *FState;
    std::lock_guard<std::mutex> lock(state.Lock);
    if (settings == state.Settings) return;
    state.Settings = settings;
    ++state.Generation;
    state.Cache.clear();
    // Requests already made keep their calls; new ones ask the new address.
    state.InFlight.clear();
    // Threads are started here rather than on a call's first event, which
    // should cost its caller nothing.
    if (!state.Stopping && CheckCrmNamesSettings(state.Settings).Check == TCrmNamesCheck::Accepted)
        state.StartWorkers(FState);
}

TNameRequestStart TCrmNamesService::Request(const std::wstring& callKey, const std::wstring& number,
                                              const std::wstring& channel) {
    TState& state = *FState;
    {
        std::lock_guard<std::mutex> lock(state.Lock);
        if (state.Stopping) return TNameRequestStart::Stopped;
        if (CheckCrmNamesSettings(state.Settings).Check != TCrmNamesCheck::Accepted)
            return TNameRequestStart::NotConfigured;
        if (!HasCallNumber(number)) return TNameRequestStart::NoNumber;
        if (state.AskedCalls.contains(callKey)) return TNameRequestStart::AlreadyAsked;

        std::wstring url = BuildLookupUrl(state.Settings, number, channel);
        const auto cached = state.Cache.find(url);
        if (cached != state.Cache.end() && state.Now() - cached->second.Stored < state.Options.CacheTime) {
            state.RememberCall(callKey);
            state.Answers.push_back({callKey, number, cached->second.Result, true});
        } else {
            if (cached != state.Cache.end()) state.Cache.erase(cached);
            const auto running = state.InFlight.find(url);
            if (running != state.InFlight.end()) {
                state.RememberCall(callKey);
                running->second->CallKeys.push_back(callKey);
                return TNameRequestStart::Joined;
            }
            state.StartWorkers(FState);
            if (state.Waiting.size() >= state.Options.MaxWaiting || state.Workers.empty())
                return TNameRequestStart::QueueFull;
            auto job = std::make_shared<TState::TJob>();
            job->Url = url;
            job->Number = number;
            job->Channel = channel;
            job->Settings = state.Settings;
            job->Generation = state.Generation;
            job->CallKeys.push_back(callKey);
            state.RememberCall(callKey);
            state.InFlight[std::move(url)] = job;
            state.Waiting.push_back(std::move(job));
            state.Work.notify_one();
            return TNameRequestStart::Started;
        }
    }
    state.WakeOwner();
    return TNameRequestStart::FromCache;
}

void TCrmNamesService::ForgetCall(const std::wstring& callKey) {
    std::lock_guard<std::mutex> lock(FState->Lock);
    FState->AskedCalls.erase(callKey);
}

std::vector<TCrmNamesAnswer> TCrmNamesService::TakeAnswers() {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return std::exchange(FState->Answers, {});
}

void TCrmNamesService::Shutdown() {
    TState& state = *FState;
    {
        // A wake in progress ends before this; none starts after it.
        std::lock_guard<std::mutex> lock(state.WakeLock);
        state.Wake = nullptr;
    }
    std::vector<std::thread> workers;
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(state.Lock);
        // Once only: a worker let go the first time is not waited for again.
        if (state.Stopping) return;
        state.Stopping = true;
        state.Waiting.clear();
        state.InFlight.clear();
        if (state.Stop) ::SetEvent(state.Stop.get());
        state.Work.notify_all();
        ended = state.WorkerEnded.wait_for(lock, std::chrono::milliseconds(kShutdownWaitMs),
                                           [&] { return state.RunningWorkers == 0; });
        workers = std::move(state.Workers);
    }
    // Ended workers are joined at once; one still in a request is let go, holding the state.
    for (std::thread& worker : workers) {
        if (!worker.joinable()) continue;
        if (ended) worker.join();
        else worker.detach();
    }
}
