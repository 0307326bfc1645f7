#include "CallJournalForm.h"

#include "CallJournalRes.h"
#include "ClipboardText.h"
#include "ExceptionText.h"
#include "FileBytes.h"
#include "FileDialog.h"
#include "JournalCsv.h"
#include "TextTrim.h"
#include "CrmLink.h"
#include "ListColumns.h"
#include "ResourceText.h"
#include "UniqueHandle.h"
#include "WindowPlacement.h"
#include "WindowText.h"

#include <windowsx.h>

#include <algorithm>

namespace {

// Pixel sizes at 96 DPI, scaled to the window's DPI.
constexpr int kClientWidth = 800;
constexpr int kClientHeight = 460;
constexpr int kMinWidth = 420;
constexpr int kMinHeight = 240;
constexpr int kMargin = 8;
constexpr int kSearchTop = 8;
constexpr int kSearchHeight = 22;
constexpr int kSearchLabelWidth = 48;
constexpr int kSearchWidth = 260;
constexpr int kCountHeight = 18;
constexpr int kExportWidth = 120;
constexpr int kNoteLabelWidth = 64;

enum Column { kTime, kChannel, kNumber, kName, kRegion, kOutcome, kDuration, kNote, kColumnCount };

// Together a little narrower than the list, so that no scroll bar is needed at first.
constexpr TListColumn kColumns[kColumnCount] = {
    {IDS_JOURNAL_COL_TIME, 125, LVCFMT_LEFT},     {IDS_JOURNAL_COL_CHANNEL, 75, LVCFMT_LEFT},
    {IDS_JOURNAL_COL_NUMBER, 105, LVCFMT_LEFT},   {IDS_JOURNAL_COL_NAME, 170, LVCFMT_LEFT},
    {IDS_JOURNAL_COL_REGION, 115, LVCFMT_LEFT},   {IDS_JOURNAL_COL_OUTCOME, 90, LVCFMT_LEFT},
    {IDS_JOURNAL_COL_DURATION, 85, LVCFMT_RIGHT}, {IDS_JOURNAL_COL_NOTE, 160, LVCFMT_LEFT},
};

// Missed calls stand out in the list.
constexpr COLORREF kMissedText = RGB(176, 0, 0);
constexpr COLORREF kMissedBackground = RGB(255, 228, 228);

}  // namespace

TCallJournalForm::TCallJournalForm(HINSTANCE instance, std::vector<TCallRecord> records, int maxCalls,
                                   TOpenContact openContact)
    : TDialogBase(instance, IDS_JOURNAL_CAPTION),
      FRecords(std::move(records)),
      FMaxCalls(maxCalls),
      FOpenContact(std::move(openContact)) {}

TCallJournalForm& TCallJournalForm::Open(HINSTANCE instance, std::vector<TCallRecord> records, int maxCalls,
                                         TOpenContact openContact) {
    if (TCallJournalForm* open = BringForward()) {
        const int64_t selectedId = open->SelectedId();
        open->FRecords = std::move(records);
        open->FMaxCalls = maxCalls;
        open->FOpenContact = std::move(openContact);
        open->ApplyFilter(selectedId);
        return *open;
    }
    auto* form = new TCallJournalForm(instance, std::move(records), maxCalls, std::move(openContact));
    // No owner: the journal stays up while the (hidden) main window is not.
    form->CreateSelfDeletingDialog(IDD_CALLJOURNAL, nullptr);
    BringWindowForward(form->FHandle);
    ::SetFocus(form->Item(IDC_JOURNAL_SEARCH));
    return *form;
}

INT_PTR TCallJournalForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) != Item(IDC_JOURNAL_LIST)) return FALSE;
        OnContextMenu(reinterpret_cast<HWND>(wParam), {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return TRUE;
    default:
        return FALSE;
    }
}

bool TCallJournalForm::OnInit() {
    for (UINT id : {IDS_JOURNAL_ANSWERED, IDS_JOURNAL_MISSED, IDS_JOURNAL_NOCONVERSATION, IDS_JOURNAL_INTERRUPTED})
        FOutcomeTexts.push_back(ResourceText(id));
    // The cue text says what the search box looks in.
    ::SetDlgItemTextW(FHandle, IDC_JOURNAL_SEARCH_LABEL, ResourceText(IDS_JOURNAL_SEARCH).c_str());
    ::SetDlgItemTextW(FHandle, IDC_JOURNAL_LIST_LABEL, ResourceText(IDS_JOURNAL_LIST_LABEL).c_str());
    ::SendMessageW(Item(IDC_JOURNAL_SEARCH), EM_SETCUEBANNER, TRUE,
                   reinterpret_cast<LPARAM>(ResourceText(IDS_JOURNAL_SEARCH_CUE).c_str()));
    ::SetDlgItemTextW(FHandle, IDC_JOURNAL_EXPORT, ResourceText(IDS_JOURNAL_EXPORT).c_str());
    ::SetDlgItemTextW(FHandle, IDC_JOURNAL_NOTE_LABEL, ResourceText(IDS_JOURNAL_NOTE_LABEL).c_str());
    ::SendMessageW(Item(IDC_JOURNAL_NOTE), EM_SETCUEBANNER, TRUE,
                   reinterpret_cast<LPARAM>(ResourceText(IDS_JOURNAL_NOTE_CUE).c_str()));
    ::SendMessageW(Item(IDC_JOURNAL_NOTE), EM_LIMITTEXT, 2000, 0);

    const HWND list = Item(IDC_JOURNAL_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    AddListColumns(list, kColumns, Instance());
    // The name column takes the width a wider window gives.
    MakeResizable({kClientWidth, kClientHeight, kMinWidth, kMinHeight, L"CallJournal", IDC_JOURNAL_LIST, kName});
    ApplyFilter();
    return false;
}

void TCallJournalForm::LayoutControls() {
    if (!FHandle) return;
    RECT client{};
    ::GetClientRect(FHandle, &client);
    const int margin = Scaled(kMargin);
    const int searchTop = Scaled(kSearchTop);
    const int searchHeight = Scaled(kSearchHeight);
    const int labelWidth = Scaled(kSearchLabelWidth);
    MoveControl(Item(IDC_JOURNAL_SEARCH_LABEL), margin, searchTop + Scaled(4), labelWidth, searchHeight - Scaled(4));
    // The search box gives way to the export button in a narrow window.
    const int exportLeft = client.right - margin - Scaled(kExportWidth);
    MoveControl(Item(IDC_JOURNAL_SEARCH), margin + labelWidth, searchTop,
                std::max(0, std::min(Scaled(kSearchWidth), exportLeft - margin - (margin + labelWidth))), searchHeight);
    const int countHeight = Scaled(kCountHeight);
    // The list's own label, for screen readers and Alt+В.
    const int listLabelTop = searchTop + searchHeight + margin;
    const int listLabelHeight = countHeight - Scaled(3);
    MoveControl(Item(IDC_JOURNAL_LIST_LABEL), margin, listLabelTop, client.right - 2 * margin, listLabelHeight);
    const int listTop = listLabelTop + listLabelHeight;
    const int noteTop = client.bottom - margin - countHeight - searchHeight - Scaled(4);
    const int listBottom = noteTop - Scaled(4);
    MoveControl(Item(IDC_JOURNAL_LIST), margin, listTop, client.right - 2 * margin, listBottom - listTop);
    const int noteLabelWidth = Scaled(kNoteLabelWidth);
    MoveControl(Item(IDC_JOURNAL_NOTE_LABEL), margin, noteTop + Scaled(4), noteLabelWidth, searchHeight - Scaled(4));
    MoveControl(Item(IDC_JOURNAL_NOTE), margin + noteLabelWidth, noteTop,
                client.right - 2 * margin - noteLabelWidth, searchHeight);
    const int countTop = client.bottom - margin - countHeight;
    MoveControl(Item(IDC_JOURNAL_COUNT), margin, countTop + Scaled(3), client.right - 2 * margin,
                countHeight - Scaled(3));
    MoveControl(Item(IDC_JOURNAL_EXPORT), exportLeft, searchTop - Scaled(1), Scaled(kExportWidth),
                searchHeight + Scaled(2));
}

void TCallJournalForm::OnCommand(int id, UINT code) {
    switch (id) {
    case IDC_JOURNAL_SEARCH:
        if (code == EN_CHANGE) ApplyFilter();
        break;
    case IDOK:
        // Enter in the note box keeps the note; in the search box or the list
        // the chosen caller is called back, or, without calling back, the contact opens.
        if (::GetFocus() == Item(IDC_JOURNAL_NOTE)) SaveNote();
        else if (FCallBack) CallSelectedBack();
        else OpenSelectedContact();
        break;
    case IDCANCEL:
        SaveNote();
        Close();
        break;
    case IDC_JOURNAL_EXPORT:
        if (code == BN_CLICKED) ExportClick();
        break;
    case IDM_JOURNAL_COPYNUMBER:
        CopySelectedNumber();
        break;
    case IDM_JOURNAL_OPENCRM:
        OpenSelectedCrmCard();
        break;
    case IDM_JOURNAL_CALLBACK:
        CallSelectedBack();
        break;
    case IDM_JOURNAL_EDITCONTACT:
        OpenSelectedContact();
        break;
    default:
        break;
    }
}

bool TCallJournalForm::OnNotify(NMHDR& header, LRESULT& result) {
    if (header.idFrom != IDC_JOURNAL_LIST) return false;
    switch (header.code) {
    case NM_CUSTOMDRAW:
        result = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(header));
        return true;
    case LVN_GETDISPINFOW:
        OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW&>(header));
        return true;
    case LVN_ITEMACTIVATE:
        OpenSelectedContact();
        return true;
    case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (change.uChanged & LVIF_STATE) SelectionChanged();
        return true;
    }
    default:
        return false;
    }
}

std::wstring TCallJournalForm::CellText(const TCallRecord& record, int column) const {
    switch (column) {
    case kTime: return JournalTimeText(record.StartTime);
    case kChannel: return record.Channel;
    case kNumber: return record.Caller.Number;
    case kName: return record.Caller.Name;
    case kRegion: return record.Caller.Region;
    case kOutcome: {
        const auto index = static_cast<size_t>(record.Outcome);
        return index < FOutcomeTexts.size() ? FOutcomeTexts[index] : std::wstring();
    }
    case kDuration:
        return record.Outcome == TCallOutcome::Answered || record.DurationSeconds > 0
                   ? JournalDurationText(record.DurationSeconds)
                   : std::wstring();
    case kNote: return SingleLineText(record.Note);
    default: return {};
    }
}

void TCallJournalForm::OnGetDispInfo(NMLVDISPINFOW& info) {
    if (!(info.item.mask & LVIF_TEXT) || !info.item.pszText || info.item.cchTextMax <= 0) return;
    const auto index = static_cast<size_t>(info.item.iItem);
    info.item.pszText[0] = L'\0';
    if (info.item.iItem < 0 || index >= FShown.size()) return;
    SetDispInfoText(info.item, CellText(Row(index), info.item.iSubItem));
}

LRESULT TCallJournalForm::OnCustomDraw(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        const auto index = static_cast<size_t>(draw.nmcd.dwItemSpec);
        if (index < FShown.size() && Row(index).Outcome == TCallOutcome::Missed) {
            draw.clrText = kMissedText;
            draw.clrTextBk = kMissedBackground;
            return CDRF_NEWFONT;
        }
        return CDRF_DODEFAULT;
    }
    default: return CDRF_DODEFAULT;
    }
}

int64_t TCallJournalForm::SelectedId() const {
    const int selected = SelectedRow();
    return selected >= 0 ? Row(static_cast<size_t>(selected)).Id : 0;
}

void TCallJournalForm::ApplyFilter() { ApplyFilter(SelectedId()); }

void TCallJournalForm::SetDialling(TDiallingSettings dialling) {
    FDialling = std::move(dialling);
    // Only typed text reads differently; an empty search need not walk the calls again.
    if (FHandle && ::GetWindowTextLengthW(Item(IDC_JOURNAL_SEARCH)) > 0) ApplyFilter();
}

void TCallJournalForm::ApplyFilter(int64_t selectedId) {
    if (!FHandle) return;
    const HWND list = Item(IDC_JOURNAL_LIST);
    const TJournalFilter filter(WindowText(Item(IDC_JOURNAL_SEARCH)), FDialling);
    FShown.clear();
    FShown.reserve(FRecords.size());
    for (size_t i = 0; i < FRecords.size(); ++i)
        if (filter.Matches(FRecords[i])) FShown.push_back(i);
    ListView_SetItemCountEx(list, static_cast<int>(FShown.size()), 0);
    // The call chosen before stays chosen when the filter keeps it; otherwise the
    // newest match is, so that Enter right after typing opens it.
    int select = FShown.empty() ? -1 : 0;
    for (size_t i = 0; selectedId != 0 && i < FShown.size(); ++i)
        if (Row(i).Id == selectedId) select = static_cast<int>(i);
    // A single-selection list moves the choice by itself; clearing every row
    // first would visit all 10,000 of them.
    if (select >= 0) {
        ListView_SetItemState(list, select, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, select, FALSE);
    }
    ::InvalidateRect(list, nullptr, FALSE);
    ShowCount();
    SelectionChanged();
}

void TCallJournalForm::ShowCount() {
    const std::wstring text =
        FShown.size() == FRecords.size()
            ? FormatResourceString(IDS_JOURNAL_COUNT, std::to_wstring(FRecords.size()))
            : FormatResourceString(IDS_JOURNAL_FOUND,
                                   std::to_wstring(FShown.size()) + L" / " + std::to_wstring(FRecords.size()));
    ::SetDlgItemTextW(FHandle, IDC_JOURNAL_COUNT, text.c_str());
}

void TCallJournalForm::AddRecord(const TCallRecord& record) {
    // The rows point into the records: the choice is taken before they change.
    const int64_t selectedId = SelectedId();
    FRecords.insert(FRecords.begin(), record);
    if (FMaxCalls > 0 && FRecords.size() > static_cast<size_t>(FMaxCalls)) FRecords.resize(static_cast<size_t>(FMaxCalls));
    ApplyFilter(selectedId);
}

int TCallJournalForm::SelectedRow() const {
    const int row = ListView_GetNextItem(Item(IDC_JOURNAL_LIST), -1, LVNI_SELECTED);
    return row >= 0 && static_cast<size_t>(row) < FShown.size() ? row : -1;
}

void TCallJournalForm::OpenSelectedContact() {
    const int row = SelectedRow();
    // A withheld number has no contact to edit.
    if (row < 0 || !FOpenContact) return;
    const std::wstring number = Row(static_cast<size_t>(row)).Caller.Number;
    if (!number.empty()) FOpenContact(number);
}

void TCallJournalForm::CopySelectedNumber() {
    const int row = SelectedRow();
    if (row >= 0) PutClipboardText(FHandle, Row(static_cast<size_t>(row)).Caller.Number);
}

void TCallJournalForm::OpenSelectedCrmCard() {
    const int row = SelectedRow();
    // A withheld number has no card.
    if (row < 0 || !FOpenCrm) return;
    const TCallRecord& call = Row(static_cast<size_t>(row));
    if (!call.Caller.Number.empty()) FOpenCrm(call);
}

void TCallJournalForm::CallSelectedBack() {
    const int row = SelectedRow();
    if (row < 0 || !FCallBack) return;
    const TCallRecord& call = Row(static_cast<size_t>(row));
    if (HasCallNumber(call.Caller.Number)) FCallBack(call);
}

void TCallJournalForm::SetSaveNote(TSaveNote saveNote) {
    FSaveNote = std::move(saveNote);
    ShowNote();
}

void TCallJournalForm::SelectionChanged() {
    if (!FHandle || SelectedId() == FNoteId) return;
    SaveNote();
    ShowNote();
}

void TCallJournalForm::ShowNote() {
    if (!FHandle) return;
    const int row = SelectedRow();
    FNoteId = row >= 0 ? Row(static_cast<size_t>(row)).Id : 0;
    const HWND note = Item(IDC_JOURNAL_NOTE);
    ::SetWindowTextW(note, row >= 0 ? Row(static_cast<size_t>(row)).Note.c_str() : L"");
    ::SendMessageW(note, EM_SETMODIFY, FALSE, 0);
    ::SendMessageW(note, EM_SETREADONLY, !(FSaveNote && FNoteId != 0), 0);
}

void TCallJournalForm::SaveNote() {
    const HWND note = Item(IDC_JOURNAL_NOTE);
    if (!FSaveNote || FNoteId == 0 || !::SendMessageW(note, EM_GETMODIFY, 0, 0)) return;
    const std::wstring text = WindowText(note);
    ::SendMessageW(note, EM_SETMODIFY, FALSE, 0);
    if (!FSaveNote(FNoteId, text)) return;
    for (TCallRecord& record : FRecords)
        if (record.Id == FNoteId) record.Note = text;
    ::InvalidateRect(Item(IDC_JOURNAL_LIST), nullptr, FALSE);
}

bool TCallJournalForm::ExportTo(const std::wstring& path, std::wstring& error) const {
    TJournalCsvTexts texts;
    for (const TListColumn& column : kColumns) texts.Headers.push_back(ResourceText(column.Title));
    texts.Outcomes = FOutcomeTexts;
    std::vector<const TCallRecord*> shown;
    shown.reserve(FShown.size());
    for (size_t i = 0; i < FShown.size(); ++i) shown.push_back(&Row(i));
    try {
        WriteFileBytes(path, JournalCsv(shown, texts, UserDateTimeText));
        return true;
    } catch (...) {
        error = GetExceptionText(std::current_exception());
        return false;
    }
}

void TCallJournalForm::ExportClick() {
    SaveNote();
    const std::wstring path =
        AskFilePath(FHandle, Instance(), IDS_JOURNAL_EXPORT_FILTER, true, ResourceText(IDS_JOURNAL_EXPORT_NAME));
    if (path.empty()) return;
    std::wstring error;
    if (!ExportTo(path, error))
        ::MessageBoxW(FHandle, FormatResourceString(IDS_JOURNAL_EXPORT_FAILED, error).c_str(),
                      ResourceText(IDS_JOURNAL_CAPTION).c_str(), MB_OK | MB_ICONERROR);
}

void TCallJournalForm::OnContextMenu(HWND control, POINT at) {
    if (at.x == -1 && at.y == -1) {
        // The menu key: the menu goes beside the chosen row.
        RECT bounds{};
        const int row = SelectedRow();
        if (row < 0 || !ListView_GetItemRect(control, row, &bounds, LVIR_LABEL)) ::GetClientRect(control, &bounds);
        at = {bounds.left, bounds.bottom};
        ::ClientToScreen(control, &at);
    } else {
        LVHITTESTINFO hit{};
        hit.pt = at;
        ::ScreenToClient(control, &hit.pt);
        const int row = ListView_HitTest(control, &hit);
        if (row < 0) return;
        ListView_SetItemState(control, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    const int row = SelectedRow();
    if (row < 0) return;
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    const bool hasNumber = !Row(static_cast<size_t>(row)).Caller.Number.empty();
    if (FCallBack) {
        // First: what Enter does.
        ::AppendMenuW(menu.get(),
                      MF_STRING | (HasCallNumber(Row(static_cast<size_t>(row)).Caller.Number) ? MF_ENABLED : MF_GRAYED),
                      IDM_JOURNAL_CALLBACK, ResourceText(IDS_JOURNAL_CALLBACK).c_str());
        ::SetMenuDefaultItem(menu.get(), IDM_JOURNAL_CALLBACK, FALSE);
        ::AppendMenuW(menu.get(), MF_STRING | (hasNumber ? MF_ENABLED : MF_GRAYED), IDM_JOURNAL_EDITCONTACT,
                      ResourceText(IDS_JOURNAL_EDITCONTACT).c_str());
    }
    ::AppendMenuW(menu.get(), MF_STRING | (hasNumber ? MF_ENABLED : MF_GRAYED), IDM_JOURNAL_COPYNUMBER,
                  ResourceText(IDS_JOURNAL_COPYNUMBER).c_str());
    if (FOpenCrm)
        ::AppendMenuW(menu.get(), MF_STRING | (hasNumber ? MF_ENABLED : MF_GRAYED), IDM_JOURNAL_OPENCRM,
                      ResourceText(IDS_JOURNAL_OPENCRM).c_str());
    // The chosen item arrives as WM_COMMAND, as from any menu.
    ::TrackPopupMenu(menu.get(), TPM_RIGHTBUTTON, at.x, at.y, 0, FHandle, nullptr);
}
