#include "WritableFolder.h"

#include <windows.h>

bool FolderAcceptsNewFiles(const std::wstring& folder) {
    wchar_t name[MAX_PATH + 1] = {};
    // GetTempFileNameW creates the file under a name no other file has.
    if (folder.size() > MAX_PATH - 14 || !::GetTempFileNameW(folder.c_str(), L"kdv", 0, name)) return false;
    ::DeleteFileW(name);
    return true;
}
