#include "ControlsStartup.h"

#include "AppError.h"
#include "TextConvert.h"

#include <windows.h>
#include <commctrl.h>

void EnsureCommonControls() {
    static const bool initialised = [] {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        return ::InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)initialised;
}

void EnsureRichEditLoaded() {
    static const HMODULE library = ::LoadLibraryW(L"Msftedit.dll");
    static const DWORD error = library ? 0 : ::GetLastError();
    if (!library) throw AppError(L"Msftedit.dll: " + SystemErrorText(error ? error : ERROR_MOD_NOT_FOUND));
}
