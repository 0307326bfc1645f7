#pragma once
#include "WindowBase.h"

#include <windows.h>

#include <span>
#include <string>

// A control's text from the string table.
struct TItemText {
    int Control;
    UINT Text;
};

// The base of the program's modeless dialogs: one call per kind of message,
// the window's caption and its one error box.
//
// The contract for a dialog class:
// - Make the object with new and call CreateSelfDeletingDialog: the object
//   lives exactly as long as its window and frees itself, and a window that
//   cannot be made is an AppError. For "one open at a time" or "close them all
//   when the program ends", derive from TOpenWindows<T> as well (OpenWindows.h).
// - WM_INITDIALOG sets the caption from captionId, then calls OnInit (Handle()
//   and Item() work from here on). OnInit returns true to let the dialog
//   manager focus the first tab stop, false when it set the focus itself.
// - WM_COMMAND calls OnCommand(id, code): code is the control's notification
//   (BN_CLICKED, EN_CHANGE...), 0 for a menu item. Enter and Escape arrive as
//   IDOK and IDCANCEL; nothing closes the dialog unless OnCommand says so.
// - WM_NOTIFY calls OnNotify; it returns true when it handled the notification
//   and puts the answer (a custom-draw stage's, for one) into result.
// - WM_SIZE calls OnSize; WM_CLOSE (the close box, Alt+F4) calls OnClose, which
//   closes the window unless overridden.
// - Every other message goes to OnMessage, which answers as a dialog procedure
//   does: TRUE when handled (DWLP_MSGRESULT may carry a result), FALSE for the
//   dialog manager's default.
// - An exception from any of these stops at the window's edge and is shown by
//   ShowError: a message box over the dialog, captioned with messageCaptionId
//   (the window's caption when 0), with errorIcon.
// - Keyboard navigation (Tab, Enter, Escape) needs the message loop to pass the
//   dialog's messages through IsDialogMessage (HandleDialogMessage does).
class TDialogBase : public TWindowBase {
public:
    // Destroys the window (a self-deleting object goes with it); nothing when
    // there is none.
    void Close();

protected:
    TDialogBase(HINSTANCE instance, UINT captionId, UINT messageCaptionId = 0, UINT errorIcon = MB_ICONWARNING);

    // The dialog from instance's template templateId, see above.
    HWND CreateSelfDeletingDialog(int templateId, HWND owner) {
        return TWindowBase::CreateSelfDeletingDialog(FInstance, templateId, owner);
    }

    virtual bool OnInit() = 0;
    virtual void OnCommand(int id, UINT code);
    virtual bool OnNotify(NMHDR& header, LRESULT& result);
    virtual void OnSize() {}
    virtual void OnClose() { Close(); }
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE Instance() const { return FInstance; }
    HWND Item(int id) const { return ::GetDlgItem(FHandle, id); }
    // A text of the string table of the dialog's module.
    std::wstring ResourceText(UINT id) const;
    void SetItemTexts(std::span<const TItemText> texts);
    // Pixels at 96 DPI in pixels at the window's DPI.
    int Scaled(int pixels) const;

    // The dialog's message box: its flags with MB_OK, the answer (IDYES...).
    int ShowMessage(const std::wstring& text, UINT flags) const;
    void ShowError(const std::wstring& text) const { ShowMessage(text, FErrorIcon); }
    void OnError(const std::wstring& text) override { ShowError(text); }

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) final;

    HINSTANCE FInstance;
    UINT FCaptionId;
    UINT FMessageCaptionId;
    UINT FErrorIcon;
};
