#pragma once
#include "SaveDataThreadUnit.h"
#include "UniqueHandle.h"
#include "WindowBase.h"

#include <windows.h>

#include <string>

// "Изменение данных абонента": a modeless dialog without owner that edits the
// name and comment of a caller and hands them to a background save. Several may
// be open at once; each lives on its own and frees itself when it closes. Its
// keyboard navigation needs the message loop to pass its messages through
// IsDialogMessage.
class TEditorForm final : public TWindowBase {
public:
    // Creates, fills and shows an editor (the template comes from instance's
    // resources). addEditRow stores the record, and a failed save goes to
    // onFailed; in the preview, or without addEditRow, Save stores nothing.
    // Throws AppError when the dialog cannot be created. The handle is valid
    // until the editor closes.
    static HWND Open(HINSTANCE instance, const std::wstring& number, const std::wstring& name,
                     const std::wstring& comment, bool isPreview, TAddEditRowProc addEditRow,
                     TSaveFailedProc onFailed = {});

    // An editor for a new subscriber: the number is typed in too, and Save
    // waits for both a number and a name.
    static HWND OpenNew(HINSTANCE instance, TAddEditRowProc addEditRow, TSaveFailedProc onFailed = {});

    // Closes every open editor without saving (the program is ending): none is
    // left to start a save from a message still queued. User-interface thread only.
    static void CloseAll();

    TEditorForm(const TEditorForm&) = delete;
    TEditorForm& operator=(const TEditorForm&) = delete;

    bool IsPreview() const { return FIsPreview; }

private:
    TEditorForm(HINSTANCE instance, bool isPreview, TAddEditRowProc addEditRow, TSaveFailedProc onFailed);
    ~TEditorForm() override = default;

    // Creates and shows the window; the object is deleted with it (or here, when it cannot be created).
    HWND Show();
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnError(const std::wstring& text) override { ShowError(text); }
    void OnCommand(UINT id, UINT code);
    void ShowError(const std::wstring& text);

    void FormCreate();
    void FormShow();
    void FormKeyEnter();
    void UpdateSaveButton();
    void AbonentNameLabeledEditChange() { UpdateSaveButton(); }
    void AbonentCommentMemoChange() { UpdateSaveButton(); }
    void SaveButtonClick();
    void CancelButtonClick() { Close(); }
    void Close();
    void CenterOnDesktop();
    HWND Item(int id) const { return ::GetDlgItem(FHandle, id); }

    HINSTANCE FInstance;
    bool FIsPreview = false;
    bool FNumberEditable = false;
    TAddEditRowProc FAddEditRow;
    TSaveFailedProc FOnFailed;
    UniqueGdiObject FFont;
    // Texts set before the window is shown.
    std::wstring FNumber;
    std::wstring FName;
    std::wstring FComment;
};
