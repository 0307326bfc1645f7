#include "DirectoryImportForm.h"

#include "DirectoryBrowserRes.h"
#include "DirectoryImportLayout.h"
#include "ExceptionText.h"
#include "FileBytes.h"
#include "ListColumns.h"
#include "ResourceText.h"
#include "ScopedFlag.h"
#include "TextTrim.h"
#include "WindowPlacement.h"

#include <algorithm>
#include <utility>

namespace {

constexpr TItemText kTexts[] = {
    {IDC_DIRIMPORT_NUMBER_LABEL, IDS_DIRIMPORT_NUMBER_LABEL},
    {IDC_DIRIMPORT_NAME_LABEL, IDS_DIRIMPORT_NAME_LABEL},
    {IDC_DIRIMPORT_COMMENT_LABEL, IDS_DIRIMPORT_COMMENT_LABEL},
    {IDC_DIRIMPORT_ORGANIZATION_LABEL, IDS_DIRIMPORT_ORGANIZATION_LABEL},
    {IDC_DIRIMPORT_REPLACE, IDS_DIRIMPORT_REPLACE},
    {IDC_DIRIMPORT_ROWS_LABEL, IDS_DIRIMPORT_ROWS_LABEL},
    {IDC_DIRIMPORT_REJECTED_LABEL, IDS_DIRIMPORT_REJECTED_LABEL},
    {IDOK, IDS_DIRIMPORT_OK},
    {IDCANCEL, IDS_DIRIMPORT_CANCEL},
};

struct ColumnList {
    int control;
    ImportPart part;
};

// The check lists of a CSV file's columns, one per part of a row.
constexpr ColumnList kColumnLists[] = {
    {IDC_DIRIMPORT_NUMBER, ImportPart::Number},
    {IDC_DIRIMPORT_NAME, ImportPart::Name},
    {IDC_DIRIMPORT_COMMENT, ImportPart::Comment},
};

// What chooses a CSV file's columns; a vCard names its fields itself.
constexpr int kColumnChoosers[] = {IDC_DIRIMPORT_NUMBER, IDC_DIRIMPORT_NAME, IDC_DIRIMPORT_COMMENT,
                                   IDC_DIRIMPORT_ORGANIZATION};

// The one column of a check list, a little narrower than the list (pixels at 96 DPI).
constexpr int kChoiceColumnWidth = 220;
// How far the organisation's list drops below its box (pixels at 96 DPI).
constexpr int kComboDropHeight = 200;

// Posted by the worker when a step has ended.
constexpr UINT WM_IMPORTSTEPDONE = WM_APP + 1;
// Shows a running step's progress.
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressTimerMs = 100;

constexpr TListColumn kRowColumns[] = {
    {IDS_DIRIMPORT_COL_LINE, 50},        {IDS_DIRBROWSER_COL_NUMBER, 105}, {IDS_DIRBROWSER_COL_NAME, 235},
    {IDS_DIRBROWSER_COL_COMMENT, 230},  {IDS_DIRIMPORT_COL_STATE, 100},
};

constexpr TListColumn kRejectedColumns[] = {
    {IDS_DIRIMPORT_COL_LINE, 50},
    {IDS_DIRIMPORT_COL_REASON, 665},
};

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

TDirectoryImportForm::TDirectoryImportForm(HINSTANCE instance, HWND owner, TTarget target,
                                           TDiallingSettings dialling, std::wstring fileName,
                                           TImportedProc onImported)
    : TDialogBase(instance, IDS_DIRIMPORT_CAPTION),
      FOwner(owner),
      FTarget(std::move(target)),
      FDialling(std::move(dialling)),
      FFileName(std::move(fileName)),
      FOnImported(std::move(onImported)) {}

TDirectoryImportForm::~TDirectoryImportForm() {
    // The step uses this object: it ends before anything here goes.
    FWorker.reset();
}

HWND TDirectoryImportForm::Open(HINSTANCE instance, HWND owner, TTarget target, TDiallingSettings dialling,
                                const std::wstring& fileName, const std::string& bytes, TImportedProc onImported) {
    return OpenWith(instance, owner, std::move(target), std::move(dialling), fileName,
                    [bytes] { return bytes; }, std::move(onImported));
}

HWND TDirectoryImportForm::OpenFile(HINSTANCE instance, HWND owner, TTarget target, TDiallingSettings dialling,
                                    const std::wstring& path, TImportedProc onImported) {
    return OpenWith(instance, owner, std::move(target), std::move(dialling), path,
                    [path] { return ReadFileBytes(path); }, std::move(onImported));
}

HWND TDirectoryImportForm::OpenWith(HINSTANCE instance, HWND owner, TTarget target, TDiallingSettings dialling,
                                    const std::wstring& fileName, TReadBytes readBytes, TImportedProc onImported) {
    auto* form = new TDirectoryImportForm(instance, owner, std::move(target), std::move(dialling), fileName,
                                          std::move(onImported));
    const HWND window = form->CreateSelfDeletingDialog(IDD_DIRECTORYIMPORT, owner);
    // Nothing may change the directory under the preview from its owner window.
    if (owner) ::EnableWindow(owner, FALSE);
    ::ShowWindow(window, SW_SHOW);
    try {
        form->StartRead(std::move(readBytes));
    } catch (...) {
        form->CloseToOwner();
        throw;
    }
    return window;
}

INT_PTR TDirectoryImportForm::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_TIMER:
        if (wParam == kProgressTimer && FWorker)
            ::SendMessageW(Item(IDC_DIRIMPORT_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(FWorker->Permille()), 0);
        return TRUE;
    case WM_IMPORTSTEPDONE:
        OnStepDone();
        return TRUE;
    default:
        return FALSE;
    }
}

void TDirectoryImportForm::OnCommand(int id, UINT code) {
    switch (id) {
    case IDOK:
        ImportButtonClick();
        break;
    case IDCANCEL:
        CancelButtonClick();
        break;
    case IDC_DIRIMPORT_ORGANIZATION:
        if (code == CBN_SELCHANGE) BuildPreview();
        break;
    case IDC_DIRIMPORT_REPLACE:
        if (code == BN_CLICKED) BuildPreview();
        break;
    default:
        break;
    }
}

bool TDirectoryImportForm::OnNotify(NMHDR& header, LRESULT&) {
    if (header.code != LVN_ITEMCHANGED || FFilling) return false;
    const bool columnList = std::any_of(std::begin(kColumnLists), std::end(kColumnLists),
                                        [&](const ColumnList& list) { return header.idFrom == UINT_PTR(list.control); });
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    // Only a tick put or taken changes the choice, not a selection.
    if (columnList && (change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK))
        BuildPreview();
    return false;
}

bool TDirectoryImportForm::OnInit() {
    SetItemTexts(kTexts);
    ::SetDlgItemTextW(FHandle, IDC_DIRIMPORT_FILE, FormatResourceText(IDS_DIRIMPORT_FILE, {FFileName}, Instance()).c_str());
    ::CheckDlgButton(FHandle, IDC_DIRIMPORT_REPLACE, BST_CHECKED);
    for (const int id : {IDC_DIRIMPORT_ROWS, IDC_DIRIMPORT_REJECTED})
        ListView_SetExtendedListViewStyle(Item(id), LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    AddListColumns(Item(IDC_DIRIMPORT_ROWS), kRowColumns, Instance());
    AddListColumns(Item(IDC_DIRIMPORT_REJECTED), kRejectedColumns, Instance());
    for (const ColumnList& list : kColumnLists) {
        const HWND control = Item(list.control);
        ListView_SetExtendedListViewStyle(control, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
        AddListColumn(control, L"", kChoiceColumnWidth);
    }
    ::SendMessageW(Item(IDC_DIRIMPORT_PROGRESS), PBM_SETRANGE32, 0, 1000);
    // Pixel sizes at 96 DPI, scaled to the window's DPI, whatever the dialog
    // units of the template come to.
    SizeClientAndCentre(FHandle, kImportClientWidth, kImportClientHeight);
    LayoutControls();
    FWorker = std::make_unique<TImportWorker>(FHandle, WM_IMPORTSTEPDONE);
    return true;
}

void TDirectoryImportForm::LayoutControls() {
    for (const TControlPlace& place : ImportFormLayout(static_cast<int>(::GetDpiForWindow(FHandle)))) {
        const RECT& b = place.Bounds;
        const int dropHeight = place.Control == IDC_DIRIMPORT_ORGANIZATION ? Scaled(kComboDropHeight) : 0;
        MoveControl(Item(place.Control), b.left, b.top, b.right - b.left, b.bottom - b.top + dropHeight);
    }
}

void TDirectoryImportForm::StartStep(TStep step, TImportWorker::TStep work) {
    const UINT texts[] = {0, IDS_DIRIMPORT_READING, IDS_DIRIMPORT_PREVIEWING, IDS_DIRIMPORT_WRITING};
    ::SetDlgItemTextW(FHandle, IDC_DIRIMPORT_STATUS, ResourceText(texts[static_cast<int>(step)]).c_str());
    FWorker->Start(std::move(work));
    FStep = step;
    ShowBusy(true);
}

void TDirectoryImportForm::ShowBusy(bool busy) {
    // While a preview is built the choice may go on changing; reading and writing hold it.
    const bool canChoose = !busy || FStep == TStep::Preview;
    for (const int id : kColumnChoosers) ::EnableWindow(Item(id), canChoose && !FSource.vcard ? TRUE : FALSE);
    ::EnableWindow(Item(IDC_DIRIMPORT_REPLACE), canChoose ? TRUE : FALSE);
    // Nothing written needs no confirming.
    ::EnableWindow(Item(IDOK), !busy && FPreview.newCount + FPreview.changedCount > 0 ? TRUE : FALSE);
    const HWND progress = Item(IDC_DIRIMPORT_PROGRESS);
    ::SendMessageW(progress, PBM_SETPOS, 0, 0);
    ::ShowWindow(progress, busy ? SW_SHOW : SW_HIDE);
    if (busy) ::SetTimer(FHandle, kProgressTimer, kProgressTimerMs, nullptr);
    else ::KillTimer(FHandle, kProgressTimer);
    // Keyboard focus must not stay on a control that was just disabled.
    if (busy && (!canChoose || ::GetFocus() == Item(IDOK)))
        ::SendMessageW(FHandle, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDCANCEL)), TRUE);
}

void TDirectoryImportForm::ShowColumnNote() {
    std::wstring note;
    if (FSource.columnCount > kMaxImportColumns)
        note = FormatResourceText(IDS_DIRIMPORT_COLUMNS_CUT,
                                  {std::to_wstring(FSource.columnCount), std::to_wstring(kMaxImportColumns)}, Instance());
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
        FResult.directory = SnapshotOf(ReadDirectoryRows(FTarget.Folder));
        progress.Phase(800, 1000);
        FResult.preview = BuildImportPreview(FResult.source.contacts, FResult.directory, options, &progress);
    });
}

std::wstring TDirectoryImportForm::OfferText(const ColumnOffer& offer) const {
    if (offer.title.empty())
        return FormatResourceText(IDS_DIRIMPORT_COLUMN, {std::to_wstring(offer.column + 1), offer.sample}, Instance());
    if (offer.sample.empty() || offer.sample == offer.title) return offer.title;
    return FormatResourceText(IDS_DIRIMPORT_COLUMN_TITLED, {offer.title, offer.sample}, Instance());
}

void TDirectoryImportForm::FillColumnList(int listId, ImportPart part) {
    const HWND list = Item(listId);
    ListView_DeleteAllItems(list);
    int index = 0;
    for (const ColumnOffer& offer : OfferedColumns(FSource.records, FSource.hasHeader, FSource.columns, part)) {
        std::wstring text = OfferText(offer);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = index++;
        item.pszText = text.data();
        item.lParam = offer.column;
        const int at = ListView_InsertItem(list, &item);
        ListView_SetCheckState(list, at, offer.chosen ? TRUE : FALSE);
    }
}

void TDirectoryImportForm::FillColumnChoices() {
    const ScopedFlag filling(FFilling);
    for (const ColumnList& list : kColumnLists) FillColumnList(list.control, list.part);
    const HWND combo = Item(IDC_DIRIMPORT_ORGANIZATION);
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ResourceText(IDS_DIRIMPORT_NO_COLUMN).c_str()));
    int chosen = 0;
    for (const ColumnOffer& offer :
         OfferedColumns(FSource.records, FSource.hasHeader, FSource.columns, ImportPart::Organization)) {
        // Item 0 is "no column"; column i is item i + 1.
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(OfferText(offer).c_str()));
        if (offer.chosen) chosen = offer.column + 1;
    }
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
}

std::vector<int> TDirectoryImportForm::TickedColumns(int listId) const {
    const HWND list = Item(listId);
    std::vector<int> columns;
    const int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) {
        if (!ListView_GetCheckState(list, i)) continue;
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        ListView_GetItem(list, &item);
        columns.push_back(static_cast<int>(item.lParam));
    }
    return columns;
}

CsvColumns TDirectoryImportForm::ChosenColumns() const {
    return ChosenCsvColumns(TickedColumns(IDC_DIRIMPORT_NUMBER), TickedColumns(IDC_DIRIMPORT_NAME),
                            TickedColumns(IDC_DIRIMPORT_COMMENT),
                            static_cast<int>(::SendMessageW(Item(IDC_DIRIMPORT_ORGANIZATION), CB_GETCURSEL, 0, 0)) - 1);
}

void TDirectoryImportForm::BuildPreview() {
    if (FStep == TStep::Preview) FPreviewAgain = true;
    if (FStep != TStep::None) return;
    FPreviewAgain = false;
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
        // The choice changed meanwhile: this preview is already out of date.
        if (FPreviewAgain) return BuildPreview();
        FSource.columns = FResult.source.columns;
        FPreview = std::move(FResult.preview);
        break;
    case TStep::Write: {
        const TImportedProc onImported = FOnImported;
        const std::size_t written = FResult.written;
        CloseToOwner();
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
        ::SetDlgItemTextW(FHandle, IDC_DIRIMPORT_STATUS, ResourceText(IDS_DIRIMPORT_WRITE_CANCELLED).c_str());
        return;
    } catch (const ContactImportError& notText) {
        // Not a file of contacts: said in the file's own terms.
        ShowError(notText.message());
    } catch (...) {
        if (step == TStep::Write) {
            // All or nothing: the directory is as it was, and the preview stays for another try.
            ShowColumnNote();
            ShowError(FormatResourceText(IDS_DIRIMPORT_FAILED, {GetExceptionText(std::current_exception())}, Instance()));
            return;
        }
        ShowError(GetExceptionText(std::current_exception()));
    }
    // Without its file or preview the window has nothing to offer.
    CloseToOwner();
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
                      ResourceText(states[static_cast<int>(row.status)])});
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
        Instance());
    ::SetDlgItemTextW(FHandle, IDC_DIRIMPORT_COUNTS, counts.c_str());
}

void TDirectoryImportForm::ImportButtonClick() {
    if (FStep != TStep::None || FPreview.newCount + FPreview.changedCount == 0) return;
    StartStep(TStep::Write, [this](ImportProgress& progress) {
        // FPreview stays as it is while the step runs.
        FResult.written = FTarget.Writes->Import(FPreview, &progress);
    });
}

void TDirectoryImportForm::CancelButtonClick() {
    // A write is stopped and rolled back, the preview stays; anything else
    // ends with the window.
    if (FStep == TStep::Write) FWorker->Cancel();
    else CloseToOwner();
}

void TDirectoryImportForm::CloseToOwner() {
    if (!FHandle) return;
    if (FWorker) FWorker->Cancel();
    // The owner comes back before this window goes, so that it takes the activation.
    if (FOwner) ::EnableWindow(FOwner, TRUE);
    Close();
}
