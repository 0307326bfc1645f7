#pragma once
#include "WindowBase.h"

#include <windows.h>

#include <span>
#include <string>

// How a resizable dialog is sized, in pixels at 96 DPI (see MakeResizable).
struct TResizing {
    int Width = 0;  // the client area at first
    int Height = 0;
    int MinWidth = 0;  // the least client area
    int MinHeight = 0;
    // The name the window remembers its frame and column widths by, per Windows
    // user (WindowMemory.h); null: it always opens at its first size.
    const wchar_t* MemoryName = nullptr;
    // The list whose column widths are remembered and whose stretching column
    // takes the width the other columns leave; 0: none.
    int ListId = 0;
    int StretchColumn = -1;  // -1: the last
};

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
// - WM_SIZE calls OnSize, which lays the controls out. A dialog that calls
//   MakeResizable (at the end of OnInit, its list's columns made) also gets a
//   least size, a list column that takes the spare width, and, with a memory
//   name, the frame, maximised state and column widths of its last closing.
// - WM_CLOSE (the close box, Alt+F4) calls OnClose, which
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

    // Sizes the window and centres it, or gives it its remembered frame; then
    // lays it out. Its template needs WS_THICKFRAME (and WS_MAXIMIZEBOX).
    void MakeResizable(const TResizing& resizing);

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
    void Resized();
    SIZE MinimumFrame() const;
    HWND ResizingList() const;

    bool FResizable = false;
    TResizing FResizing;
    // The stretching column's width as designed, at the window's DPI: it never gets narrower.
    int FStretchLeast = 0;

    HINSTANCE FInstance;
    UINT FCaptionId;
    UINT FMessageCaptionId;
    UINT FErrorIcon;
};
