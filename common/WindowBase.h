#pragma once
#include <windows.h>

#include <string>

// The base of the program's windows. Its static procedures keep `this` in the
// window (taken from the creation parameter at WM_INITDIALOG or WM_NCCREATE),
// hand every message to HandleMessage, stop every exception at the edge (it
// becomes OnError's text) and, for windows that own themselves, delete the
// object once the window is gone and no message of it is being handled.
//
// Dialogs start from TDialogBase (DialogBase.h), which turns the messages into
// OnInit, OnCommand and OnNotify; plain windows (popups, hidden windows)
// override HandleMessage and call DefaultProc for the rest.
class TWindowBase {
public:
    TWindowBase(const TWindowBase&) = delete;
    TWindowBase& operator=(const TWindowBase&) = delete;

    HWND Handle() const { return FHandle; }

protected:
    TWindowBase() = default;
    virtual ~TWindowBase() = default;

    // A dialog from a template of `instance`; this object receives WM_INITDIALOG.
    HWND CreateDialogWindow(HINSTANCE instance, int templateId, HWND owner);
    // A window of a class whose procedure is WindowProc (RegisterWindowClass).
    HWND CreatePlainWindow(DWORD exStyle, const wchar_t* className, const wchar_t* caption, DWORD style, int left,
                           int top, int width, int height, HWND parent, HINSTANCE instance);
    static bool RegisterWindowClass(HINSTANCE instance, const wchar_t* className, UINT classStyle, HCURSOR cursor,
                                    HBRUSH background);

    // For an object made by new that is to live exactly as long as its window:
    // the same as above with DeleteWithWindow, except that when no window comes
    // of it the object is deleted here and AppError says why. After a throw
    // nothing of the object may be used.
    HWND CreateSelfDeletingDialog(HINSTANCE instance, int templateId, HWND owner);
    HWND CreateSelfDeletingWindow(DWORD exStyle, const wchar_t* className, const wchar_t* caption, DWORD style,
                                  int left, int top, int width, int height, HWND parent, HINSTANCE instance);

    // A dialog's answer: TRUE when handled (DWLP_MSGRESULT may carry a result),
    // FALSE for the dialog manager's default. A plain window's answer: the
    // message result; call DefaultProc for what it does not handle.
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // An exception that reached the window's edge, as text.
    virtual void OnError(const std::wstring& text) = 0;

    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
        return ::DefWindowProcW(FHandle, message, wParam, lParam);
    }
    // The object is deleted once its window is destroyed (after WM_NCDESTROY
    // has been handled and every message of it on the stack has returned).
    void DeleteWithWindow() { FDeleteWithWindow = true; }
    bool Destroyed() const { return FDestroyed; }

    HWND FHandle = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static TWindowBase* Attach(HWND window, TWindowBase* self);
    // The window, or (none made) the object deleted and the reason thrown;
    // `fallback` is the reason when the system gives none.
    HWND CreatedOrThrow(HWND window, DWORD fallback);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR onError);

    int FDispatchDepth = 0;
    bool FDestroyed = false;
    bool FCreating = false;
    bool FDeleteWithWindow = false;
};
