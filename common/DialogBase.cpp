#include "DialogBase.h"

#include "ListColumns.h"
#include "ResourceText.h"
#include "WindowMemory.h"
#include "WindowPlacement.h"

TDialogBase::TDialogBase(HINSTANCE instance, UINT captionId, UINT messageCaptionId, UINT errorIcon)
    : FInstance(instance),
      FCaptionId(captionId),
      FMessageCaptionId(messageCaptionId ? messageCaptionId : captionId),
      FErrorIcon(errorIcon) {}

void TDialogBase::Close() {
    if (FHandle) ::DestroyWindow(FHandle);
}

INT_PTR TDialogBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        ::SetWindowTextW(FHandle, ResourceText(FCaptionId).c_str());
        return OnInit() ? TRUE : FALSE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(*reinterpret_cast<NMHDR*>(lParam), result)) return FALSE;
        ::SetWindowLongPtrW(FHandle, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_SIZE:
        Resized();
        return TRUE;
    case WM_GETMINMAXINFO:
        if (!FResizable) return OnMessage(message, wParam, lParam);
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {MinimumFrame().cx, MinimumFrame().cy};
        return TRUE;
    case WM_DESTROY:
        if (FResizable && FResizing.MemoryName)
            SaveWindowMemory(FResizing.MemoryName, CaptureWindowMemory(FHandle, ResizingList()));
        return OnMessage(message, wParam, lParam);
    case WM_CLOSE:
        OnClose();
        return TRUE;
    default:
        return OnMessage(message, wParam, lParam);
    }
}

void TDialogBase::MakeResizable(const TResizing& resizing) {
    FResizing = resizing;
    const HWND list = ResizingList();
    if (list) {
        const int columns = Header_GetItemCount(ListView_GetHeader(list));
        if (FResizing.StretchColumn < 0) FResizing.StretchColumn = columns - 1;
        FStretchLeast = ListView_GetColumnWidth(list, FResizing.StretchColumn);
    }
    FResizable = true;
    SizeClientAndCentre(FHandle, FResizing.Width, FResizing.Height);
    if (FResizing.MemoryName)
        if (const auto memory = LoadWindowMemory(FResizing.MemoryName))
            ApplyWindowMemory(FHandle, list, *memory, MinimumFrame());
    Resized();
}

void TDialogBase::Resized() {
    OnSize();
    if (FResizable && ResizingList() && FResizing.StretchColumn >= 0)
        StretchListColumn(ResizingList(), FResizing.StretchColumn, FStretchLeast);
}

HWND TDialogBase::ResizingList() const { return FResizing.ListId ? Item(FResizing.ListId) : nullptr; }

SIZE TDialogBase::MinimumFrame() const {
    RECT frame{0, 0, Scaled(FResizing.MinWidth), Scaled(FResizing.MinHeight)};
    ::AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_STYLE)), FALSE,
                               static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_EXSTYLE)), ::GetDpiForWindow(FHandle));
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void TDialogBase::OnCommand(int, UINT) {}

bool TDialogBase::OnNotify(NMHDR&, LRESULT&) { return false; }

INT_PTR TDialogBase::OnMessage(UINT, WPARAM, LPARAM) { return FALSE; }

std::wstring TDialogBase::ResourceText(UINT id) const { return LoadResourceString(id, FInstance); }

void TDialogBase::SetItemTexts(std::span<const TItemText> texts) {
    for (const TItemText& text : texts) ::SetDlgItemTextW(FHandle, text.Control, ResourceText(text.Text).c_str());
}

int TDialogBase::Scaled(int pixels) const { return ScaleToWindowDpi(FHandle, pixels); }

int TDialogBase::ShowMessage(const std::wstring& text, UINT flags) const {
    return ::MessageBoxW(FHandle, text.c_str(), ResourceText(FMessageCaptionId).c_str(), MB_OK | flags);
}
