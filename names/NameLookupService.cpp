#include "NameLookupService.h"

#include "CrmLink.h"
#include "ExceptionText.h"
#include "HttpNameLookup.h"

#include <algorithm>
#include <system_error>

TNameLookupService::TNameLookupService(std::function<void()> wake, TNameLookupOptions options)
    : FWake(std::move(wake)), FOptions(std::move(options)), FStop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TNameLookupService::~TNameLookupService() { Shutdown(); }

std::chrono::steady_clock::time_point TNameLookupService::Now() const {
    return FOptions.Now ? FOptions.Now() : std::chrono::steady_clock::now();
}

void TNameLookupService::SetSettings(const THttpLookupSettings& settings) {
    std::lock_guard<std::mutex> lock(FLock);
    if (settings == FSettings) return;
    FSettings = settings;
    ++FGeneration;
    FCache.clear();
    // Requests already made keep their calls; new ones ask the new address.
    FInFlight.clear();
    // Threads are started here rather than on a call's first event, which
    // should cost its caller nothing.
    if (!FStopping && CheckHttpLookupSettings(FSettings).Check == THttpLookupCheck::Accepted) StartWorkers();
}

void TNameLookupService::StartWorkers() {
    const unsigned count = std::max(1u, FOptions.Workers);
    try {
        while (FWorkers.size() < count) FWorkers.emplace_back([this] { WorkerLoop(); });
    } catch (const std::system_error&) {
        // The system has no thread to spare: the workers there are will do.
    }
}

void TNameLookupService::RememberCall(const std::wstring& callKey) {
    FAskedCalls[callKey] = ++FCallOrder;
    if (FAskedCalls.size() <= FOptions.MaxRememberedCalls) return;
    // The oldest half goes: a call that long ago has long had its answer.
    const uint64_t keepFrom = FCallOrder - FOptions.MaxRememberedCalls / 2;
    std::erase_if(FAskedCalls, [&](const auto& entry) { return entry.second <= keepFrom; });
}

void TNameLookupService::StoreInCache(const std::wstring& url, const THttpNameResult& result) {
    const auto now = Now();
    FCache[url] = {result, now};
    if (FCache.size() <= FOptions.MaxCachedRequests) return;
    std::erase_if(FCache, [&](const auto& entry) { return now - entry.second.Stored >= FOptions.CacheTime; });
    while (FCache.size() > FOptions.MaxCachedRequests) {
        const auto oldest = std::min_element(FCache.begin(), FCache.end(), [](const auto& a, const auto& b) {
            return a.second.Stored < b.second.Stored;
        });
        FCache.erase(oldest);
    }
}

TNameRequestStart TNameLookupService::Request(const std::wstring& callKey, const std::wstring& number,
                                              const std::wstring& channel) {
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FStopping) return TNameRequestStart::Stopped;
        if (CheckHttpLookupSettings(FSettings).Check != THttpLookupCheck::Accepted)
            return TNameRequestStart::NotConfigured;
        if (!HasCallNumber(number)) return TNameRequestStart::NoNumber;
        if (FAskedCalls.contains(callKey)) return TNameRequestStart::AlreadyAsked;

        std::wstring url = BuildLookupUrl(FSettings, number, channel);
        const auto cached = FCache.find(url);
        if (cached != FCache.end() && Now() - cached->second.Stored < FOptions.CacheTime) {
            RememberCall(callKey);
            FAnswers.push_back({callKey, number, cached->second.Result, true});
        } else {
            if (cached != FCache.end()) FCache.erase(cached);
            const auto running = FInFlight.find(url);
            if (running != FInFlight.end()) {
                RememberCall(callKey);
                running->second->CallKeys.push_back(callKey);
                return TNameRequestStart::Joined;
            }
            StartWorkers();
            if (FWaiting.size() >= FOptions.MaxWaiting || FWorkers.empty()) return TNameRequestStart::QueueFull;
            auto job = std::make_shared<TJob>();
            job->Url = url;
            job->Number = number;
            job->Channel = channel;
            job->Settings = FSettings;
            job->Generation = FGeneration;
            job->CallKeys.push_back(callKey);
            RememberCall(callKey);
            FInFlight[std::move(url)] = job;
            FWaiting.push_back(std::move(job));
            FWork.notify_one();
            return TNameRequestStart::Started;
        }
    }
    if (FWake) FWake();
    return TNameRequestStart::FromCache;
}

void TNameLookupService::ForgetCall(const std::wstring& callKey) {
    std::lock_guard<std::mutex> lock(FLock);
    FAskedCalls.erase(callKey);
}

std::vector<TNameLookupAnswer> TNameLookupService::TakeAnswers() {
    std::lock_guard<std::mutex> lock(FLock);
    return std::exchange(FAnswers, {});
}

void TNameLookupService::Complete(const std::shared_ptr<TJob>& job, THttpNameResult result) {
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FStopping) return;
        const auto running = FInFlight.find(job->Url);
        if (running != FInFlight.end() && running->second == job) FInFlight.erase(running);
        if (job->Generation == FGeneration && result.Outcome != THttpNameOutcome::Failed)
            StoreInCache(job->Url, result);
        for (const std::wstring& callKey : job->CallKeys) FAnswers.push_back({callKey, job->Number, result, false});
    }
    if (FWake) FWake();
}

void TNameLookupService::WorkerLoop() noexcept {
    for (;;) {
        std::shared_ptr<TJob> job;
        {
            std::unique_lock<std::mutex> lock(FLock);
            FWork.wait(lock, [this] { return FStopping || !FWaiting.empty(); });
            if (FStopping) return;
            job = std::move(FWaiting.front());
            FWaiting.pop_front();
        }
        THttpNameResult result;
        try {
            result = LookUpNameOverHttp(job->Settings, job->Number, job->Channel, FStop.get());
        } catch (...) {
            result = THttpNameResult::Fail(THttpNameError::Internal, GetExceptionText(std::current_exception()));
        }
        try {
            Complete(job, std::move(result));
        } catch (...) {
            // Out of memory while handing the answer on: the call goes without a name.
        }
    }
}

void TNameLookupService::Shutdown() {
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStopping = true;
        FWaiting.clear();
        FInFlight.clear();
        workers = std::move(FWorkers);
    }
    if (FStop) ::SetEvent(FStop.get());
    FWork.notify_all();
    for (std::thread& worker : workers)
        if (worker.joinable()) worker.join();
}
