#pragma once
#include "DiagnosticsText.h"
#include "EventDiagnostics.h"
#include "WindowBase.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdint>

// "Диагностика": the last recorder events with what was done with each, the
// connection state and the last connection error, for support. A modeless
// dialog without owner; at most one is open, and it frees itself when closed.
class TDiagnosticsForm final : public TWindowBase {
public:
    // Shows the window, or brings the open one forward. Returns its handle, or
    // null when it could not be created.
    static HWND Show(HINSTANCE instance, const TEventDiagnostics& diagnostics);
    // Closes the open window (the diagnostics it shows are about to go).
    static void CloseOpen();

    TDiagnosticsForm(const TDiagnosticsForm&) = delete;
    TDiagnosticsForm& operator=(const TDiagnosticsForm&) = delete;

private:
    TDiagnosticsForm(HINSTANCE instance, const TEventDiagnostics& diagnostics);
    ~TDiagnosticsForm() override = default;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnError(const std::wstring& text) override;
    void FormCreate();
    void OnCommand(UINT id);
    void OnGetDispInfo(NMLVDISPINFOW& info);
    void LayoutControls();
    // Shows what is new since the last refresh; force: everything again.
    void RefreshView(bool force);
    void btnCopyClick();
    HWND Item(int id) const { return ::GetDlgItem(FHandle, id); }

    HINSTANCE FInstance;
    const TEventDiagnostics& FDiagnostics;
    uint64_t FShownTotal = UINT64_MAX;
    uint64_t FShownConnectionChanges = UINT64_MAX;
    // The list asks for one column at a time: the row is made once per event.
    size_t FCachedRow = SIZE_MAX;
    uint64_t FCachedTotal = UINT64_MAX;
    TDiagnosticsRow FRowTexts;
};
