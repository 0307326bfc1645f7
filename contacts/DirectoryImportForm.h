#pragma once
#include "ContactImport.h"
#include "DirectoryBulk.h"
#include "WindowBase.h"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// "Импорт абонентов": the preview of a CSV or vCard file against the directory
// before anything is written. The user picks the columns of a CSV file and
// whether stored names are replaced; the window shows the first rows as they
// will be stored, the counts, and the rejected lines with their reasons.
// "Записать" stores everything in one transaction or nothing. The owner stays
// disabled while it is open; it frees itself when closed.
class TDirectoryImportForm final : public TWindowBase {
public:
    // Told the number of rows written after a successful import.
    using TImportedProc = std::function<void(std::size_t written)>;

    // Throws ContactImportError when the file is no text, AppError when the
    // window cannot be created.
    static HWND Open(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                     const std::wstring& fileName, const std::string& bytes, TImportedProc onImported);

    TDirectoryImportForm(const TDirectoryImportForm&) = delete;
    TDirectoryImportForm& operator=(const TDirectoryImportForm&) = delete;

    // How many rows of the file the preview list shows.
    static constexpr int kPreviewRows = 100;

private:
    TDirectoryImportForm(HINSTANCE instance, HWND owner, std::wstring folder, TDiallingSettings dialling,
                         TImportedProc onImported);
    ~TDirectoryImportForm() override = default;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnError(const std::wstring& text) override;
    void OnCommand(UINT id, UINT code);

    void FormCreate();
    void FillColumnChoices();
    CsvColumns ChosenColumns() const;
    // Reads the file with the chosen columns and compares it with the directory.
    void BuildPreview();
    void ShowPreview();
    void ImportButtonClick();
    void Close();
    HWND Item(int id) const { return ::GetDlgItem(FHandle, id); }

    HINSTANCE FInstance;
    HWND FOwner;
    std::wstring FFolder;
    TDiallingSettings FDialling;
    TImportedProc FOnImported;
    std::wstring FFileName;
    std::string FBytes;
    ImportSource FSource;
    // The first records of a CSV file, which name the column choices.
    std::vector<CsvRecord> FHeadRecords;
    DirectorySnapshot FDirectory;
    ImportPreview FPreview;
};
