// KordavinInformer.exe: the tray program.
#include "ControlsStartup.h"
#include "DialogMessages.h"
#include "ExitRequest.h"
#include "FormMain.h"
#include "MainFormRes.h"
#include "UniqueHandle.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // All recording-server calls are made on this thread, in its apartment.
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    EnsureCommonControls();

    int exitCode = 0;
    {
        TMainForm mainForm(instance);
        if (!mainForm.Create()) return 1;
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
