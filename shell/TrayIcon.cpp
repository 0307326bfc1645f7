#include "TrayIcon.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cwchar>

namespace {
void CopyText(wchar_t* target, size_t capacity, const std::wstring& text) {
    std::wcsncpy(target, text.c_str(), capacity - 1);
    target[capacity - 1] = L'\0';
}
}  // namespace

TTrayRequest DecodeTrayCallback(WPARAM wParam, LPARAM lParam, UINT iconId) {
    TTrayRequest request;
    if (HIWORD(lParam) != iconId) return request;
    switch (LOWORD(lParam)) {
    case WM_CONTEXTMENU:
        request.kind = TTrayRequest::Kind::ShowMenu;
        request.anchor = {GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
        break;
    case WM_LBUTTONDBLCLK:
    case NIN_KEYSELECT:
        request.kind = TTrayRequest::Kind::Activate;
        break;
    default:
        break;
    }
    return request;
}

TTrayIcon::TTrayIcon(HWND owner, UINT id, UINT callbackMessage, HICON icon, TShellNotify notify)
    : owner_(owner), id_(id), callbackMessage_(callbackMessage), icon_(icon), notify_(std::move(notify)),
      taskbarCreated_(::RegisterWindowMessageW(L"TaskbarCreated")) {}

TTrayIcon::~TTrayIcon() {
    if (!added_) return;
    NOTIFYICONDATAW data = BaseData();
    Notify(NIM_DELETE, data);
}

NOTIFYICONDATAW TTrayIcon::BaseData() const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = owner_;
    data.uID = id_;
    return data;
}

BOOL TTrayIcon::Notify(DWORD message, NOTIFYICONDATAW& data) const {
    return notify_ ? notify_(message, data) : ::Shell_NotifyIconW(message, &data);
}

void TTrayIcon::SetHint(const std::wstring& hint) {
    hint_ = hint;
    if (!added_) return;
    NOTIFYICONDATAW data = BaseData();
    data.uFlags = NIF_TIP | NIF_SHOWTIP;
    CopyText(data.szTip, ARRAYSIZE(data.szTip), hint_);
    Notify(NIM_MODIFY, data);
}

void TTrayIcon::SetIcon(HICON icon) {
    icon_ = icon;
    if (!added_) return;
    NOTIFYICONDATAW data = BaseData();
    data.uFlags = NIF_ICON;
    data.hIcon = icon_;
    Notify(NIM_MODIFY, data);
}

bool TTrayIcon::Show() {
    NOTIFYICONDATAW data = BaseData();
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = callbackMessage_;
    data.hIcon = icon_;
    CopyText(data.szTip, ARRAYSIZE(data.szTip), hint_);
    added_ = Notify(NIM_ADD, data) != FALSE;
    if (added_) {
        data.uVersion = NOTIFYICON_VERSION_4;
        Notify(NIM_SETVERSION, data);
    }
    return added_;
}

void TTrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text) {
    balloonTitle_ = title;
    balloonText_ = text;
    balloonDue_ = true;
    SendBalloon();
}

void TTrayIcon::ForgetBalloon() { balloonDue_ = false; }

void TTrayIcon::ShowNotice(const std::wstring& title, const std::wstring& text) { SendInfo(title, text, NIIF_INFO); }

void TTrayIcon::SendBalloon() { SendInfo(balloonTitle_, balloonText_, NIIF_WARNING); }

void TTrayIcon::SendInfo(const std::wstring& title, const std::wstring& text, DWORD iconFlags) {
    if (!added_) return;
    NOTIFYICONDATAW data = BaseData();
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = iconFlags;
    CopyText(data.szInfoTitle, ARRAYSIZE(data.szInfoTitle), title);
    CopyText(data.szInfo, ARRAYSIZE(data.szInfo), text);
    Notify(NIM_MODIFY, data);
}

bool TTrayIcon::HandleTaskbarCreated(UINT message) {
    if (message != taskbarCreated_ || taskbarCreated_ == 0) return false;
    added_ = false;
    if (Show() && balloonDue_) SendBalloon();
    return true;
}
