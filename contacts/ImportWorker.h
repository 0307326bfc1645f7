#pragma once
#include "ImportProgress.h"

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <thread>

// Runs one long import step at a time on a thread of its own, so that the
// window that started it (and the popups of the same thread) stay live. The
// step never touches a window: when it ends, however it ends, the worker posts
// `doneMessage` to the window, which then calls Finish.
class TImportWorker {
public:
    using TStep = std::function<void(ImportProgress& progress)>;

    TImportWorker(HWND window, UINT doneMessage) : FWindow(window), FDoneMessage(doneMessage) {}
    // Stops a running step and waits for it to end.
    ~TImportWorker();
    TImportWorker(const TImportWorker&) = delete;
    TImportWorker& operator=(const TImportWorker&) = delete;

    // Starts a step; the previous one must have been finished.
    void Start(TStep step);
    // After the done message: waits for the thread (already at its end) and
    // gives what the step threw, or null. What the step wrote is the caller's now.
    std::exception_ptr Finish();
    // Asks the running step to stop; it ends with ImportCancelled.
    void Cancel() noexcept;
    bool Running() const noexcept { return FThread.joinable(); }
    // The running step's progress, 0 to 1000.
    int Permille() const noexcept { return FProgress ? FProgress->Permille() : 0; }

private:
    HWND FWindow;
    UINT FDoneMessage;
    std::unique_ptr<ImportProgress> FProgress;
    // Written by the step's thread only; read after it has been joined.
    std::exception_ptr FError;
    std::thread FThread;
};
