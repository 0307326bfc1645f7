// KordavinInformer.exe: the tray program.
#include "ControlsStartup.h"
#include "CrmLink.h"
#include "DialogMessages.h"
#include "ExitRequest.h"
#include "FormMain.h"
#include "KordavinUtils.h"
#include "MainFormRes.h"
#include "SingleInstance.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

// How long a second copy waits for the first one's window: the first may just
// be starting, on a busy machine.
constexpr DWORD kHandOverTimeoutMs = 30000;

// Test-only: with KORDAVIN_TEST_URL_LOG naming a file, the URLs the program
// would open in the browser are appended to it (UTF-8, one a line) instead.
void RecordOpenedUrlsForTests() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KORDAVIN_TEST_URL_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    SetCrmUrlOpener([log = std::wstring(path)](const std::wstring& url, std::wstring& error) {
        UniqueFileHandle file(::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::string line = WideToUtf8(url) + "\n";
        DWORD written = 0;
        if (file && ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
            return true;
        error = SystemErrorText(::GetLastError());
        return false;
    });
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    TSingleInstance single(SingleInstanceName(ExecutableFolder(), CurrentUserSid()));
    if (!single.IsFirst() && single.HandOver(kHandOverTimeoutMs) != THandOver::BecameFirst) return 0;

    // All recording-server calls are made on this thread, in its apartment.
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    EnsureCommonControls();
    RecordOpenedUrlsForTests();

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
