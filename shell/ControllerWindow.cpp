#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>

#include "ControllerWindow.h"

#include <wtsapi32.h>

namespace {

constexpr wchar_t kClass[] = L"KordavinInformerController";
// Posted by the network notification's thread; the window starts the settle timer.
constexpr UINT kNetworkChanged = WM_APP + 1;
constexpr UINT_PTR kNetworkSettleTimer = 100;

// On a system thread: only a post, nothing that may throw or wait.
void CALLBACK NetworkChanged(PVOID context, PMIB_IPINTERFACE_ROW, MIB_NOTIFICATION_TYPE) {
    ::PostMessageW(static_cast<HWND>(context), kNetworkChanged, 0, 0);
}

}  // namespace

TControllerWindow::TControllerWindow(IControllerClock& clock) : FClock(clock) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    RegisterWindowClass(instance, kClass, 0, nullptr, nullptr);
    CreatePlainWindow(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, instance);
    // A message-only window hears no broadcasts: each notification is asked for
    // by this window. Each may be refused (Wine has none of them); the timers
    // still reconnect, only later.
    FPowerNotify = ::RegisterSuspendResumeNotification(FHandle, DEVICE_NOTIFY_WINDOW_HANDLE);
    FSessionNotify = ::WTSRegisterSessionNotification(FHandle, NOTIFY_FOR_THIS_SESSION) != FALSE;
    if (::NotifyIpInterfaceChange(AF_UNSPEC, NetworkChanged, FHandle, FALSE, &FNetworkNotify) != NO_ERROR)
        FNetworkNotify = nullptr;
}

TControllerWindow::~TControllerWindow() {
    // Waits for a notification being told: none posts to a window that is gone.
    if (FNetworkNotify) ::CancelMibChangeNotify2(FNetworkNotify);
    if (FSessionNotify) ::WTSUnRegisterSessionNotification(FHandle);
    if (FPowerNotify) ::UnregisterSuspendResumeNotification(FPowerNotify);
    if (FHandle) ::DestroyWindow(FHandle);
}

void TControllerWindow::SetTimer(IControllerClock::TTimer timer, UINT intervalMs, bool enabled) {
    const auto id = static_cast<UINT_PTR>(timer);
    if (enabled) ::SetTimer(FHandle, id, intervalMs, nullptr);
    else ::KillTimer(FHandle, id);
}

INT_PTR TControllerWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam == kNetworkSettleTimer) {
            ::KillTimer(FHandle, kNetworkSettleTimer);
            FClock.OnWakeUp(TWakeUp::NetworkChanged);
        } else {
            FClock.OnTimer(static_cast<IControllerClock::TTimer>(wParam));
        }
        return 0;
    case static_cast<UINT>(IControllerClock::TPosted::SaveFailed):
    case static_cast<UINT>(IControllerClock::TPosted::JournalFailed):
    case static_cast<UINT>(IControllerClock::TPosted::SqlDirectoryChanged):
        FClock.OnPosted(static_cast<IControllerClock::TPosted>(message));
        return 0;
    case kNetworkChanged:
        // Adapters come and go in bursts (a dock, a VPN): told once they settle.
        ::SetTimer(FHandle, kNetworkSettleTimer, kNetworkSettleMs, nullptr);
        return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC) FClock.OnWakeUp(TWakeUp::Resume);
        return TRUE;
    case WM_WTSSESSION_CHANGE:
        if (wParam == WTS_SESSION_UNLOCK) FClock.OnWakeUp(TWakeUp::SessionUnlocked);
        return 0;
    default:
        return DefaultProc(message, wParam, lParam);
    }
}
