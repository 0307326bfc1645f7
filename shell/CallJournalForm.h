#pragma once
#include "CallJournal.h"
#include "DialogBase.h"
#include "OpenWindows.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

// "Журнал вызовов": the calls of the journal, newest first, in a virtual list
// (only the visible rows are ever asked for), missed calls in red, a search box
// that filters as the user types, the contact editor on double-click (and on
// Enter while calling back is off), "Перезвонить" on Enter and in the context
// menu, and "Копировать номер" there. One window at a time; it has no
// owner and frees itself when closed.
class TCallJournalForm final : public TDialogBase, public TOpenWindows<TCallJournalForm> {
public:
    using TOpenContact = std::function<void(const std::wstring& number)>;
    using TOpenCrm = std::function<void(const TCallRecord& call)>;

    // Opens the window with these records (newest first), or brings the open
    // one forward with them. Throws AppError when it cannot be created.
    static TCallJournalForm& Open(HINSTANCE instance, std::vector<TCallRecord> records, int maxCalls,
                                  TOpenContact openContact);
    // What "Открыть в CRM" of the context menu does; null leaves the item out.
    void SetOpenCrm(TOpenCrm openCrm) { FOpenCrm = std::move(openCrm); }
    // What "Перезвонить" of the context menu and Enter do; null leaves the item
    // out and Enter opens the contact, as a double click always does.
    void SetCallBack(TOpenCrm callBack) { FCallBack = std::move(callBack); }
    // Keeps a note typed in the journal with its call; false when it could not.
    // Null: the note box is read-only.
    using TSaveNote = std::function<bool(int64_t recordId, const std::wstring& note)>;
    void SetSaveNote(TSaveNote saveNote);
    // Writes the calls the list shows now (the search applied), in its order,
    // as a CSV file; false with the reason in error when the file cannot be written.
    bool ExportTo(const std::wstring& path, std::wstring& error) const;
    // How the search reads a typed number; the program's defaults until set.
    void SetDialling(TDiallingSettings dialling);

    // A call just recorded goes on top; the oldest beyond maxCalls drops out.
    void AddRecord(const TCallRecord& record);
    // The rows the list shows now, in order.
    const TCallRecord& Row(size_t index) const { return FRecords[FShown[index]]; }
    size_t RowCount() const { return FShown.size(); }

private:
    TCallJournalForm(HINSTANCE instance, std::vector<TCallRecord> records, int maxCalls, TOpenContact openContact);
    ~TCallJournalForm() override = default;

    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    bool OnNotify(NMHDR& header, LRESULT& result) override;
    void OnSize() override { LayoutControls(); }
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnGetDispInfo(NMLVDISPINFOW& info);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw);
    void OnContextMenu(HWND control, POINT at);

    void LayoutControls();
    void ApplyFilter();
    // Shows the records the search lets through; the call of this Id stays chosen.
    void ApplyFilter(int64_t selectedId);
    int64_t SelectedId() const;
    void ShowCount();
    int SelectedRow() const;
    void OpenSelectedContact();
    void CopySelectedNumber();
    void OpenSelectedCrmCard();
    void CallSelectedBack();
    void ExportClick();
    // The note box follows the chosen call; a changed note is kept first.
    void SelectionChanged();
    void SaveNote();
    void ShowNote();
    std::wstring CellText(const TCallRecord& record, int column) const;

    std::vector<TCallRecord> FRecords;  // newest first
    std::vector<size_t> FShown;         // indexes into FRecords that the filter lets through
    std::wstring FFilterText;
    TDiallingSettings FDialling;
    int FMaxCalls;
    TOpenContact FOpenContact;
    TOpenCrm FOpenCrm;
    TOpenCrm FCallBack;
    TSaveNote FSaveNote;
    int64_t FNoteId = 0;  // the call whose note the note box shows
    std::vector<std::wstring> FOutcomeTexts;
};
