#pragma once
#include "WindowBase.h"

#include <windows.h>

// Why the PC asks the program to look at its connections again.
enum class TWakeUp { Resume, NetworkChanged, SessionUnlocked };

// What the controller's window hands on, on the main thread.
class IControllerClock {
public:
    enum class TTimer : UINT_PTR { Poll = 1, Reconnect = 2, Quiet = 3 };
    // What other threads post for the main thread: a save failed, the journal
    // failed, the SQL directory's state changed.
    enum class TPosted : UINT { SaveFailed = WM_APP + 2, JournalFailed = WM_APP + 3, SqlDirectoryChanged = WM_APP + 4 };
    virtual void OnTimer(TTimer timer) = 0;
    virtual void OnPosted(TPosted what) = 0;
    virtual void OnWakeUp(TWakeUp reason) = 0;

protected:
    ~IControllerClock() = default;
};

// The controller's hidden, message-only window: its timers, and what Windows
// tells of the PC waking up (resume after sleep or hibernation, a network that
// comes or goes, the session unlocked). A burst of network changes is told once
// it has settled. Registrations that Windows refuses leave the timers working.
class TControllerWindow final : public TWindowBase {
public:
    explicit TControllerWindow(IControllerClock& clock);
    ~TControllerWindow() override;

    void SetTimer(IControllerClock::TTimer timer, UINT intervalMs, bool enabled);
    // Any thread.
    void Post(IControllerClock::TPosted what) const { ::PostMessageW(FHandle, static_cast<UINT>(what), 0, 0); }

    // How long network changes must be quiet before they are told.
    static constexpr UINT kNetworkSettleMs = 2000;

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Nothing of the controller's clock may stop the program; a failed tick waits for the next.
    void OnError(const std::wstring&) override {}

    IControllerClock& FClock;
    HPOWERNOTIFY FPowerNotify = nullptr;
    bool FSessionNotify = false;
    HANDLE FNetworkNotify = nullptr;
};
