// Sleeps forever with a desktop and COM up, so that wineserver and Wine's
// services stay running between the test programs.
#include <windows.h>
#include <objbase.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::GetDesktopWindow();
    ::CoInitialize(nullptr);
    ::Sleep(INFINITE);
    return 0;
}
