#include "OrgDirectoryCheck.h"

#include <mutex>
#include <system_error>
#include <thread>

// Shared by the dialog and the check's thread; Lock guards the other fields.
struct TOrgDirectoryCheck::TState {
    std::mutex Lock;
    HWND Window = nullptr;
    UINT Message = 0;
    bool Running = false;
    std::optional<TOrgCheckResult> Result;
};

TOrgDirectoryCheck::TOrgDirectoryCheck() : FState(std::make_shared<TState>()) {}

bool TOrgDirectoryCheck::Start(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling, HWND window,
                               UINT message) {
    {
        const std::lock_guard lock(FState->Lock);
        if (FState->Running) return false;
        FState->Running = true;
        FState->Window = window;
        FState->Message = message;
        FState->Result.reset();
    }
    try {
        std::thread([state = FState, settings, dialling]() noexcept {
            TOrgCheckResult result;
            try {
                result = CheckOrgDirectory(settings, dialling);
            } catch (...) {
                result.Error.Kind = TOrgDirectoryFailure::Interrupted;
            }
            const std::lock_guard lock(state->Lock);
            state->Running = false;
            state->Result = std::move(result);
            if (state->Window) ::PostMessageW(state->Window, state->Message, 0, 0);
        }).detach();
        return true;
    } catch (const std::system_error&) {
        const std::lock_guard lock(FState->Lock);
        FState->Running = false;
        return false;
    }
}

bool TOrgDirectoryCheck::Running() const {
    const std::lock_guard lock(FState->Lock);
    return FState->Running;
}

std::optional<TOrgCheckResult> TOrgDirectoryCheck::Take() {
    const std::lock_guard lock(FState->Lock);
    std::optional<TOrgCheckResult> result = std::move(FState->Result);
    FState->Result.reset();
    return result;
}

void TOrgDirectoryCheck::Forget() {
    const std::lock_guard lock(FState->Lock);
    FState->Window = nullptr;
}
