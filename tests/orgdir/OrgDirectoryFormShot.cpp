// orgdir-shot.exe OUT.bmp: shows the organisation's directory's dialog filled as
// an administrator would for Active Directory, with a check's answer, and saves
// what the screen shows of it as a 24-bit BMP. For the screenshot in docs/
// (scripts/screenshots).
#include "MessagePump.h"
#include "OrgDirectoryForm.h"
#include "OrgDirectoryRes.h"
#include "OrgDirectoryTexts.h"
#include "ScreenBitmap.h"

#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: orgdir-shot OUT.bmp\n", stderr);
        return 2;
    }
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    TOrgDirectorySettings settings;
    settings.FLdapServers = L"ldaps://dc1.example.local ldaps://dc2.example.local";
    settings.FLdapBase = L"OU=Сотрудники,DC=example,DC=local";
    settings.FLdapBindDN = L"CN=Информатор,OU=Службы,DC=example,DC=local";
    HWND window = TOrgDirectoryForm::Show(::GetModuleHandleW(nullptr), nullptr, settings, TDiallingSettings{}, {});
    if (!window) return 1;
    ::SetDlgItemTextW(window, IDC_ORGDIR_PASSWORD, L"password");
    ::SetDlgItemTextW(window, IDC_ORGDIR_RESULT, OrgCheckResultText({{}, 1284, 1731}).c_str());
    PumpFor(1500);
    RECT area{};
    ::GetWindowRect(window, &area);
    const bool saved = SaveBitmap(area, argv[1]);
    TOrgDirectoryForm::CloseAll();
    return saved ? 0 : 1;
}
