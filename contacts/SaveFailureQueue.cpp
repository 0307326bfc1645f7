#include "SaveFailureQueue.h"

void TSaveFailureQueue::Put(TSaveFailure failure) {
    std::lock_guard lock(FLock);
    FFailures.push_back(std::move(failure));
    // Posted under the lock, so that none is posted once Detach has returned.
    if (FWindow) ::PostMessageW(FWindow, FMessage, 0, 0);
}

std::optional<TSaveFailure> TSaveFailureQueue::Take() {
    std::lock_guard lock(FLock);
    if (FFailures.empty()) return std::nullopt;
    TSaveFailure failure = std::move(FFailures.front());
    FFailures.pop_front();
    return failure;
}

void TSaveFailureQueue::Detach() {
    std::lock_guard lock(FLock);
    FWindow = nullptr;
}

TSaveFailedProc TSaveFailureQueue::Receiver(const std::shared_ptr<TSaveFailureQueue>& queue) {
    return [queue](TSaveFailure failure) { queue->Put(std::move(failure)); };
}
