#pragma once
#include "OrgDirectorySync.h"

#include <windows.h>

#include <memory>
#include <optional>

// The settings dialog's "check": one whole read of the directory with the
// settings as they stand in the dialog, on a thread of its own. When it ends
// the thread posts `message` to the window, which then calls Take. A read
// cannot be cut short, so a window that goes first calls Forget: the thread
// finishes on its own and posts nothing.
class TOrgDirectoryCheck {
public:
    TOrgDirectoryCheck();
    ~TOrgDirectoryCheck() { Forget(); }
    TOrgDirectoryCheck(const TOrgDirectoryCheck&) = delete;
    TOrgDirectoryCheck& operator=(const TOrgDirectoryCheck&) = delete;

    // False, and nothing starts, while a check is running or the thread cannot start.
    bool Start(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling, HWND window, UINT message);
    bool Running() const;
    // The finished check's result, once.
    std::optional<TOrgCheckResult> Take();
    void Forget();

private:
    struct TState;
    std::shared_ptr<TState> FState;
};
