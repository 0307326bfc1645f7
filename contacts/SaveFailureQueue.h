#pragma once
#include "SaveDataThreadUnit.h"

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <optional>

// Failed saves on their way from save threads to the window that shows them.
// A save thread puts a failure in and the window is told by a posted message
// that carries nothing: the failure stays here until the window's thread takes
// it, so a message that arrives late touches no freed object.
class TSaveFailureQueue {
public:
    TSaveFailureQueue(HWND window, UINT message) : FWindow(window), FMessage(message) {}
    TSaveFailureQueue(const TSaveFailureQueue&) = delete;
    TSaveFailureQueue& operator=(const TSaveFailureQueue&) = delete;

    // Any thread.
    void Put(TSaveFailure failure);
    // The oldest failure not taken yet.
    std::optional<TSaveFailure> Take();
    // Nobody is told any more (the window is going); failures are still kept for Take.
    void Detach();

    // What a save thread calls: puts the failure into the queue, which it keeps alive.
    static TSaveFailedProc Receiver(const std::shared_ptr<TSaveFailureQueue>& queue);

private:
    std::mutex FLock;  // guards every field below
    HWND FWindow;
    UINT FMessage;
    std::deque<TSaveFailure> FFailures;
};
