#include "DirectoryImportForm.h"

#include "AppError.h"
#include "DirectoryBrowserRes.h"
#include "ExceptionText.h"
#include "TextConvert.h"
#include "TextTrim.h"
#include "ResourceText.h"

#include <commctrl.h>

#include <algorithm>

namespace {

struct ControlText {
    int control;
    UINT text;
};

constexpr ControlText kTexts[] = {
    {IDC_DIRIMPORT_NUMBER_LABEL, IDS_DIRIMPORT_NUMBER_LABEL},
    {IDC_DIRIMPORT_NAME_LABEL, IDS_DIRIMPORT_NAME_LABEL},
    {IDC_DIRIMPORT_COMMENT_LABEL, IDS_DIRIMPORT_COMMENT_LABEL},
    {IDC_DIRIMPORT_REPLACE, IDS_DIRIMPORT_REPLACE},
    {IDC_DIRIMPORT_ROWS_LABEL, IDS_DIRIMPORT_ROWS_LABEL},
    {IDC_DIRIMPORT_REJECTED_LABEL, IDS_DIRIMPORT_REJECTED_LABEL},
    {IDOK, IDS_DIRIMPORT_OK},
    {IDCANCEL, IDS_DIRIMPORT_CANCEL},
};

constexpr int kColumnCombos[] = {IDC_DIRIMPORT_NUMBER, IDC_DIRIMPORT_NAME, IDC_DIRIMPORT_COMMENT};

// Records whose fields name the column choices.
constexpr size_t kHeadRecords = 3;

struct Column {
    UINT title;
    int width;  // pixels at 96 DPI
};

constexpr Column kRowColumns[] = {
    {IDS_DIRIMPORT_COL_LINE, 50},       {IDS_DIRBROWSER_COL_NUMBER, 100}, {IDS_DIRBROWSER_COL_NAME, 180},
    {IDS_DIRBROWSER_COL_COMMENT, 170}, {IDS_DIRIMPORT_COL_STATE, 100},
};

constexpr Column kRejectedColumns[] = {
    {IDS_DIRIMPORT_COL_LINE, 50},
    {IDS_DIRIMPORT_COL_REASON, 540},
};

void AddColumns(HWND list, const Column* columns, size_t count, HINSTANCE instance) {
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    const int dpi = static_cast<int>(::GetDpiForWindow(list));
    for (size_t i = 0; i < count; ++i) {
        std::wstring title = LoadResourceString(columns[i].title, instance);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = title.data();
        column.cx = ::MulDiv(columns[i].width, dpi, 96);
        column.iSubItem = static_cast<int>(i);
        ListView_InsertColumn(list, static_cast<int>(i), &column);
    }
}

void AddRow(HWND list, const std::vector<std::wstring>& texts) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = ListView_GetItemCount(list);
    item.pszText = const_cast<wchar_t*>(texts[0].c_str());
    const int index = ListView_InsertItem(list, &item);
    for (size_t i = 1; i < texts.size(); ++i)
        ListView_SetItemText(list, index, static_cast<int>(i), const_cast<wchar_t*>(texts[i].c_str()));
}

}  // namespace

TDirectoryImportForm::TDirectoryImportForm(HINSTANCE instance, HWND owner, std::wstring folder,
                                           TDiallingSettings dialling, TImportedProc onImported)
    : FInstance(instance),
      FOwner(owner),
      FFolder(std::move(folder)),
      FDialling(std::move(dialling)),
      FOnImported(std::move(onImported)) {}

HWND TDirectoryImportForm::Open(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                                const std::wstring& fileName, const std::string& bytes, TImportedProc onImported) {
    auto* form = new TDirectoryImportForm(instance, owner, std::move(folder), std::move(dialling), std::move(onImported));
    try {
        form->FFileName = fileName;
        form->FBytes = bytes;
        // A file that is no text is refused before any window opens.
        form->FSource = ReadImportFile(form->FBytes);
        form->FDirectory = SnapshotOf(ReadDirectoryRows(form->FFolder));
        if (!form->FSource.vcard) {
            std::vector<CsvRecord> records = ParseCsv(DecodeImportText(form->FBytes).text, form->FSource.separator);
            if (records.size() > kHeadRecords) records.resize(kHeadRecords);
            form->FHeadRecords = std::move(records);
        }
    } catch (...) {
        delete form;
        throw;
    }
    form->DeleteWithWindow();
    const HWND window = form->CreateDialogWindow(instance, IDD_DIRECTORYIMPORT, owner);
    if (!window) {
        const DWORD error = ::GetLastError();
        delete form;
        throw AppError(SystemErrorText(error ? error : ERROR_RESOURCE_NAME_NOT_FOUND));
    }
    // Nothing may change the directory under the preview from its owner window.
    if (owner) ::EnableWindow(owner, FALSE);
    ::ShowWindow(window, SW_SHOW);
    return window;
}

INT_PTR TDirectoryImportForm::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        FormCreate();
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        Close();
        return TRUE;
    default:
        return FALSE;
    }
}

void TDirectoryImportForm::OnError(const std::wstring& text) {
    ::MessageBoxW(FHandle, text.c_str(), LoadResourceString(IDS_DIRIMPORT_CAPTION, FInstance).c_str(),
                  MB_OK | MB_ICONWARNING);
}

void TDirectoryImportForm::OnCommand(UINT id, UINT code) {
    switch (id) {
    case IDOK:
        ImportButtonClick();
        break;
    case IDCANCEL:
        Close();
        break;
    case IDC_DIRIMPORT_NUMBER:
    case IDC_DIRIMPORT_NAME:
    case IDC_DIRIMPORT_COMMENT:
        if (code == CBN_SELCHANGE) BuildPreview();
        break;
    case IDC_DIRIMPORT_REPLACE:
        if (code == BN_CLICKED) BuildPreview();
        break;
    default:
        break;
    }
}

void TDirectoryImportForm::FormCreate() {
    ::SetWindowTextW(FHandle, LoadResourceString(IDS_DIRIMPORT_CAPTION, FInstance).c_str());
    for (const ControlText& text : kTexts)
        ::SetDlgItemTextW(FHandle, text.control, LoadResourceString(text.text, FInstance).c_str());
    ::SetDlgItemTextW(FHandle, IDC_DIRIMPORT_FILE, FormatResourceText(IDS_DIRIMPORT_FILE, {FFileName}, FInstance).c_str());
    ::CheckDlgButton(FHandle, IDC_DIRIMPORT_REPLACE, BST_CHECKED);
    AddColumns(Item(IDC_DIRIMPORT_ROWS), kRowColumns, std::size(kRowColumns), FInstance);
    AddColumns(Item(IDC_DIRIMPORT_REJECTED), kRejectedColumns, std::size(kRejectedColumns), FInstance);
    FillColumnChoices();
    BuildPreview();
}

void TDirectoryImportForm::FillColumnChoices() {
    size_t columnCount = 0;
    for (const CsvRecord& record : FHeadRecords) columnCount = std::max(columnCount, record.fields.size());
    const int chosen[] = {FSource.columns.number, FSource.columns.name, FSource.columns.comment};
    for (size_t c = 0; c < std::size(kColumnCombos); ++c) {
        const HWND combo = Item(kColumnCombos[c]);
        ::SendMessageW(combo, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(LoadResourceString(IDS_DIRIMPORT_NO_COLUMN, FInstance).c_str()));
        for (size_t i = 0; i < columnCount; ++i) {
            std::wstring sample;
            for (const CsvRecord& record : FHeadRecords)
                if (i < record.fields.size() && !record.fields[i].empty()) {
                    sample = SingleLineText(record.fields[i]);
                    break;
                }
            const std::wstring text = FormatResourceText(IDS_DIRIMPORT_COLUMN, {std::to_wstring(i + 1), sample}, FInstance);
            ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        // Item 0 is "no column"; column i is item i + 1.
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(chosen[c] + 1), 0);
        // A vCard names its fields itself.
        ::EnableWindow(combo, FSource.vcard ? FALSE : TRUE);
    }
}

CsvColumns TDirectoryImportForm::ChosenColumns() const {
    const auto chosen = [this](int id) {
        return static_cast<int>(::SendMessageW(Item(id), CB_GETCURSEL, 0, 0)) - 1;
    };
    return CsvColumns{chosen(IDC_DIRIMPORT_NUMBER), chosen(IDC_DIRIMPORT_NAME), chosen(IDC_DIRIMPORT_COMMENT)};
}

void TDirectoryImportForm::BuildPreview() {
    if (!FSource.vcard) {
        const CsvColumns columns = ChosenColumns();
        FSource = ReadImportFile(FBytes, &columns);
    }
    ImportOptions options;
    options.dialling = FDialling;
    options.replaceNames = ::IsDlgButtonChecked(FHandle, IDC_DIRIMPORT_REPLACE) == BST_CHECKED;
    FPreview = BuildImportPreview(FSource.contacts, FDirectory, options);
    ShowPreview();
}

void TDirectoryImportForm::ShowPreview() {
    const HWND rows = Item(IDC_DIRIMPORT_ROWS);
    ::SendMessageW(rows, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(rows);
    const UINT states[] = {IDS_DIRIMPORT_STATE_NEW, IDS_DIRIMPORT_STATE_CHANGED, IDS_DIRIMPORT_STATE_UNCHANGED};
    const size_t shown = std::min<size_t>(FPreview.rows.size(), kPreviewRows);
    for (size_t i = 0; i < shown; ++i) {
        const ImportRow& row = FPreview.rows[i];
        AddRow(rows, {std::to_wstring(row.line), row.phone, row.name, SingleLineText(row.comment),
                      LoadResourceString(states[static_cast<int>(row.status)], FInstance)});
    }
    ::SendMessageW(rows, WM_SETREDRAW, TRUE, 0);

    const HWND rejected = Item(IDC_DIRIMPORT_REJECTED);
    ::SendMessageW(rejected, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(rejected);
    for (const RejectedLine& line : FPreview.rejected) AddRow(rejected, {std::to_wstring(line.line), line.reason});
    ::SendMessageW(rejected, WM_SETREDRAW, TRUE, 0);

    const std::wstring counts = FormatResourceText(
        IDS_DIRIMPORT_COUNTS,
        {std::to_wstring(FPreview.newCount), std::to_wstring(FPreview.changedCount),
         std::to_wstring(FPreview.unchangedCount), std::to_wstring(FPreview.rejectedCount),
         std::to_wstring(FPreview.duplicateCount)},
        FInstance);
    ::SetDlgItemTextW(FHandle, IDC_DIRIMPORT_COUNTS, counts.c_str());
    // Nothing to write: nothing to confirm.
    ::EnableWindow(Item(IDOK), FPreview.newCount + FPreview.changedCount > 0 ? TRUE : FALSE);
}

void TDirectoryImportForm::ImportButtonClick() {
    if (FPreview.newCount + FPreview.changedCount == 0) return;
    std::size_t written = 0;
    {
        const HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        try {
            written = ApplyImport(FFolder, FPreview);
        } catch (...) {
            ::SetCursor(previous);
            // All or nothing: the directory is as it was, and the preview stays for another try.
            ::MessageBoxW(FHandle,
                          FormatResourceText(IDS_DIRIMPORT_FAILED, {GetExceptionText(std::current_exception())},
                                             FInstance)
                              .c_str(),
                          LoadResourceString(IDS_DIRIMPORT_CAPTION, FInstance).c_str(), MB_OK | MB_ICONWARNING);
            return;
        }
        ::SetCursor(previous);
    }
    const TImportedProc onImported = FOnImported;
    Close();
    if (onImported) onImported(written);
}

void TDirectoryImportForm::Close() {
    if (!FHandle) return;
    // The owner comes back before this window goes, so that it takes the activation.
    if (FOwner) ::EnableWindow(FOwner, TRUE);
    ::DestroyWindow(FHandle);
}
