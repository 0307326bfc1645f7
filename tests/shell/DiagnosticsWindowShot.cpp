// diagnostics-shot.exe OUT.bmp: shows the diagnostics window with one event for
// each reason it tells and saves what the screen shows of it as a 24-bit BMP.
// For the screenshot in docs/ (scripts/screenshots).
#include "DiagnosticsForm.h"
#include "DiagnosticsScenario.h"
#include "MessagePump.h"
#include "ScreenBitmap.h"

#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: diagnostics-shot OUT.bmp\n", stderr);
        return 2;
    }
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    FakeRecorderHost host;
    PlayDiagnosticsScenario(host);
    HWND window = TDiagnosticsForm::Show(::GetModuleHandleW(nullptr), host.diagnostics);
    if (!window) return 1;
    PumpFor(1500);
    RECT area{};
    ::GetWindowRect(window, &area);
    const bool saved = SaveBitmap(area, argv[1]);
    TDiagnosticsForm::CloseAll();
    return saved ? 0 : 1;
}
