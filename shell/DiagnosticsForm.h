#pragma once
#include "DiagnosticsText.h"
#include "DialogBase.h"
#include "EventDiagnostics.h"
#include "OpenWindows.h"
#include "NameSourcePart.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

// "Диагностика": the last recorder events with what was done with each, the
// connection state, the last connection error and a line of each name source
// that has one (the organisation's directory's last sync), for support. A modeless
// dialog without owner; at most one is open, and it frees itself when closed.
class TDiagnosticsForm final : public TDialogBase, public TOpenWindows<TDiagnosticsForm> {
public:
    // Shows the window, or brings the open one forward. Returns its handle;
    // throws AppError when it cannot be created.
    // Without the name sources' parts their lines say they are not used.
    static HWND Show(HINSTANCE instance, const TEventDiagnostics& diagnostics,
                     const INameSourceParts* nameSources = nullptr);

private:
    TDiagnosticsForm(HINSTANCE instance, const TEventDiagnostics& diagnostics, const INameSourceParts* nameSources);
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
    const INameSourceParts* FNameSources;
    // The name sources' lines as shown, in the order of NameSources().
    std::vector<std::wstring> FShownSourceLines;
    uint64_t FShownTotal = UINT64_MAX;
    uint64_t FShownConnectionChanges = UINT64_MAX;
    // The list asks for one column at a time: the row is made once per event.
    size_t FCachedRow = SIZE_MAX;
    uint64_t FCachedTotal = UINT64_MAX;
    TDiagnosticsRow FRowTexts;
};
