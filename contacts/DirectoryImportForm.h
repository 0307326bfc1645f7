#pragma once
#include "ContactImport.h"
#include "DialogBase.h"
#include "DirectoryBulk.h"
#include "DirectoryWrites.h"
#include "ImportColumnChoice.h"
#include "ImportWorker.h"

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// "Импорт абонентов": the preview of a CSV or vCard file against the directory
// before anything is written. For a CSV file the user ticks the columns of the
// numbers (each its own row), of the name (joined in the order shown) and of
// the comment, picks the organisation's column and whether stored names are
// replaced; the window shows the first rows as they will be stored, the counts,
// and the rejected lines with their reasons. "Записать" stores everything in
// one transaction or nothing. Reading the file, the preview and the write run
// on a worker thread while the window shows their progress; "Отмена" stops
// them. The owner stays disabled while the window is open; it frees itself when
// closed.
class TDirectoryImportForm final : public TDialogBase {
public:
    // The directory the preview compares with (read as a folder) and where "Записать" writes.
    struct TTarget {
        // A folder written directly.
        TTarget(std::wstring folder) : Folder(folder), Writes(FolderDirectoryWrites(std::move(folder))) {}
        TTarget(std::wstring folder, std::shared_ptr<IDirectoryWrites> writes)
            : Folder(std::move(folder)), Writes(std::move(writes)) {}
        std::wstring Folder;
        std::shared_ptr<IDirectoryWrites> Writes;
    };

    // Told the number of rows written after a successful import.
    using TImportedProc = std::function<void(std::size_t written)>;

    // Opens the window over bytes already read. A file that is no text is told
    // by the window, which then closes. Throws AppError when the window cannot
    // be created.
    static HWND Open(HINSTANCE instance, HWND owner, TTarget target, TDiallingSettings dialling,
                     const std::wstring& fileName, const std::string& bytes, TImportedProc onImported);
    // The same, with the file read on the worker thread.
    static HWND OpenFile(HINSTANCE instance, HWND owner, TTarget target, TDiallingSettings dialling,
                         const std::wstring& path, TImportedProc onImported);

    // How many rows of the file the preview list shows.
    static constexpr int kPreviewRows = 100;

private:
    using TReadBytes = std::function<std::string()>;
    enum class TStep { None, Read, Preview, Write };
    // What a step produces: the worker's while the step runs, the window's
    // once the worker has finished it.
    struct TStepResult {
        ImportSource source;
        DirectorySnapshot directory;
        ImportPreview preview;
        std::size_t written = 0;
    };

    TDirectoryImportForm(HINSTANCE instance, HWND owner, TTarget target, TDiallingSettings dialling,
                         std::wstring fileName, TImportedProc onImported);
    ~TDirectoryImportForm() override;
    static HWND OpenWith(HINSTANCE instance, HWND owner, TTarget target, TDiallingSettings dialling,
                         const std::wstring& fileName, TReadBytes readBytes, TImportedProc onImported);

    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    bool OnNotify(NMHDR& header, LRESULT& result) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnClose() override { CloseToOwner(); }
    void OnStepDone();
    void OnStepFailed(TStep step, std::exception_ptr error);

    void LayoutControls();
    void FillColumnChoices();
    void FillColumnList(int listId, ImportPart part);
    std::wstring OfferText(const ColumnOffer& offer) const;
    std::vector<int> TickedColumns(int listId) const;
    CsvColumns ChosenColumns() const;
    ImportOptions Options() const;
    void StartStep(TStep step, TImportWorker::TStep work);
    void ShowBusy(bool busy);
    void ShowColumnNote();
    // Reads the file and compares it with the directory, on the worker.
    void StartRead(TReadBytes readBytes);
    // Takes the chosen columns again and compares with the directory, on the
    // worker; a change while that runs takes them again once it has ended.
    void BuildPreview();
    void ShowPreview();
    void ImportButtonClick();
    void CancelButtonClick();
    // Stops the step, gives the owner back its input and destroys the window.
    void CloseToOwner();

    HWND FOwner;
    TTarget FTarget;
    TDiallingSettings FDialling;
    std::wstring FFileName;
    TImportedProc FOnImported;
    // Read by a running step, changed by the window only between steps.
    ImportSource FSource;
    DirectorySnapshot FDirectory;
    ImportPreview FPreview;
    TStepResult FResult;
    TStep FStep = TStep::None;
    // The choice changed while a preview was being built.
    bool FPreviewAgain = false;
    // The lists are being filled: their check boxes change no choice.
    bool FFilling = false;
    std::unique_ptr<TImportWorker> FWorker;
};
