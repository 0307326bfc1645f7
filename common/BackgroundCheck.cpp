#include "BackgroundCheck.h"

#include <thread>

bool TBackgroundWork::StartWorker(std::function<void()> body) noexcept {
    try {
        // Detached: a job that cannot be cut short must not hold its window, nor
        // the program's exit, waiting for it.
        std::thread([body = std::move(body)]() noexcept {
            try {
                body();
            } catch (...) {
            }
        }).detach();
        return true;
    } catch (...) {
        return false;
    }
}

void TBackgroundWork::Finished(TShared& shared) noexcept {
    shared.Running = false;
    if (shared.Owner) ::PostMessageW(shared.Owner, shared.Message, 0, 0);
}
