#include "ParallelStops.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

struct TParallelStops::TShared {
    std::mutex Lock;  // guards Results
    std::condition_variable Changed;
    std::vector<std::optional<bool>> Results;
};

namespace {
// Threads of stops abandoned at a deadline: kept, never destroyed, so that
// neither a join nor a joinable thread's destructor can hold the program's end.
std::vector<std::thread>& AbandonedThreads() {
    static auto* threads = new std::vector<std::thread>;
    return *threads;
}
}  // namespace

namespace {

bool RunStop(const std::function<bool()>& stop) noexcept {
    try {
        return stop();
    } catch (...) {
        return false;
    }
}

}  // namespace

TParallelStops::TParallelStops() : FShared(std::make_shared<TShared>()) {}

TParallelStops::~TParallelStops() {
    // Without a WaitUntil every stop is waited for: nothing is abandoned unasked.
    for (std::thread& thread : FThreads)
        if (thread.joinable()) thread.join();
}

void TParallelStops::Start(std::function<bool()> stop) {
    size_t index = 0;
    {
        const std::lock_guard lock(FShared->Lock);
        index = FShared->Results.size();
        FShared->Results.emplace_back();
    }
    try {
        // The shared results outlive this object for a stop that is abandoned.
        FThreads.emplace_back([shared = FShared, index, stop]() noexcept {
            const bool ended = RunStop(stop);
            const std::lock_guard lock(shared->Lock);
            shared->Results[index] = ended;
            shared->Changed.notify_all();
        });
    } catch (const std::system_error&) {
        // An empty thread keeps FThreads in step with the results.
        FThreads.emplace_back();
        const bool ended = RunStop(stop);
        const std::lock_guard lock(FShared->Lock);
        FShared->Results[index] = ended;
    }
}

std::vector<bool> TParallelStops::WaitUntil(ULONGLONG deadline) {
    std::unique_lock lock(FShared->Lock);
    const auto allEnded = [&] {
        for (const std::optional<bool>& result : FShared->Results)
            if (!result) return false;
        return true;
    };
    while (!allEnded()) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) break;
        FShared->Changed.wait_for(lock, std::chrono::milliseconds(deadline - now));
    }
    std::vector<bool> ended;
    for (const std::optional<bool>& result : FShared->Results) ended.push_back(result.has_value());
    lock.unlock();
    for (size_t i = 0; i < FThreads.size(); ++i) {
        if (!FThreads[i].joinable()) continue;
        if (ended[i]) FThreads[i].join();  // at its end already
        else AbandonedThreads().push_back(std::move(FThreads[i]));
    }
    FThreads.clear();
    const std::lock_guard relock(FShared->Lock);
    for (size_t i = 0; i < ended.size(); ++i) ended[i] = ended[i] && *FShared->Results[i];
    return ended;
}
