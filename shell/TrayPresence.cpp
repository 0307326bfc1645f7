#include "TrayPresence.h"

#include "JournalTray.h"

#include <utility>

TTrayPresence::TTrayPresence(HWND owner, UINT id, UINT callbackMessage, HICON appIcon, std::wstring caption)
    : FOwner(owner), FAppIcon(appIcon), FCaption(std::move(caption)), FIcon(owner, id, callbackMessage, appIcon) {
    FIcon.SetHint(FCaption);
    FIcon.Show();
}

void TTrayPresence::SetConnection(TConnectionState state, const std::wstring& reason) {
    const bool iconChanges = state != FState;
    FState = state;
    FReason = reason;
    if (iconChanges) {
        const TTrayMark mark = TrayLook(state, FCaption, FReason).Mark;
        const int size = ::GetSystemMetricsForDpi(SM_CXSMICON, ::GetDpiForWindow(FOwner));
        FStateIcon.reset(mark == TTrayMark::None ? nullptr : DrawTrayIcon(FAppIcon, mark, size));
        Draw(true);
    }
    UpdateHint();
}

void TTrayPresence::SetOperator(const TQuietState& quiet, const std::wstring& quietHint, int64_t missed) {
    FQuiet = quiet;
    FQuietHint = quietHint;
    FMissed = missed;
    UpdateHint();
    Draw(false);
}

void TTrayPresence::SetSqlDirectory(const std::wstring& line) {
    if (line == FSqlLine) return;
    FSqlLine = line;
    UpdateHint();
}

void TTrayPresence::UpdateHint() {
    std::wstring lines = TrayLook(FState, FCaption, FReason).Hint;
    for (const std::wstring* more : {&FQuietHint, &FSqlLine})
        if (!more->empty()) lines += L"\n" + *more;
    FIcon.SetHint(TrayHintWithMissedCalls(lines, FMissed));
}

void TTrayPresence::Draw(bool stateChanged) {
    const TTrayMarks marks{FQuiet.Quiet(), FMissed};
    if (marks == FShownMarks && !stateChanged) return;
    FShownMarks = marks;
    // Drawn at the notification area's DPI: the small-icon size the shell shows.
    // The operator's marks go over the icon of the connection's state.
    const HICON base = FStateIcon ? static_cast<HICON>(FStateIcon.get()) : FAppIcon;
    const int size = ::GetSystemMetricsForDpi(SM_CXSMICON, ::GetDpiForWindow(FOwner));
    UniqueIcon marked(DrawTrayMarks(base, marks, size));
    FIcon.SetIcon(marked ? marked.get() : base);
    FMarkedIcon = std::move(marked);
}
