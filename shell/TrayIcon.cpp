#include "TrayIcon.h"

#include <shellapi.h>

#include <cwchar>

namespace {
void CopyText(wchar_t* target, size_t capacity, const std::wstring& text) {
    std::wcsncpy(target, text.c_str(), capacity - 1);
    target[capacity - 1] = L'\0';
}
}  // namespace

TTrayIcon::TTrayIcon(HWND owner, UINT id, UINT callbackMessage, HICON icon)
    : owner_(owner), id_(id), callbackMessage_(callbackMessage), icon_(icon),
      taskbarCreated_(::RegisterWindowMessageW(L"TaskbarCreated")) {}

TTrayIcon::~TTrayIcon() {
    if (!added_) return;
    NOTIFYICONDATAW data = BaseData();
    ::Shell_NotifyIconW(NIM_DELETE, &data);
}

NOTIFYICONDATAW TTrayIcon::BaseData() const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = owner_;
    data.uID = id_;
    return data;
}

void TTrayIcon::SetHint(const std::wstring& hint) {
    hint_ = hint;
    if (!added_) return;
    NOTIFYICONDATAW data = BaseData();
    data.uFlags = NIF_TIP | NIF_SHOWTIP;
    CopyText(data.szTip, ARRAYSIZE(data.szTip), hint_);
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

bool TTrayIcon::Show() {
    NOTIFYICONDATAW data = BaseData();
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = callbackMessage_;
    data.hIcon = icon_;
    CopyText(data.szTip, ARRAYSIZE(data.szTip), hint_);
    added_ = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    if (added_) {
        data.uVersion = NOTIFYICON_VERSION_4;
        ::Shell_NotifyIconW(NIM_SETVERSION, &data);
    }
    return added_;
}

void TTrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text) {
    lastBalloon_ = text;
    NOTIFYICONDATAW data = BaseData();
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_WARNING;
    CopyText(data.szInfoTitle, ARRAYSIZE(data.szInfoTitle), title);
    CopyText(data.szInfo, ARRAYSIZE(data.szInfo), text);
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

bool TTrayIcon::HandleTaskbarCreated(UINT message) {
    if (message != taskbarCreated_ || taskbarCreated_ == 0) return false;
    added_ = false;
    Show();
    return true;
}
