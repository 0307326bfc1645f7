#include "DiagnosticsForm.h"

#include "ClipboardText.h"
#include "ControlsStartup.h"
#include "DiagnosticsRes.h"
#include "ListColumns.h"
#include "NameSources.h"
#include "WindowPlacement.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshIntervalMs = 1000;
// Column widths in pixels at 96 DPI, in column order.
constexpr int kColumnWidths[dcColumnCount] = {90, 200, 90, 110, 460};
constexpr int kClientWidth = 980;
constexpr int kClientHeight = 460;
constexpr int kMinWidth = 420;
constexpr int kMinHeight = 220;
constexpr int kMargin = 10;
constexpr int kLineHeight = 17;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;

constexpr TItemText kTexts[] = {
    {IDC_DIAG_LIST_LABEL, IDS_DIAG_LIST_LABEL},
    {IDC_DIAG_COPY, IDS_DIAG_COPY},
    {IDC_DIAG_REFRESH, IDS_DIAG_REFRESH},
    {IDC_DIAG_CLOSE, IDS_DIAG_CLOSE_TEXT},
};

}  // namespace

TDiagnosticsForm::TDiagnosticsForm(HINSTANCE instance, const TEventDiagnostics& diagnostics,
                                   const INameSourceParts* nameSources)
    : TDialogBase(instance, IDS_DIAG_CAPTION, 0, MB_ICONERROR), FDiagnostics(diagnostics),
      FNameSources(nameSources) {}

HWND TDiagnosticsForm::Show(HINSTANCE instance, const TEventDiagnostics& diagnostics,
                            const INameSourceParts* nameSources) {
    if (TDiagnosticsForm* open = BringForward()) {
        open->RefreshView(true);
        return open->Handle();
    }
    EnsureCommonControls();
    // No owner: the main window is usually hidden.
    auto* form = new TDiagnosticsForm(instance, diagnostics, nameSources);
    form->CreateSelfDeletingDialog(IDD_DIAGNOSTICSFORM, nullptr);
    BringWindowForward(form->Handle());
    return form->Handle();
}

INT_PTR TDiagnosticsForm::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_TIMER || wParam != kRefreshTimer) return FALSE;
    RefreshView(false);
    return TRUE;
}

bool TDiagnosticsForm::OnNotify(NMHDR& header, LRESULT&) {
    if (header.idFrom != IDC_DIAG_LIST || header.code != LVN_GETDISPINFOW) return false;
    OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW&>(header));
    return true;
}

bool TDiagnosticsForm::OnInit() {
    SetItemTexts(kTexts);
    // A line under the connection's two for each name source that has one.
    const auto font = static_cast<WPARAM>(::SendMessageW(FHandle, WM_GETFONT, 0, 0));
    int lineId = IDC_DIAG_SOURCE_FIRST;
    // Where the template's lines stand in the tab order, before the list's label.
    HWND after = Item(IDC_DIAG_ERROR);
    for (const TNameSource& source : NameSources()) {
        if (!source.DiagnosticsLine) continue;
        const HWND line = ::CreateWindowExW(WS_EX_NOPARENTNOTIFY, L"STATIC", L"",
                                            WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0, 0,
                                            0, FHandle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(lineId++)),
                                            Instance(), nullptr);
        ::SendMessageW(line, WM_SETFONT, font, FALSE);
        ::SetWindowPos(line, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = line;
        FShownSourceLines.emplace_back();
    }
    HWND list = Item(IDC_DIAG_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    const TDiagnosticsRow titles = DiagnosticsColumnTitles();
    for (int column = 0; column < dcColumnCount; ++column)
        AddListColumn(list, titles[static_cast<size_t>(column)], kColumnWidths[column]);
    // The last column, what was done with the event, takes the width a wider window gives.
    MakeResizable({kClientWidth, kClientHeight, kMinWidth, kMinHeight, L"Diagnostics", IDC_DIAG_LIST});
    RefreshView(true);
    ::SetTimer(FHandle, kRefreshTimer, kRefreshIntervalMs, nullptr);
    return true;
}

void TDiagnosticsForm::LayoutControls() {
    RECT client{};
    ::GetClientRect(FHandle, &client);
    const int margin = Scaled(kMargin);
    const int line = Scaled(kLineHeight);
    const int buttonWidth = Scaled(kButtonWidth);
    const int buttonHeight = Scaled(kButtonHeight);
    const int width = client.right - 2 * margin;
    const int buttonTop = client.bottom - margin - buttonHeight;
    const int lines = 2 + static_cast<int>(FShownSourceLines.size());
    // The list's own label, for screen readers and Alt+С.
    const int listLabelTop = margin + lines * line + margin / 2;
    const int listTop = listLabelTop + line;
    MoveControl(Item(IDC_DIAG_STATE), margin, margin, width, line);
    MoveControl(Item(IDC_DIAG_ERROR), margin, margin + line, width, line);
    for (int i = 2; i < lines; ++i)
        MoveControl(Item(IDC_DIAG_SOURCE_FIRST + i - 2), margin, margin + i * line, width, line);
    MoveControl(Item(IDC_DIAG_LIST_LABEL), margin, listLabelTop, width, line);
    MoveControl(Item(IDC_DIAG_LIST), margin, listTop, width, buttonTop - margin - listTop);
    MoveControl(Item(IDC_DIAG_COPY), margin, buttonTop, buttonWidth, buttonHeight);
    MoveControl(Item(IDC_DIAG_REFRESH), 2 * margin + buttonWidth, buttonTop, buttonWidth, buttonHeight);
    MoveControl(Item(IDC_DIAG_CLOSE), client.right - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight);
}

void TDiagnosticsForm::OnCommand(int id, UINT) {
    switch (id) {
    case IDC_DIAG_COPY: btnCopyClick(); break;
    case IDC_DIAG_REFRESH: RefreshView(true); break;
    case IDC_DIAG_CLOSE: Close(); break;
    default: break;
    }
}

void TDiagnosticsForm::RefreshView(bool force) {
    size_t shown = 0;
    for (const TNameSource& source : NameSources()) {
        if (!source.DiagnosticsLine) continue;
        std::wstring text = source.DiagnosticsLine(FNameSources ? FNameSources->NameSourcePart(source.Part) : nullptr);
        if (shown < FShownSourceLines.size() && (force || text != FShownSourceLines[shown])) {
            ::SetDlgItemTextW(FHandle, IDC_DIAG_SOURCE_FIRST + static_cast<int>(shown), text.c_str());
            FShownSourceLines[shown] = std::move(text);
        }
        ++shown;
    }
    if (force || FShownConnectionChanges != FDiagnostics.ConnectionChanges()) {
        FShownConnectionChanges = FDiagnostics.ConnectionChanges();
        ::SetDlgItemTextW(FHandle, IDC_DIAG_STATE, DiagnosticsStateText(FDiagnostics).c_str());
        ::SetDlgItemTextW(FHandle, IDC_DIAG_ERROR, DiagnosticsErrorText(FDiagnostics).c_str());
    }
    if (!force && FShownTotal == FDiagnostics.Total()) return;
    FShownTotal = FDiagnostics.Total();
    HWND list = Item(IDC_DIAG_LIST);
    // The newest event is row 0, so every row moves when one arrives.
    ::SendMessageW(list, LVM_SETITEMCOUNT, FDiagnostics.Count(), LVSICF_NOSCROLL);
    ::InvalidateRect(list, nullptr, FALSE);
}

void TDiagnosticsForm::OnGetDispInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || item.iSubItem < 0 || item.iSubItem >= dcColumnCount) return;
    const auto row = static_cast<size_t>(item.iItem);
    if (row >= FDiagnostics.Count()) return;
    if (row != FCachedRow || FCachedTotal != FDiagnostics.Total()) {
        FRowTexts = DiagnosticsRow(FDiagnostics.At(FDiagnostics.Count() - 1 - row), false);
        FCachedRow = row;
        FCachedTotal = FDiagnostics.Total();
    }
    SetDispInfoText(item, FRowTexts[static_cast<size_t>(item.iSubItem)]);
}

void TDiagnosticsForm::btnCopyClick() {
    if (!PutClipboardText(FHandle, DiagnosticsClipboardText(FDiagnostics)))
        ShowError(ResourceText(IDS_DIAG_COPY_FAILED));
}
