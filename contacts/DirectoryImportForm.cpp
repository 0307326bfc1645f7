#include "DirectoryImportForm.h"

#include "AppError.h"
#include "DirectoryBrowserRes.h"
#include "ExceptionText.h"
#include "FileBytes.h"
#include "ResourceText.h"
#include "TextConvert.h"
#include "TextTrim.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

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

// What the user may change between steps; disabled while one runs.
constexpr int kChoiceControls[] = {IDC_DIRIMPORT_NUMBER, IDC_DIRIMPORT_NAME, IDC_DIRIMPORT_COMMENT,
                                   IDC_DIRIMPORT_REPLACE, IDOK};

// Posted by the worker when a step has ended.
constexpr UINT WM_IMPORTSTEPDONE = WM_APP + 1;
// Shows a running step's progress.
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressTimerMs = 100;

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

TDirectoryImportForm::~TDirectoryImportForm() {
    // The step uses this object: it ends before anything here goes.
    FWorker.reset();
}

HWND TDirectoryImportForm::Open(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                                const std::wstring& fileName, const std::string& bytes, TImportedProc onImported) {
    return OpenWith(instance, owner, std::move(folder), std::move(dialling), fileName,
                    [bytes] { return bytes; }, std::move(onImported));
}

HWND TDirectoryImportForm::OpenFile(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                                    const std::wstring& path, TImportedProc onImported) {
    return OpenWith(instance, owner, std::move(folder), std::move(dialling), path,
                    [path] { return ReadFileBytes(path); }, std::move(onImported));
}

HWND TDirectoryImportForm::OpenWith(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                                    const std::wstring& fileName, TReadBytes readBytes, TImportedProc onImported) {
    auto* form = new TDirectoryImportForm(instance, owner, std::move(folder), std::move(dialling), std::move(onImported));
    form->FFileName = fileName;
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
    try {
        form->StartRead(std::move(readBytes));
    } catch (...) {
        form->Close();
        throw;
    }
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
    case WM_TIMER:
        if (wParam == kProgressTimer && FWorker)
            ::SendMessageW(Item(IDC_DIRIMPORT_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(FWorker->Permille()), 0);
        return TRUE;
    case WM_IMPORTSTEPDONE:
        OnStepDone();
        return TRUE;
    case WM_CLOSE:
        Close();
        return TRUE;
    default:
        return FALSE;
    }
}

void TDirectoryImportForm::OnError(const std::wstring& text) { Message(text); }

int TDirectoryImportForm::Message(const std::wstring& text) {
    return ::MessageBoxW(FHandle, text.c_str(), LoadResourceString(IDS_DIRIMPORT_CAPTION, FInstance).c_str(),
                         MB_OK | MB_ICONWARNING);
}

void TDirectoryImportForm::OnCommand(UINT id, UINT code) {
    switch (id) {
    case IDOK:
        ImportButtonClick();
        break;
    case IDCANCEL:
        CancelButtonClick();
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
    ::SendMessageW(Item(IDC_DIRIMPORT_PROGRESS), PBM_SETRANGE32, 0, 1000);
    FWorker = std::make_unique<TImportWorker>(FHandle, WM_IMPORTSTEPDONE);
}

void TDirectoryImportForm::StartStep(TStep step, TImportWorker::TStep work) {
    const UINT texts[] = {0, IDS_DIRIMPORT_READING, IDS_DIRIMPORT_PREVIEWING, IDS_DIRIMPORT_WRITING};
    ::SetDlgItemTextW(FHandle, IDC_DIRIMPORT_STATUS,
                      LoadResourceString(texts[static_cast<int>(step)], FInstance).c_str());
    FWorker->Start(std::move(work));
    FStep = step;
    ShowBusy(true);
}

void TDirectoryImportForm::ShowBusy(bool busy) {
    for (const int id : kChoiceControls) ::EnableWindow(Item(id), busy ? FALSE : TRUE);
    if (!busy) {
        // A vCard names its fields itself; nothing written needs no confirming.
        for (const int id : kColumnCombos) ::EnableWindow(Item(id), FSource.vcard ? FALSE : TRUE);
        ::EnableWindow(Item(IDOK), FPreview.newCount + FPreview.changedCount > 0 ? TRUE : FALSE);
    }
    const HWND progress = Item(IDC_DIRIMPORT_PROGRESS);
    ::SendMessageW(progress, PBM_SETPOS, 0, 0);
    ::ShowWindow(progress, busy ? SW_SHOW : SW_HIDE);
    if (busy) ::SetTimer(FHandle, kProgressTimer, kProgressTimerMs, nullptr);
    else ::KillTimer(FHandle, kProgressTimer);
    // Keyboard focus must not stay on a control that was just disabled.
    if (busy) ::SendMessageW(FHandle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDCANCEL)), TRUE);
}

void TDirectoryImportForm::ShowColumnNote() {
    std::wstring note;
    if (FSource.columnCount > kMaxImportColumns)
        note = FormatResourceText(IDS_DIRIMPORT_COLUMNS_CUT,
                                  {std::to_wstring(FSource.columnCount), std::to_wstring(kMaxImportColumns)}, FInstance);
    ::SetDlgItemTextW(FHandle, IDC_DIRIMPORT_STATUS, note.c_str());
}

ImportOptions TDirectoryImportForm::Options() const {
    ImportOptions options;
    options.dialling = FDialling;
    options.replaceNames = ::IsDlgButtonChecked(FHandle, IDC_DIRIMPORT_REPLACE) == BST_CHECKED;
    return options;
}

void TDirectoryImportForm::StartRead(TReadBytes readBytes) {
    StartStep(TStep::Read, [this, readBytes = std::move(readBytes), options = Options()](ImportProgress& progress) {
        progress.Phase(0, 50);
        const std::string bytes = readBytes();
        progress.Phase(50, 700);
        FResult.source = ReadImportFile(bytes, nullptr, &progress);
        progress.Phase(700, 800);
        FResult.directory = SnapshotOf(ReadDirectoryRows(FFolder));
        progress.Phase(800, 1000);
        FResult.preview = BuildImportPreview(FResult.source.contacts, FResult.directory, options, &progress);
    });
}

void TDirectoryImportForm::FillColumnChoices() {
    // The records hold no more than the offered columns.
    size_t columnCount = 0;
    const size_t head = std::min(FSource.records.size(), kImportHeadRecords);
    for (size_t r = 0; r < head; ++r) columnCount = std::max(columnCount, FSource.records[r].fields.size());
    const int chosen[] = {FSource.columns.number, FSource.columns.name, FSource.columns.comment};
    for (size_t c = 0; c < std::size(kColumnCombos); ++c) {
        const HWND combo = Item(kColumnCombos[c]);
        ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        ::SendMessageW(combo, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(LoadResourceString(IDS_DIRIMPORT_NO_COLUMN, FInstance).c_str()));
        for (size_t i = 0; i < columnCount; ++i) {
            std::wstring sample;
            for (size_t r = 0; r < head; ++r) {
                const CsvRecord& record = FSource.records[r];
                if (i < record.fields.size() && !record.fields[i].empty()) {
                    sample = SingleLineText(record.fields[i]);
                    break;
                }
            }
            const std::wstring text = FormatResourceText(IDS_DIRIMPORT_COLUMN, {std::to_wstring(i + 1), sample}, FInstance);
            ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        // Item 0 is "no column"; column i is item i + 1.
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(chosen[c] + 1), 0);
    }
}

CsvColumns TDirectoryImportForm::ChosenColumns() const {
    const auto chosen = [this](int id) {
        return static_cast<int>(::SendMessageW(Item(id), CB_GETCURSEL, 0, 0)) - 1;
    };
    // The boxes choose the main columns; the further ones recognised stay.
    CsvColumns columns = FSource.columns;
    columns.number = chosen(IDC_DIRIMPORT_NUMBER);
    columns.name = chosen(IDC_DIRIMPORT_NAME);
    columns.comment = chosen(IDC_DIRIMPORT_COMMENT);
    for (std::vector<int>* more : {&columns.moreNumbers, &columns.moreNames, &columns.moreComments})
        std::erase_if(*more, [&](int c) { return c == columns.number || c == columns.name || c == columns.comment; });
    return columns;
}

void TDirectoryImportForm::BuildPreview() {
    if (FStep != TStep::None) return;
    const CsvColumns columns = ChosenColumns();
    StartStep(TStep::Preview, [this, columns, options = Options()](ImportProgress& progress) {
        // FSource and FDirectory stay as they are while a step runs.
        const std::vector<ImportedContact> taken =
            FSource.vcard ? std::vector<ImportedContact>() : ContactsFromCsv(FSource.records, columns, FSource.hasHeader);
        FResult.source.columns = columns;
        FResult.preview =
            BuildImportPreview(FSource.vcard ? FSource.contacts : taken, FDirectory, options, &progress);
    });
}

void TDirectoryImportForm::OnStepDone() {
    const std::exception_ptr error = FWorker->Finish();
    const TStep step = std::exchange(FStep, TStep::None);
    if (error) {
        OnStepFailed(step, error);
        return;
    }
    switch (step) {
    case TStep::Read:
        FSource = std::move(FResult.source);
        FDirectory = std::move(FResult.directory);
        FPreview = std::move(FResult.preview);
        FillColumnChoices();
        break;
    case TStep::Preview:
        FSource.columns = FResult.source.columns;
        FPreview = std::move(FResult.preview);
        break;
    case TStep::Write: {
        const TImportedProc onImported = FOnImported;
        const std::size_t written = FResult.written;
        Close();
        if (onImported) onImported(written);
        return;
    }
    case TStep::None:
        return;
    }
    ShowBusy(false);
    ShowColumnNote();
    ShowPreview();
}

void TDirectoryImportForm::OnStepFailed(TStep step, std::exception_ptr error) {
    ShowBusy(false);
    try {
        std::rethrow_exception(error);
    } catch (const ImportCancelled&) {
        // Only a write is stopped with the window left open.
        ::SetDlgItemTextW(FHandle, IDC_DIRIMPORT_STATUS, LoadResourceString(IDS_DIRIMPORT_WRITE_CANCELLED, FInstance).c_str());
        return;
    } catch (const ContactImportError& notText) {
        // Not a file of contacts: said in the file's own terms.
        Message(notText.message());
    } catch (...) {
        if (step == TStep::Write) {
            // All or nothing: the directory is as it was, and the preview stays for another try.
            ShowColumnNote();
            Message(FormatResourceText(IDS_DIRIMPORT_FAILED, {GetExceptionText(std::current_exception())}, FInstance));
            return;
        }
        Message(GetExceptionText(std::current_exception()));
    }
    // Without its file or preview the window has nothing to offer.
    Close();
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
}

void TDirectoryImportForm::ImportButtonClick() {
    if (FStep != TStep::None || FPreview.newCount + FPreview.changedCount == 0) return;
    StartStep(TStep::Write, [this](ImportProgress& progress) {
        // FPreview stays as it is while the step runs.
        FResult.written = ApplyImport(FFolder, FPreview, &progress);
    });
}

void TDirectoryImportForm::CancelButtonClick() {
    // A write is stopped and rolled back, the preview stays; anything else
    // ends with the window.
    if (FStep == TStep::Write) FWorker->Cancel();
    else Close();
}

void TDirectoryImportForm::Close() {
    if (!FHandle) return;
    if (FWorker) FWorker->Cancel();
    // The owner comes back before this window goes, so that it takes the activation.
    if (FOwner) ::EnableWindow(FOwner, TRUE);
    ::DestroyWindow(FHandle);
}
