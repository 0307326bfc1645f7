#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <utility>

// A window's check (a read of a server, a test of a connection) run on a worker
// thread so that the window never waits for the network.
//
// - Start runs job(stop) on a new thread. When the job returns, its result is
//   kept and `message` (wParam and lParam 0) is posted to `owner`; the window
//   then takes the result on its own thread with Take.
// - Cancel asks the job to stop and forgets the owner at once, never waiting:
//   nothing is posted after it. A window calls it when it closes (WM_DESTROY);
//   the destructor calls it too. A job looks at `stop.stop_requested()` where
//   it may wait (no stop callbacks: poll); one that cannot be cut short ends
//   whenever it ends, alone, with nobody to tell. So a job owns everything it
//   uses: capture by value, never the window or its members.
// - An exception from the job stops at the thread's edge: `whenThrown` is the
//   result then.
// - One check at a time per object; a new Start after Cancel runs at once, and
//   the abandoned job can never deliver into it.
// All calls come from the owner's thread.
class TBackgroundWork {
public:
    // Shared by the owner and its worker; Lock guards Owner, Message and Running.
    struct TShared {
        std::mutex Lock;
        HWND Owner = nullptr;
        UINT Message = 0;
        bool Running = false;
        std::stop_source Stop;
    };

protected:
    // Runs body on a detached thread; false when no thread could start. The
    // body must catch everything itself.
    static bool StartWorker(std::function<void()> body) noexcept;
    // Under the shared lock, from the worker: the job has ended; tells the owner if it is still there.
    static void Finished(TShared& shared) noexcept;
};

template <typename TResult>
class TBackgroundCheck : private TBackgroundWork {
public:
    using TJob = std::function<TResult(std::stop_token stop)>;

    TBackgroundCheck() = default;
    ~TBackgroundCheck() { Cancel(); }
    TBackgroundCheck(const TBackgroundCheck&) = delete;
    TBackgroundCheck& operator=(const TBackgroundCheck&) = delete;

    // False, and nothing starts, while a check is running or no thread can start.
    bool Start(TJob job, HWND owner, UINT message, TResult whenThrown = {}) {
        if (Running()) return false;
        std::shared_ptr<TState> state;
        try {
            state = std::make_shared<TState>();
        } catch (...) {
            return false;
        }
        state->Owner = owner;
        state->Message = message;
        state->Running = true;
        const bool started = StartWorker([state, job = std::move(job), whenThrown = std::move(whenThrown)]() mutable {
            std::optional<TResult> result;
            try {
                result = job(state->Stop.get_token());
            } catch (...) {
                result = std::move(whenThrown);
            }
            const std::lock_guard lock(state->Lock);
            state->Result = std::move(result);
            Finished(*state);
        });
        if (!started) return false;
        FState = std::move(state);
        return true;
    }

    bool Running() const {
        if (!FState) return false;
        const std::lock_guard lock(FState->Lock);
        return FState->Running;
    }

    // The finished check's result, once; nothing while it runs or after Cancel.
    std::optional<TResult> Take() {
        if (!FState) return std::nullopt;
        const std::lock_guard lock(FState->Lock);
        if (FState->Running) return std::nullopt;
        std::optional<TResult> result = std::move(FState->Result);
        FState->Result.reset();
        return result;
    }

    void Cancel() noexcept {
        if (!FState) return;
        {
            const std::lock_guard lock(FState->Lock);
            FState->Owner = nullptr;
        }
        FState->Stop.request_stop();
        FState.reset();
    }

private:
    struct TState : TShared {
        std::optional<TResult> Result;
    };
    std::shared_ptr<TState> FState;
};
