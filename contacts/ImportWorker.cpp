#include "ImportWorker.h"

#include <utility>

TImportWorker::~TImportWorker() {
    Cancel();
    if (FThread.joinable()) FThread.join();
}

void TImportWorker::Start(TStep step) {
    FProgress = std::make_unique<ImportProgress>();
    FError = nullptr;
    FThread = std::thread([this, step = std::move(step)] {
        // Nothing leaves the thread: what the step throws waits for Finish.
        try {
            step(*FProgress);
        } catch (...) {
            FError = std::current_exception();
        }
        ::PostMessageW(FWindow, FDoneMessage, 0, 0);
    });
}

std::exception_ptr TImportWorker::Finish() {
    if (FThread.joinable()) FThread.join();
    return std::exchange(FError, nullptr);
}

void TImportWorker::Cancel() noexcept {
    if (FProgress) FProgress->Cancel();
}
