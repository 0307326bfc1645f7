#pragma once
#include "DialogBase.h"
#include "OpenWindows.h"
#include "SaveDataThreadUnit.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

// "Изменение данных абонента": a modeless dialog without owner that edits the
// name and comment of a caller and hands them to a background save. Several may
// be open at once; each lives on its own and frees itself when it closes
// (CloseAll closes every one without saving when the program ends). Its
// keyboard navigation needs the message loop to pass its messages through
// IsDialogMessage.
class TEditorForm final : public TDialogBase, public TOpenWindows<TEditorForm> {
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

    bool IsPreview() const { return FIsPreview; }

private:
    TEditorForm(HINSTANCE instance, bool isPreview, TAddEditRowProc addEditRow, TSaveFailedProc onFailed);
    ~TEditorForm() override = default;

    // Creates and shows the window; the object is deleted with it (or here, when it cannot be created).
    HWND Show();
    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void FormShow();
    void FormKeyEnter();
    void UpdateSaveButton();
    void AbonentNameLabeledEditChange() { UpdateSaveButton(); }
    void AbonentCommentMemoChange() { UpdateSaveButton(); }
    void SaveButtonClick();
    void CancelButtonClick() { Close(); }

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
