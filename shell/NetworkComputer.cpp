#include "NetworkComputer.h"

#include <shlobj.h>

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
