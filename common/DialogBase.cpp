#include "DialogBase.h"

#include "ResourceText.h"
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
        OnSize();
        return TRUE;
    case WM_CLOSE:
        OnClose();
        return TRUE;
    default:
        return OnMessage(message, wParam, lParam);
    }
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
