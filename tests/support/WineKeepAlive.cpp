// Sleeps forever with a desktop and COM up, so that wineserver and Wine's
// services stay running between the test programs. Given a file name, it
// creates that file once everything is up.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ::GetDesktopWindow();
    ::CoInitialize(nullptr);
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments && count > 1) {
        HANDLE ready = ::CreateFileW(arguments[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (ready != INVALID_HANDLE_VALUE) ::CloseHandle(ready);
    }
    ::Sleep(INFINITE);
    return 0;
}
