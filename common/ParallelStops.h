#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

// Stops of parts that may each take long (a silent server, a read in progress),
// started together on threads of their own and waited for until one deadline,
// so that the program's end costs the longest of them, not their sum. A stop
// still running at the deadline is abandoned: its thread ends whenever it ends,
// so everything it uses must be left alive (to the process's end). Main thread;
// WaitUntil once.
class TParallelStops {
public:
    TParallelStops();
    ~TParallelStops();
    TParallelStops(const TParallelStops&) = delete;
    TParallelStops& operator=(const TParallelStops&) = delete;

    // Starts stop at once. It says whether the part ended; an exception reads
    // as false. A stop that gets no thread runs here and now.
    void Start(std::function<bool()> stop);
    // For each stop in Start's order: true when it ended before the deadline
    // (a GetTickCount64 value) and said so.
    std::vector<bool> WaitUntil(ULONGLONG deadline);

private:
    struct TShared;
    std::shared_ptr<TShared> FShared;
    // Joined once ended; a thread still running at the deadline is never
    // joined nor detached (it is kept to the process's end).
    std::vector<std::thread> FThreads;
};
