#include "BrowseDialogs.h"

#include "WindowText.h"

#include <shlobj.h>

#include <algorithm>

namespace {

// Frees a shell item list when the scope ends.
class ItemList {
public:
    ItemList() = default;
    ~ItemList() { ::CoTaskMemFree(list_); }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;
    PIDLIST_ABSOLUTE* receive() { return &list_; }
    PIDLIST_ABSOLUTE get() const { return list_; }
    void reset(PIDLIST_ABSOLUTE list) {
        ::CoTaskMemFree(list_);
        list_ = list;
    }

private:
    PIDLIST_ABSOLUTE list_ = nullptr;
};

int CALLBACK BrowseFolderCallback(HWND dialog, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED && start) ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

std::wstring WithoutMnemonic(std::wstring text) {
    text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
    return text;
}

}  // namespace

bool SelectNetworkComputer(HWND owner, const std::wstring& title, std::wstring& Name) {
    Name.clear();
    ItemList root;
    // Without the network folder the dialog simply has no root.
    if (FAILED(::SHGetSpecialFolderLocation(owner, CSIDL_NETWORK, root.receive()))) root.reset(nullptr);
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.pidlRoot = root.get();
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_BROWSEFORCOMPUTER;
    ItemList chosen;
    chosen.reset(::SHBrowseForFolderW(&browse));
    if (!chosen.get()) return false;
    Name = displayName;
    return true;
}

bool SelectFolder(HWND owner, const std::wstring& title, std::wstring& path) {
    const std::wstring start = path;
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_NEWDIALOGSTYLE | BIF_RETURNONLYFSDIRS;
    browse.lpfn = BrowseFolderCallback;
    browse.lParam = reinterpret_cast<LPARAM>(start.c_str());
    ItemList chosen;
    chosen.reset(::SHBrowseForFolderW(&browse));
    if (!chosen.get()) return false;
    std::wstring chosenPath(32768, L'\0');
    if (!::SHGetPathFromIDListEx(chosen.get(), chosenPath.data(), static_cast<DWORD>(chosenPath.size()),
                                 GPFIDL_DEFAULT))
        return false;
    chosenPath.resize(chosenPath.find(L'\0'));
    path = std::move(chosenPath);
    return true;
}

void PickComputerInto(HWND dialog, int editId, const std::wstring& title) {
    std::wstring name;
    if (SelectNetworkComputer(dialog, title, name)) ::SetDlgItemTextW(dialog, editId, name.c_str());
}

void PickFolderInto(HWND dialog, int editId, int labelId) {
    std::wstring path = WindowText(::GetDlgItem(dialog, editId));
    if (SelectFolder(dialog, WithoutMnemonic(WindowText(::GetDlgItem(dialog, labelId))), path))
        ::SetDlgItemTextW(dialog, editId, path.c_str());
}
