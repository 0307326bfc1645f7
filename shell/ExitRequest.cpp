#include "ExitRequest.h"

#include "LongPath.h"
#include "ModuleFile.h"

TExitRequestWindow::TExitRequestWindow(HINSTANCE instance, HWND target, UINT exitCommand)
    : FTarget(target), FExitCommand(exitCommand) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kExitRequestClass;
    // A second window in the same process (tests) finds the class registered already.
    ::RegisterClassExW(&windowClass);
    // Top-level rather than message-only, so that a plain FindWindow (as in an
    // installer script) finds it; never shown.
    const std::wstring programFile = LongPathOf(ModuleFileName());
    FWindow.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kExitRequestClass, programFile.c_str(), WS_POPUP, 0, 0, 0, 0,
                                    nullptr, nullptr, instance, this));
}

LRESULT CALLBACK TExitRequestWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_CLOSE) {
        auto* self = reinterpret_cast<TExitRequestWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        // Posted, so the requester's SendMessage returns at once and the exit runs
        // from the message loop like the tray menu's item.
        if (self) ::PostMessageW(self->FTarget, WM_COMMAND, MAKEWPARAM(self->FExitCommand, 0), 0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}
