// KordavinInformer.exe: the tray program.
#include "ControlsStartup.h"
#include "DialogMessages.h"
#include "ExitRequest.h"
#include "FormMain.h"
#include "KordavinUtils.h"
#include "MainFormRes.h"
#include "SingleInstance.h"
#include "WindowMemory.h"

#include <windows.h>

namespace {

// How long a second copy waits for the first one's window: the first may just
// be starting, on a busy machine.
constexpr DWORD kHandOverTimeoutMs = 30000;

}  // namespace

#ifdef KORDAVIN_TEST_HOOKS
// Only in the copy of the program that the end-to-end tests build for themselves.
void InstallTestHooks();
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    TSingleInstance single(SingleInstanceName(ExecutableFolder(), CurrentUserSid()));
    if (!single.IsFirst() && single.HandOver(kHandOverTimeoutMs) != THandOver::BecameFirst) return 0;

    // All recording-server calls are made on this thread, in its apartment.
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    EnsureCommonControls();
    // The list windows open as the user last left them.
    SetWindowMemoryKey(kWindowMemoryKey);
#ifdef KORDAVIN_TEST_HOOKS
    InstallTestHooks();
#endif

    int exitCode = 0;
    {
        TMainForm mainForm(instance);
        if (!mainForm.Create()) return 1;
        single.Publish(mainForm.Handle());
        // Lets the installer ask a running copy to end before it replaces the files.
        TExitRequestWindow exitRequest(instance, mainForm.Handle(), IDM_PMNUEXIT);
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (HandleDialogMessage(message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        exitCode = static_cast<int>(message.wParam);
    }
    return exitCode;
}
