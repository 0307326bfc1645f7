#pragma once
#include "ContactImport.h"
#include "DirectoryBulk.h"
#include "ImportWorker.h"
#include "WindowBase.h"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// "Импорт абонентов": the preview of a CSV or vCard file against the directory
// before anything is written. The user picks the columns of a CSV file and
// whether stored names are replaced; the window shows the first rows as they
// will be stored, the counts, and the rejected lines with their reasons.
// "Записать" stores everything in one transaction or nothing. Reading the file,
// the preview and the write run on a worker thread while the window shows
// their progress; "Отмена" stops them. The owner stays disabled while the
// window is open; it frees itself when closed.
class TDirectoryImportForm final : public TWindowBase {
public:
    // Told the number of rows written after a successful import.
    using TImportedProc = std::function<void(std::size_t written)>;

    // Opens the window over bytes already read. A file that is no text is told
    // by the window, which then closes. Throws AppError when the window cannot
    // be created.
    static HWND Open(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                     const std::wstring& fileName, const std::string& bytes, TImportedProc onImported);
    // The same, with the file read on the worker thread.
    static HWND OpenFile(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                         const std::wstring& path, TImportedProc onImported);

    TDirectoryImportForm(const TDirectoryImportForm&) = delete;
    TDirectoryImportForm& operator=(const TDirectoryImportForm&) = delete;

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

    TDirectoryImportForm(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                         TImportedProc onImported);
    ~TDirectoryImportForm() override;
    static HWND OpenWith(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                         const std::wstring& fileName, TReadBytes readBytes, TImportedProc onImported);

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnError(const std::wstring& text) override;
    void OnCommand(UINT id, UINT code);
    void OnStepDone();
    void OnStepFailed(TStep step, std::exception_ptr error);

    void FormCreate();
    void FillColumnChoices();
    CsvColumns ChosenColumns() const;
    ImportOptions Options() const;
    void StartStep(TStep step, TImportWorker::TStep work);
    void ShowBusy(bool busy);
    void ShowColumnNote();
    // Reads the file and compares it with the directory, on the worker.
    void StartRead(TReadBytes readBytes);
    // Takes the chosen columns again and compares with the directory, on the worker.
    void BuildPreview();
    void ShowPreview();
    void ImportButtonClick();
    void CancelButtonClick();
    void Close();
    int Message(const std::wstring& text);
    HWND Item(int id) const { return ::GetDlgItem(FHandle, id); }

    HINSTANCE FInstance;
    HWND FOwner;
    std::wstring FFolder;
    TDiallingSettings FDialling;
    TImportedProc FOnImported;
    std::wstring FFileName;
    // Read by a running step, changed by the window only between steps.
    ImportSource FSource;
    DirectorySnapshot FDirectory;
    ImportPreview FPreview;
    TStepResult FResult;
    TStep FStep = TStep::None;
    std::unique_ptr<TImportWorker> FWorker;
};
