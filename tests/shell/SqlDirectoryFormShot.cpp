// sqldir-shot OUT.bmp: shows the SQL directory's dialog filled as an
// administrator would for PostgreSQL, with a check's answer and a finished
// move-over, and saves what the screen shows of it as a 24-bit BMP. For the
// screenshot in docs/ (scripts/screenshots).
#include "MessagePump.h"
#include "ScreenBitmap.h"
#include "SqlDirectoryForm.h"
#include "SqlDirectoryRes.h"
#include "SqlDirectoryTexts.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: sqldir-shot OUT.bmp\n", stderr);
        return 2;
    }
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    TSqlSettings settings;
    settings.FSqlConnection = L"Driver={PostgreSQL Unicode};Server=db1.example.local;Port=5432;Database=phones;Uid=informer;";
    HWND window = TSqlDirectoryForm::Show(::GetModuleHandleW(nullptr), nullptr, settings,
                                          {L"C:\\ProgramData\\Kordavin\\PQR", false}, {}, {}, {});
    if (!window) return 1;
    ::SetDlgItemTextW(window, IDC_SQLDIR_PASSWORD, L"password");
    ::SetDlgItemTextW(window, IDC_SQLDIR_RESULT, SqlCheckResultText({}, settings.FSqlTable).c_str());
    TSqlMoveOverResult moved;
    moved.New = 1840;
    moved.Changed = 12;
    moved.Unchanged = 3;
    moved.Written = 1852;
    ::SetDlgItemTextW(window, IDC_SQLDIR_MOVE_RESULT, SqlMoveOverResultText(moved).c_str());
    ::SendDlgItemMessageW(window, IDC_SQLDIR_MOVE_PROGRESS, PBM_SETPOS, 1000, 0);
    PumpFor(1500);
    RECT area{};
    ::GetWindowRect(window, &area);
    const bool saved = SaveBitmap(area, argv[1]);
    TSqlDirectoryForm::CloseAll();
    return saved ? 0 : 1;
}
