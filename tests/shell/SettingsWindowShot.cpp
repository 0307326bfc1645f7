// settings-shot.exe OUT.bmp [popups|window [Key=Value...]]: starts the real tray program (not
// connected), opens its settings window and saves what the screen shows of it
// as a 24-bit BMP; with "popups", the preview popup is shown first. For the
// screenshots in docs/ (scripts/screenshots).
#include "InformerProcess.h"
#include "ScreenCapture.h"
#include "MainFormRes.h"
#include "TestFolders.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: settings-shot OUT.bmp [popups]\n", stderr);
        return 2;
    }
    const bool popups = argc > 2 && std::wstring(argv[2]) == L"popups";
    std::vector<std::wstring> lines{L"UseRemoteDB=1", L"TrayMsgAnimate=0", L"IsNameBold=1"};
    for (int i = 3; i < argc; ++i) lines.push_back(argv[i]);
    InformerProcess informer({UniqueSimSession(), false, {}, lines});
    HWND window = informer.MainWindow();
    if (!window) return 1;
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_PMNUOPTIONS, 0), 0);
    ::Sleep(4000);
    RECT area{};
    ::GetWindowRect(window, &area);
    if (popups) {
        ::PostMessageW(::GetDlgItem(window, IDC_SHOWHIDEPREVIEWWINDOWBUTTON), BM_CLICK, 0, 0);
        ::Sleep(1500);
        // The whole screen: the window and the popup in its corner.
        area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const bool saved = SaveBitmap(area, argv[1]);
    informer.Exit();
    return saved ? 0 : 1;
}
