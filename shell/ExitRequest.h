#pragma once
#include "WindowBase.h"

#include <windows.h>

#include <string>

// Class of the hidden window by which an installer, an uninstaller or an
// administrator's script asks a running copy to end as "Выход" does: send
// WM_CLOSE to the window of this class (FindWindow finds it in the user's own
// session). Nothing is killed: saves still running are waited for as usual.
// The window's title is the long full path of the copy's program file, so that
// an installer asks only the copy in its own folder, never a portable one.
inline constexpr wchar_t kExitRequestClass[] = L"KordavinInformerExitRequest";

// The hidden exit-request window of one running copy. A WM_CLOSE it receives
// becomes `exitCommand` posted to `target` as WM_COMMAND; the window itself
// stays until the object goes.
class TExitRequestWindow final : public TWindowBase {
public:
    TExitRequestWindow(HINSTANCE instance, HWND target, UINT exitCommand);
    ~TExitRequestWindow() override;

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Nothing here can fail, and a hidden window has nobody to tell.
    void OnError(const std::wstring&) override {}

    HWND FTarget;
    UINT FExitCommand;
};
