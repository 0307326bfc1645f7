#pragma once
#include "HttpLookupSettings.h"
#include "HttpNameResult.h"
#include "UniqueHandle.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// The settings dialog's "check": one lookup of a typed number, made on a
// thread of its own with the settings as they stand in the dialog, never
// cached. wake is called on that thread when the result is ready; like the
// service's, it only posts a message, and the window then calls Take.
class TNameLookupCheck {
public:
    TNameLookupCheck();
    ~TNameLookupCheck();
    TNameLookupCheck(const TNameLookupCheck&) = delete;
    TNameLookupCheck& operator=(const TNameLookupCheck&) = delete;

    // False, and nothing starts, while a check is running.
    bool Start(const THttpLookupSettings& settings, const std::wstring& number, std::function<void()> wake);
    bool Running() const;
    // The finished check's result, once.
    std::optional<THttpNameResult> Take();
    // Ends a running check at once (its result is dropped) and waits for its thread.
    void Cancel();

private:
    UniqueKernelHandle FCancel;
    std::thread FThread;
    mutable std::mutex FLock;  // guards FRunning and FResult
    bool FRunning = false;
    std::optional<THttpNameResult> FResult;
};
