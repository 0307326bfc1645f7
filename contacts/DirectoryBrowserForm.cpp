#include "DirectoryBrowserForm.h"

#include "FileDialog.h"

#include "AppError.h"
#include "ContactEditorForm.h"
#include "ContactExport.h"
#include "ContactImport.h"
#include "DirectoryBrowserRes.h"
#include "DirectoryImportForm.h"
#include "ExceptionText.h"
#include "FileBytes.h"
#include "ListColumns.h"
#include "ResourceText.h"
#include "TextTrim.h"
#include "WindowPlacement.h"
#include "WindowText.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

namespace {

// Posted by a save thread once its row is stored: the list reads the files again.
constexpr UINT WM_DIRECTORYCHANGED = WM_APP + 40;
// Posted by the loader once the rows are read.
constexpr UINT WM_DIRECTORYLOADED = WM_APP + 41;

constexpr TItemText kTexts[] = {
    {IDC_DIRBROWSER_SEARCH_LABEL, IDS_DIRBROWSER_SEARCH_LABEL},
    {IDC_DIRBROWSER_LIST_LABEL, IDS_DIRBROWSER_LIST_LABEL},
    {IDC_DIRBROWSER_ADD, IDS_DIRBROWSER_ADD},
    {IDC_DIRBROWSER_EDIT, IDS_DIRBROWSER_EDIT},
    {IDC_DIRBROWSER_DELETE, IDS_DIRBROWSER_DELETE},
    {IDC_DIRBROWSER_IMPORT, IDS_DIRBROWSER_IMPORT},
    {IDC_DIRBROWSER_EXPORT, IDS_DIRBROWSER_EXPORT},
    {IDC_DIRBROWSER_REFRESH, IDS_DIRBROWSER_REFRESH},
    {IDCANCEL, IDS_DIRBROWSER_CLOSE},
};

// What a client workstation cannot do with the server's directory.
constexpr int kLocalOnlyControls[] = {
    IDC_DIRBROWSER_SEARCH_LABEL, IDC_DIRBROWSER_SEARCH, IDC_DIRBROWSER_LIST_LABEL, IDC_DIRBROWSER_LIST,
    IDC_DIRBROWSER_ADD,          IDC_DIRBROWSER_EDIT,   IDC_DIRBROWSER_DELETE,     IDC_DIRBROWSER_IMPORT,
    IDC_DIRBROWSER_EXPORT,       IDC_DIRBROWSER_REFRESH,
};

// Pixel sizes at 96 DPI, scaled to the window's DPI.
constexpr int kClientWidth = 660;
constexpr int kClientHeight = 420;
constexpr int kMinWidth = 480;
constexpr int kMinHeight = 320;
constexpr int kMargin = 10;
constexpr int kGap = 6;
constexpr int kLabelHeight = 16;
constexpr int kEditHeight = 21;
constexpr int kSearchLabelWidth = 60;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 25;
constexpr int kStatusHeight = 18;

// The buttons beside the list, top down; a larger gap before a button starts a new group.
struct TSideButton {
    int Control;
    bool NewGroup;
};
constexpr TSideButton kSideButtons[] = {
    {IDC_DIRBROWSER_ADD, false},    {IDC_DIRBROWSER_EDIT, false},   {IDC_DIRBROWSER_DELETE, false},
    {IDC_DIRBROWSER_IMPORT, true},  {IDC_DIRBROWSER_EXPORT, false}, {IDC_DIRBROWSER_REFRESH, true},
};

constexpr TListColumn kColumns[] = {
    {IDS_DIRBROWSER_COL_NUMBER, 105},
    {IDS_DIRBROWSER_COL_NAME, 195},
    {IDS_DIRBROWSER_COL_REGION, 120},
    {IDS_DIRBROWSER_COL_COMMENT, 110},
};

}  // namespace

TDirectoryBrowserForm::TDirectoryBrowserForm(HINSTANCE instance, TDirectorySource source)
    : TDialogBase(instance, IDS_DIRBROWSER_CAPTION), FSource(std::move(source)) {}

HWND TDirectoryBrowserForm::Open(HINSTANCE instance, TDirectorySource source) {
    // An import preview open over the window comes forward instead.
    if (TDirectoryBrowserForm* open = BringForward()) {
        open->FSource = std::move(source);
        open->ApplySource();
        return open->FHandle;
    }
    auto* form = new TDirectoryBrowserForm(instance, std::move(source));
    form->CreateSelfDeletingDialog(IDD_DIRECTORYBROWSER, nullptr);
    BringWindowForward(form->FHandle);
    return form->FHandle;
}

INT_PTR TDirectoryBrowserForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DIRECTORYLOADED) {
        OnLoaded();
        return TRUE;
    }
    if (message != WM_DIRECTORYCHANGED) return FALSE;
    Reload();
    // After an import: how many rows it wrote (the status shows the count otherwise).
    if (wParam)
        ::SetDlgItemTextW(FHandle, IDC_DIRBROWSER_STATUS,
                          FormatResourceText(IDS_DIRBROWSER_IMPORTED, {std::to_wstring(lParam)}, Instance()).c_str());
    return TRUE;
}

void TDirectoryBrowserForm::OnCommand(int id, UINT code) {
    if (id == IDOK) return EditButtonClick();  // Enter: the selected subscriber is edited.
    if (id == IDCANCEL) return Close();
    if (id == IDC_DIRBROWSER_SEARCH && code == EN_CHANGE) return SearchEditChange();
    if (code != BN_CLICKED) return;
    switch (id) {
    case IDC_DIRBROWSER_ADD: AddButtonClick(); break;
    case IDC_DIRBROWSER_EDIT: EditButtonClick(); break;
    case IDC_DIRBROWSER_DELETE: DeleteButtonClick(); break;
    case IDC_DIRBROWSER_IMPORT: ImportButtonClick(); break;
    case IDC_DIRBROWSER_EXPORT: ExportButtonClick(); break;
    case IDC_DIRBROWSER_REFRESH: RefreshButtonClick(); break;
    default: break;
    }
}

bool TDirectoryBrowserForm::OnNotify(NMHDR& header, LRESULT&) {
    if (header.idFrom != IDC_DIRBROWSER_LIST) return false;
    switch (header.code) {
    case LVN_GETDISPINFOW:
        OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW&>(header));
        return true;
    case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (change.uChanged & LVIF_STATE) {
            if (change.uNewState & LVIS_SELECTED) FSelectedIndex = change.iItem;
            else if ((change.uOldState & LVIS_SELECTED) && (change.iItem == FSelectedIndex || change.iItem < 0))
                FSelectedIndex = -1;
        }
        UpdateButtons();
        return true;
    }
    case LVN_KEYDOWN:
        if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE) DeleteButtonClick();
        return true;
    case NM_DBLCLK:
        EditButtonClick();
        return true;
    default:
        return false;
    }
}

void TDirectoryBrowserForm::OnGetDispInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<size_t>(item.iItem) >= FShown.size()) return;
    const DirectoryRow& row = FRows[FShown[static_cast<size_t>(item.iItem)]];
    switch (item.iSubItem) {
    case 0:
        FDisplayText = row.phone;
        break;
    case 1:
        FDisplayText = row.name;
        break;
    case 2:
        FDisplayText = RegionOf(row.phone);
        break;
    default:
        FDisplayText = SingleLineText(row.comment);
        break;
    }
    SetDispInfoText(item, FDisplayText);
}

bool TDirectoryBrowserForm::OnInit() {
    SetItemTexts(kTexts);
    const HWND list = Item(IDC_DIRBROWSER_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    AddListColumns(list, kColumns, Instance());
    // The comment column takes the width a wider window gives.
    MakeResizable({kClientWidth, kClientHeight, kMinWidth, kMinHeight, L"Directory", IDC_DIRBROWSER_LIST});
    ApplySource();
    ::SendMessageW(FHandle, WM_NEXTDLGCTL,
                   reinterpret_cast<WPARAM>(FSource.Remote ? Item(IDCANCEL) : Item(IDC_DIRBROWSER_SEARCH)), TRUE);
    return true;
}

void TDirectoryBrowserForm::LayoutControls() {
    RECT client{};
    ::GetClientRect(FHandle, &client);
    const int margin = Scaled(kMargin);
    const int gap = Scaled(kGap);
    const int labelHeight = Scaled(kLabelHeight);
    const int editHeight = Scaled(kEditHeight);
    const int buttonWidth = Scaled(kButtonWidth);
    const int buttonHeight = Scaled(kButtonHeight);
    const int statusHeight = Scaled(kStatusHeight);
    const int labelWidth = Scaled(kSearchLabelWidth);
    const int buttonLeft = client.right - margin - buttonWidth;
    const int listRight = buttonLeft - gap;
    const int labelShift = (editHeight - labelHeight) / 2;

    MoveControl(Item(IDC_DIRBROWSER_SEARCH_LABEL), margin, margin + labelShift, labelWidth, labelHeight);
    MoveControl(Item(IDC_DIRBROWSER_SEARCH), margin + labelWidth, margin, listRight - margin - labelWidth, editHeight);
    const int listLabelTop = margin + editHeight + gap;
    MoveControl(Item(IDC_DIRBROWSER_LIST_LABEL), margin, listLabelTop, listRight - margin, labelHeight);
    const int listTop = listLabelTop + labelHeight;
    const int statusTop = client.bottom - margin - statusHeight;
    const int listBottom = statusTop - gap;
    MoveControl(Item(IDC_DIRBROWSER_LIST), margin, listTop, listRight - margin, listBottom - listTop);
    // A client workstation's notice stands where the list would.
    MoveControl(Item(IDC_DIRBROWSER_REMOTE), margin + gap, listTop + gap, listRight - margin - 2 * gap,
                listBottom - listTop - 2 * gap);
    int top = listTop;
    for (const TSideButton& button : kSideButtons) {
        if (button.NewGroup) top += 2 * gap;
        MoveControl(Item(button.Control), buttonLeft, top, buttonWidth, buttonHeight);
        top += buttonHeight + gap / 2;
    }
    MoveControl(Item(IDCANCEL), buttonLeft, listBottom - buttonHeight, buttonWidth, buttonHeight);
    MoveControl(Item(IDC_DIRBROWSER_STATUS), margin, statusTop, client.right - 2 * margin, statusHeight);
}

void TDirectoryBrowserForm::ApplySource() {
    if (!FSource.Writes) FSource.Writes = FolderDirectoryWrites(FSource.AbonentPhoneDir);
    const bool remote = FSource.Remote;
    for (int id : kLocalOnlyControls) ::ShowWindow(Item(id), remote ? SW_HIDE : SW_SHOW);
    ::ShowWindow(Item(IDC_DIRBROWSER_REMOTE), remote ? SW_SHOW : SW_HIDE);
    if (remote) {
        ::SetDlgItemTextW(FHandle, IDC_DIRBROWSER_REMOTE,
                          FormatResourceText(IDS_DIRBROWSER_REMOTE, {FSource.ServerAddress}, Instance()).c_str());
        FAreaList.reset();
        FLoader.reset();
        FRows.clear();
        FShown.clear();
        FSearch.reset();
        ListView_SetItemCount(Item(IDC_DIRBROWSER_LIST), 0);
        ::SetDlgItemTextW(FHandle, IDC_DIRBROWSER_STATUS, L"");
        return;
    }
    // The region column reads the city codes on its own: the program's module is
    // open only while the recording server is connected.
    FAreaList = std::make_unique<TTQRDataModule>(FSource.CityCodesDir);
    try {
        FAreaList->Open();
    } catch (...) {
        FAreaList.reset();
    }
    StartLoading();
}

void TDirectoryBrowserForm::StartLoading() {
    if (SelectedRow()) FPendingSelection = SelectedRow()->phone;
    // A read still running for the former source is waited out and dropped.
    FLoader.reset();
    FLoader = std::make_unique<TDirectoryLoader>(FSource.AbonentPhoneDir, FSource.Dialling, FHandle,
                                                 WM_DIRECTORYLOADED);
    ::SetDlgItemTextW(FHandle, IDC_DIRBROWSER_STATUS, ResourceText(IDS_DIRBROWSER_READING).c_str());
}

void TDirectoryBrowserForm::OnLoaded() {
    // A message of a loader replaced since finds nothing, or the newer content ready early.
    if (!FLoader) return;
    std::optional<TDirectoryContent> content = FLoader->Take();
    if (!content) return;
    FLoader.reset();
    const std::wstring selected = std::move(FPendingSelection);
    FPendingSelection.clear();
    ShowContent(std::move(*content), selected);
}

void TDirectoryBrowserForm::Reload() {
    if (FSource.Remote) return;
    const std::wstring selected = SelectedRow() ? SelectedRow()->phone : FPendingSelection;
    FLoader.reset();
    FPendingSelection.clear();
    ShowContent(ReadDirectoryContent(FSource.AbonentPhoneDir, FSource.Dialling), selected);
}

void TDirectoryBrowserForm::ShowContent(TDirectoryContent content, const std::wstring& selected) {
    // The rows the list points into change: it forgets them first.
    FShown.clear();
    FRows = std::move(content.Rows);
    FSearch = std::move(content.Search);
    FReadError = std::move(content.ReadError);
    if (!FSearch) {
        ListView_SetItemCount(Item(IDC_DIRBROWSER_LIST), 0);
        UpdateStatus();
        UpdateButtons();
        return;
    }
    ApplyFilter();
    if (selected.empty()) return;
    for (size_t i = 0; i < FShown.size(); ++i)
        if (FRows[FShown[i]].phone == selected) return Select(static_cast<int>(i));
}

void TDirectoryBrowserForm::ApplyFilter() {
    if (!FSearch) return;
    const HWND list = Item(IDC_DIRBROWSER_LIST);
    FShown = FSearch->Find(WindowText(Item(IDC_DIRBROWSER_SEARCH)));
    Select(-1);
    ListView_SetItemCountEx(list, static_cast<int>(FShown.size()), LVSICF_NOSCROLL);
    Select(FShown.empty() ? -1 : 0);
    ::InvalidateRect(list, nullptr, TRUE);
    UpdateStatus();
    UpdateButtons();
}

void TDirectoryBrowserForm::Select(int index) {
    const HWND list = Item(IDC_DIRBROWSER_LIST);
    // Only the row that carries the state is cleared: clearing "every row", or
    // asking the list which row is selected, visits each of the (virtual) rows,
    // which makes a list of 100,000 slow to type in.
    if (FSelectedIndex >= 0) ListView_SetItemState(list, FSelectedIndex, 0, LVIS_SELECTED | LVIS_FOCUSED);
    FSelectedIndex = -1;
    if (index < 0) return;
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list, index, FALSE);
}

void TDirectoryBrowserForm::UpdateStatus() {
    std::wstring text;
    if (!FReadError.empty())
        text = FormatResourceText(IDS_DIRBROWSER_READ_FAILED, {FReadError}, Instance());
    else if (FShown.size() == FRows.size())
        text = FormatResourceText(IDS_DIRBROWSER_COUNT, {std::to_wstring(FRows.size())}, Instance());
    else
        text = FormatResourceText(IDS_DIRBROWSER_FOUND, {std::to_wstring(FShown.size()), std::to_wstring(FRows.size())},
                                  Instance());
    ::SetDlgItemTextW(FHandle, IDC_DIRBROWSER_STATUS, text.c_str());
}

void TDirectoryBrowserForm::UpdateButtons() {
    const BOOL selected = SelectedRow() ? TRUE : FALSE;
    ::EnableWindow(Item(IDC_DIRBROWSER_EDIT), selected);
    ::EnableWindow(Item(IDC_DIRBROWSER_DELETE), selected);
}

int TDirectoryBrowserForm::SelectedIndex() const {
    return FSelectedIndex >= 0 && static_cast<size_t>(FSelectedIndex) < FShown.size() ? FSelectedIndex : -1;
}

const DirectoryRow* TDirectoryBrowserForm::SelectedRow() const {
    const int index = SelectedIndex();
    if (index < 0 || static_cast<size_t>(index) >= FShown.size()) return nullptr;
    return &FRows[FShown[static_cast<size_t>(index)]];
}

TAddEditRowProc TDirectoryBrowserForm::SaveProc(bool normalizeNumber) const {
    // The save thread never touches the window: it posts, and a window gone by
    // then simply gets no message.
    return [writes = FSource.Writes, dialling = FSource.Dialling, window = FHandle, instance = Instance(),
            normalizeNumber](const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
        std::wstring number = phone;
        std::wstring reason;
        // A typed number is stored in the form an incoming call is looked up by;
        // an existing row keeps its key as it is.
        if (normalizeNumber && !NormalizeImportedNumber(phone, dialling, number, reason))
            throw AppError(FormatResourceText(IDS_DIRBROWSER_BAD_NUMBER, {phone, reason}, instance));
        writes->Put({number, name, comment});
        ::PostMessageW(window, WM_DIRECTORYCHANGED, 0, 0);
    };
}

void TDirectoryBrowserForm::AddButtonClick() {
    if (FSource.Remote) return;
    TEditorForm::OpenNew(Instance(), SaveProc(true), FSource.OnSaveFailed);
}

void TDirectoryBrowserForm::EditButtonClick() {
    const DirectoryRow* row = SelectedRow();
    if (!row) return;
    TEditorForm::Open(Instance(), row->phone, row->name, row->comment, false, SaveProc(false), FSource.OnSaveFailed);
}

void TDirectoryBrowserForm::DeleteButtonClick() {
    const DirectoryRow* row = SelectedRow();
    if (!row) return;
    const DirectoryRow doomed = *row;
    const std::wstring question =
        FormatResourceText(IDS_DIRBROWSER_CONFIRM_DELETE, {doomed.name, doomed.phone}, Instance());
    if (ShowMessage(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    try {
        FSource.Writes->Delete(doomed.phone);
    } catch (...) {
        ShowError(GetExceptionText(std::current_exception()));
    }
    // Also after a failure: what the files hold now is what the list shows.
    const int index = SelectedIndex();
    Reload();
    Select(std::min(index, static_cast<int>(FShown.size()) - 1));
    UpdateButtons();
}

void TDirectoryBrowserForm::ImportButtonClick() {
    const std::wstring path = AskFilePath(FHandle, Instance(), IDS_DIRBROWSER_FILTER_IMPORT, false);
    if (path.empty()) return;
    // The file is read by the preview's worker: a large one never holds this thread.
    TDirectoryImportForm::OpenFile(Instance(), FHandle, {FSource.AbonentPhoneDir, FSource.Writes}, FSource.Dialling, path,
                                   [window = FHandle](std::size_t written) {
                                       ::PostMessageW(window, WM_DIRECTORYCHANGED, 1, static_cast<LPARAM>(written));
                                   });
}

void TDirectoryBrowserForm::ExportButtonClick() {
    const std::wstring path = AskFilePath(FHandle, Instance(), IDS_DIRBROWSER_FILTER_EXPORT, true,
                                          LoadResourceString(IDS_DIRBROWSER_EXPORT_NAME, Instance()));
    if (path.empty()) return;
    // The files as they are now, not as the list last read them.
    const std::vector<DirectoryRow> rows = ReadDirectoryRows(FSource.AbonentPhoneDir);
    WriteFileBytes(path, ExportDirectoryCsv(rows));
    ::SetDlgItemTextW(FHandle, IDC_DIRBROWSER_STATUS,
                      FormatResourceText(IDS_DIRBROWSER_EXPORTED, {std::to_wstring(rows.size())}, Instance()).c_str());
}

std::wstring TDirectoryBrowserForm::RegionOf(const std::wstring& phone) {
    if (!FAreaList) return {};
    try {
        return FAreaList->CityByPhone(phone);
    } catch (...) {
        return {};
    }
}
