#include "WindowBase.h"

#include "AppError.h"
#include "ExceptionText.h"
#include "TextConvert.h"

HWND TWindowBase::CreateDialogWindow(HINSTANCE instance, int templateId, HWND owner) {
    FCreating = true;
    const HWND window = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), owner, DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    FCreating = false;
    return window;
}

HWND TWindowBase::CreatePlainWindow(DWORD exStyle, const wchar_t* className, const wchar_t* caption, DWORD style,
                                    int left, int top, int width, int height, HWND parent, HINSTANCE instance) {
    FCreating = true;
    const HWND window = ::CreateWindowExW(exStyle, className, caption, style, left, top, width, height, parent,
                                          nullptr, instance, this);
    FCreating = false;
    return window;
}

HWND TWindowBase::CreateSelfDeletingDialog(HINSTANCE instance, int templateId, HWND owner) {
    DeleteWithWindow();
    // Without a code the template was not found (or WM_INITDIALOG ended it).
    return CreatedOrThrow(CreateDialogWindow(instance, templateId, owner), ERROR_RESOURCE_NAME_NOT_FOUND);
}

HWND TWindowBase::CreateSelfDeletingWindow(DWORD exStyle, const wchar_t* className, const wchar_t* caption,
                                           DWORD style, int left, int top, int width, int height, HWND parent,
                                           HINSTANCE instance) {
    DeleteWithWindow();
    // Without a code WM_NCCREATE or WM_CREATE refused the window.
    return CreatedOrThrow(
        CreatePlainWindow(exStyle, className, caption, style, left, top, width, height, parent, instance),
        ERROR_INVALID_WINDOW_HANDLE);
}

HWND TWindowBase::CreatedOrThrow(HWND window, DWORD fallback) {
    if (window) return window;
    const DWORD error = ::GetLastError();
    // No window took the object over; a failed creation has already sent
    // WM_NCDESTROY if it got that far, and the base left the deleting to us.
    delete this;
    throw AppError(SystemErrorText(error ? error : fallback));
}

bool TWindowBase::RegisterWindowClass(HINSTANCE instance, const wchar_t* className, UINT classStyle, HCURSOR cursor,
                                      HBRUSH background) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (::GetClassInfoExW(instance, className, &windowClass)) return true;
    windowClass = WNDCLASSEXW{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = className;
    return ::RegisterClassExW(&windowClass) != 0;
}

TWindowBase* TWindowBase::Attach(HWND window, TWindowBase* self) {
    self->FHandle = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return self;
}

INT_PTR CALLBACK TWindowBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = message == WM_INITDIALOG
                     ? Attach(window, reinterpret_cast<TWindowBase*>(lParam))
                     : reinterpret_cast<TWindowBase*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return FALSE;
    return self->Dispatch(message, wParam, lParam, TRUE);
}

LRESULT CALLBACK TWindowBase::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = message == WM_NCCREATE
                     ? Attach(window, static_cast<TWindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams))
                     : reinterpret_cast<TWindowBase*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->Dispatch(message, wParam, lParam, 0);
}

INT_PTR TWindowBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR onError) {
    ++FDispatchDepth;
    INT_PTR result = onError;
    // Errors never leave a window procedure.
    try {
        result = HandleMessage(message, wParam, lParam);
    } catch (...) {
        try {
            OnError(GetExceptionText(std::current_exception()));
        } catch (...) {
        }
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
        FHandle = nullptr;
        FDestroyed = true;
    }
    // A window destroyed during its own creation is deleted by its creator,
    // which sees the failed creation.
    if (--FDispatchDepth == 0 && FDestroyed && FDeleteWithWindow && !FCreating) delete this;
    return result;
}
