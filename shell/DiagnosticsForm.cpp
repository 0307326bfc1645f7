#include "DiagnosticsForm.h"

#include "ClipboardText.h"
#include "ControlsStartup.h"
#include "DiagnosticsRes.h"
#include "ResourceText.h"

#include <commctrl.h>

#include <algorithm>

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshIntervalMs = 1000;
// Column widths in pixels at 96 DPI, in column order.
constexpr int kColumnWidths[dcColumnCount] = {90, 200, 90, 110, 460};
constexpr int kClientWidth = 980;
constexpr int kClientHeight = 460;
constexpr int kMargin = 10;
constexpr int kLineHeight = 17;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;

TDiagnosticsForm*& OpenForm() {
    static TDiagnosticsForm* form = nullptr;
    return form;
}

}  // namespace

TDiagnosticsForm::TDiagnosticsForm(HINSTANCE instance, const TEventDiagnostics& diagnostics)
    : FInstance(instance), FDiagnostics(diagnostics) {}

HWND TDiagnosticsForm::Show(HINSTANCE instance, const TEventDiagnostics& diagnostics) {
    if (TDiagnosticsForm* open = OpenForm()) {
        open->RefreshView(true);
        if (::IsIconic(open->FHandle)) ::ShowWindow(open->FHandle, SW_RESTORE);
        ::SetForegroundWindow(open->FHandle);
        return open->FHandle;
    }
    EnsureCommonControls();
    auto* form = new TDiagnosticsForm(instance, diagnostics);
    form->DeleteWithWindow();
    // No owner: the main window is usually hidden.
    const HWND window = form->CreateDialogWindow(instance, IDD_DIAGNOSTICSFORM, nullptr);
    if (!window) {
        delete form;
        return nullptr;
    }
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    return window;
}

void TDiagnosticsForm::CloseOpen() {
    if (TDiagnosticsForm* open = OpenForm()) ::DestroyWindow(open->FHandle);
}

INT_PTR TDiagnosticsForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OpenForm() = this;
        FormCreate();
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        auto& header = *reinterpret_cast<NMHDR*>(lParam);
        if (header.idFrom == IDC_DIAG_LIST && header.code == LVN_GETDISPINFOW)
            OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kRefreshTimer) RefreshView(false);
        return TRUE;
    case WM_SIZE:
        LayoutControls();
        return TRUE;
    case WM_CLOSE:
        ::DestroyWindow(FHandle);
        return TRUE;
    case WM_NCDESTROY:
        if (OpenForm() == this) OpenForm() = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void TDiagnosticsForm::OnError(const std::wstring& text) {
    ::MessageBoxW(FHandle, text.c_str(), LoadResourceString(IDS_DIAG_CAPTION, FInstance).c_str(),
                  MB_OK | MB_ICONERROR);
}

void TDiagnosticsForm::FormCreate() {
    ::SetWindowTextW(FHandle, LoadResourceString(IDS_DIAG_CAPTION, FInstance).c_str());
    ::SetDlgItemTextW(FHandle, IDC_DIAG_LIST_LABEL, LoadResourceString(IDS_DIAG_LIST_LABEL, FInstance).c_str());
    ::SetDlgItemTextW(FHandle, IDC_DIAG_COPY, LoadResourceString(IDS_DIAG_COPY, FInstance).c_str());
    ::SetDlgItemTextW(FHandle, IDC_DIAG_REFRESH, LoadResourceString(IDS_DIAG_REFRESH, FInstance).c_str());
    ::SetDlgItemTextW(FHandle, IDC_DIAG_CLOSE, LoadResourceString(IDS_DIAG_CLOSE_TEXT, FInstance).c_str());

    const int dpi = static_cast<int>(::GetDpiForWindow(FHandle));
    HWND list = Item(IDC_DIAG_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    TDiagnosticsRow titles = DiagnosticsColumnTitles();
    for (int column = 0; column < dcColumnCount; ++column) {
        LVCOLUMNW format{};
        format.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        format.cx = ::MulDiv(kColumnWidths[column], dpi, 96);
        format.pszText = titles[static_cast<size_t>(column)].data();
        format.iSubItem = column;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&format));
    }

    // The client area in pixels, scaled to the window's DPI, centred on the work area.
    RECT frame{0, 0, ::MulDiv(kClientWidth, dpi, 96), ::MulDiv(kClientHeight, dpi, 96)};
    ::AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_STYLE)), FALSE,
                               static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_EXSTYLE)),
                               static_cast<UINT>(dpi));
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(FHandle, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutControls();
    RefreshView(true);
    ::SetTimer(FHandle, kRefreshTimer, kRefreshIntervalMs, nullptr);
}

void TDiagnosticsForm::LayoutControls() {
    const int dpi = static_cast<int>(::GetDpiForWindow(FHandle));
    const auto scaled = [dpi](int pixels) { return ::MulDiv(pixels, dpi, 96); };
    RECT client{};
    ::GetClientRect(FHandle, &client);
    const int margin = scaled(kMargin);
    const int line = scaled(kLineHeight);
    const int buttonWidth = scaled(kButtonWidth);
    const int buttonHeight = scaled(kButtonHeight);
    const int width = client.right - 2 * margin;
    const int buttonTop = client.bottom - margin - buttonHeight;
    // The list's own label, for screen readers and Alt+С.
    const int listLabelTop = margin + 2 * line + margin / 2;
    const int listTop = listLabelTop + line;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    ::SetWindowPos(Item(IDC_DIAG_STATE), nullptr, margin, margin, width, line, flags);
    ::SetWindowPos(Item(IDC_DIAG_ERROR), nullptr, margin, margin + line, width, line, flags);
    ::SetWindowPos(Item(IDC_DIAG_LIST_LABEL), nullptr, margin, listLabelTop, width, line, flags);
    ::SetWindowPos(Item(IDC_DIAG_LIST), nullptr, margin, listTop, width, buttonTop - margin - listTop, flags);
    ::SetWindowPos(Item(IDC_DIAG_COPY), nullptr, margin, buttonTop, buttonWidth, buttonHeight, flags);
    ::SetWindowPos(Item(IDC_DIAG_REFRESH), nullptr, 2 * margin + buttonWidth, buttonTop, buttonWidth, buttonHeight,
                   flags);
    ::SetWindowPos(Item(IDC_DIAG_CLOSE), nullptr, client.right - margin - buttonWidth, buttonTop, buttonWidth,
                   buttonHeight, flags);
}

void TDiagnosticsForm::OnCommand(UINT id) {
    switch (id) {
    case IDC_DIAG_COPY: btnCopyClick(); break;
    case IDC_DIAG_REFRESH: RefreshView(true); break;
    case IDC_DIAG_CLOSE: ::DestroyWindow(FHandle); break;
    default: break;
    }
}

void TDiagnosticsForm::RefreshView(bool force) {
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
    const std::wstring& text = FRowTexts[static_cast<size_t>(item.iSubItem)];
    if (item.cchTextMax > 0) {
        const size_t units = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
        text.copy(item.pszText, units);
        item.pszText[units] = L'\0';
    }
}

void TDiagnosticsForm::btnCopyClick() {
    if (!PutClipboardText(FHandle, DiagnosticsClipboardText(FDiagnostics)))
        OnError(LoadResourceString(IDS_DIAG_COPY_FAILED, FInstance));
}
