#pragma once
#include "UniqueHandle.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Collects what other processes write with OutputDebugString, the way a debug
// monitor does (the DBWIN buffer). Only one monitor can run at a time on a
// desktop session, so tests that use it share the "dbwin" resource lock.
class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    bool ok() const { return ok_; }
    // The lines written by one process so far.
    std::vector<std::string> Lines(DWORD processId) const;
    // Waits until the process has written at least count lines.
    bool WaitForLines(DWORD processId, size_t count, DWORD timeoutMs) const;

private:
    void Loop();

    struct Line {
        DWORD processId;
        std::string text;
    };
    UniqueKernelHandle mapping_, bufferReady_, dataReady_;
    void* view_ = nullptr;
    bool ok_ = false;
    bool stop_ = false;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Line> lines_;
    std::thread thread_;
};
