#pragma once
#include "DialogMessages.h"

#include <windows.h>

#include <functional>

// Runs this thread's pending messages the way the tray program's loop does.
inline void PumpPending() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (HandleDialogMessage(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// Pumps until done() holds or the time is up; returns done()'s last answer.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
    const ULONGLONG until = ::GetTickCount64() + timeoutMs;
    for (;;) {
        PumpPending();
        if (done()) return true;
        if (::GetTickCount64() >= until) return false;
        ::Sleep(5);
    }
}

// Pumps for the given time.
inline void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}
