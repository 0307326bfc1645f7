#include "FileDialog.h"

#include "ResourceText.h"

#include <commdlg.h>

#include <algorithm>

namespace {

// A file dialog's filter from a resource text with "|" between its parts.
std::wstring FileFilter(UINT id, HINSTANCE instance) {
    std::wstring filter = LoadResourceString(id, instance);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    return filter;
}

}  // namespace

std::wstring AskFilePath(HWND owner, HINSTANCE instance, UINT filterId, bool save, const std::wstring& suggested) {
    const std::wstring filter = FileFilter(filterId, instance);
    std::wstring path = suggested;
    path.resize(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (save) {
        dialog.lpstrDefExt = L"csv";
        dialog.Flags |= OFN_OVERWRITEPROMPT;
        if (!::GetSaveFileNameW(&dialog)) return {};
    } else {
        dialog.Flags |= OFN_FILEMUSTEXIST;
        if (!::GetOpenFileNameW(&dialog)) return {};
    }
    path.resize(path.find(L'\0'));
    return path;
}

