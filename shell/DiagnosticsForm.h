#pragma once
#include "DiagnosticsText.h"
#include "DialogBase.h"
#include "EventDiagnostics.h"
#include "OpenWindows.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdint>

// "Диагностика": the last recorder events with what was done with each, the
// connection state and the last connection error, for support. A modeless
// dialog without owner; at most one is open, and it frees itself when closed.
class TDiagnosticsForm final : public TDialogBase, public TOpenWindows<TDiagnosticsForm> {
public:
    // Shows the window, or brings the open one forward. Returns its handle;
    // throws AppError when it cannot be created.
    static HWND Show(HINSTANCE instance, const TEventDiagnostics& diagnostics);

private:
    TDiagnosticsForm(HINSTANCE instance, const TEventDiagnostics& diagnostics);
    ~TDiagnosticsForm() override = default;

    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    bool OnNotify(NMHDR& header, LRESULT& result) override;
    void OnSize() override { LayoutControls(); }
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnGetDispInfo(NMLVDISPINFOW& info);
    void LayoutControls();
    // Shows what is new since the last refresh; force: everything again.
    void RefreshView(bool force);
    void btnCopyClick();

    const TEventDiagnostics& FDiagnostics;
    uint64_t FShownTotal = UINT64_MAX;
    uint64_t FShownConnectionChanges = UINT64_MAX;
    // The list asks for one column at a time: the row is made once per event.
    size_t FCachedRow = SIZE_MAX;
    uint64_t FCachedTotal = UINT64_MAX;
    TDiagnosticsRow FRowTexts;
};
