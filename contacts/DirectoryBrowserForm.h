#pragma once
#include "DialogBase.h"
#include "DirectoryBulk.h"
#include "DirectoryWrites.h"
#include "DirectoryLoader.h"
#include "KordavinUtils.h"
#include "OpenWindows.h"
#include "SaveDataThreadUnit.h"
#include "tqrUnit.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

// Where the directory window finds the subscriber directory, as the settings say.
struct TDirectorySource {
    // The folder the window reads (the SQL directory's replica when that is in use).
    std::wstring AbonentPhoneDir;
    std::wstring CityCodesDir;
    // A client workstation: the directory is the server's and cannot be listed here.
    bool Remote = false;
    std::wstring ServerAddress;
    TDiallingSettings Dialling;
    // Failed saves of the editors opened from the window, on the save thread.
    TSaveFailedProc OnSaveFailed;
    // Where its adds, edits, deletes and imports go; none: into AbonentPhoneDir.
    std::shared_ptr<IDirectoryWrites> Writes;
};

// "Справочник абонентов": every subscriber of the local directory files in a
// virtual list that a search box filters as the user types, with add, edit (the
// contact editor), delete, import, export and refresh. One window at a time; it
// frees itself when closed. Its keyboard navigation needs the message loop to
// pass its messages through IsDialogMessage.
class TDirectoryBrowserForm final : public TDialogBase, public TOpenWindows<TDirectoryBrowserForm> {
public:
    // Shows the window, or brings the open one to the front with the source
    // applied and the rows read again. Throws AppError when it cannot be created.
    static HWND Open(HINSTANCE instance, TDirectorySource source);
    // While the rows are read beside the window (it shows at once, and the list
    // fills when they are there).
    bool Loading() const { return FLoader != nullptr; }

private:
    TDirectoryBrowserForm(HINSTANCE instance, TDirectorySource source);
    ~TDirectoryBrowserForm() override = default;

    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    bool OnNotify(NMHDR& header, LRESULT& result) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnSize() override { LayoutControls(); }
    void LayoutControls();
    void OnGetDispInfo(NMLVDISPINFOW& info);

    void ApplySource();
    // Reads the rows beside the window; the selection stays on its number.
    void StartLoading();
    void OnLoaded();
    // Reads the rows from the files again at once; the selection stays on its number.
    void Reload();
    void ShowContent(TDirectoryContent content, const std::wstring& selected);
    void ApplyFilter();
    void UpdateStatus();
    void UpdateButtons();
    int SelectedIndex() const;
    const DirectoryRow* SelectedRow() const;
    void Select(int index);

    void SearchEditChange() { ApplyFilter(); }
    void AddButtonClick();
    void EditButtonClick();
    void DeleteButtonClick();
    void ImportButtonClick();
    void ExportButtonClick();
    void RefreshButtonClick() { Reload(); }

    // What a save from this window's editors does on its save thread.
    TAddEditRowProc SaveProc(bool normalizeNumber) const;
    std::wstring RegionOf(const std::wstring& phone);

    TDirectorySource FSource;
    // The city-code table of the region column; opened by this window.
    std::unique_ptr<TTQRDataModule> FAreaList;
    std::vector<DirectoryRow> FRows;
    std::unique_ptr<DirectorySearch> FSearch;
    // Indices into FRows of the rows the list shows, in order.
    std::vector<std::size_t> FShown;
    // The selected row of the single-selection list, kept from its notifications.
    int FSelectedIndex = -1;
    std::wstring FReadError;
    std::unique_ptr<TDirectoryLoader> FLoader;
    // The number to select once the rows being read are there.
    std::wstring FPendingSelection;
    // The list keeps the pointer of a display text until it asks again.
    std::wstring FDisplayText;
};
