#include "ExitRequest.h"

#include "LongPath.h"
#include "ModuleFile.h"

TExitRequestWindow::TExitRequestWindow(HINSTANCE instance, HWND target, UINT exitCommand)
    : FTarget(target), FExitCommand(exitCommand) {
    // A second window in the same process (tests) finds the class registered already.
    RegisterWindowClass(instance, kExitRequestClass, 0, nullptr, nullptr);
    // Top-level rather than message-only, so that a plain FindWindow (as in an
    // installer script) finds it; never shown.
    const std::wstring programFile = LongPathOf(ModuleFileName());
    CreatePlainWindow(WS_EX_TOOLWINDOW, kExitRequestClass, programFile.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                      instance);
}

TExitRequestWindow::~TExitRequestWindow() {
    if (FHandle) ::DestroyWindow(FHandle);
}

INT_PTR TExitRequestWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_CLOSE) return DefaultProc(message, wParam, lParam);
    // Posted, so the requester's SendMessage returns at once and the exit runs
    // from the message loop like the tray menu's item.
    ::PostMessageW(FTarget, WM_COMMAND, MAKEWPARAM(FExitCommand, 0), 0);
    return 0;
}
