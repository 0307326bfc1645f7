#include "CityCodesTarget.h"

#include "KordavinUtils.h"
#include "PathText.h"

#include <windows.h>

std::wstring InstallerDataRoot() {
    const std::wstring commonAppData = GetShellFolderPath(L"Common AppData");
    return commonAppData.empty() ? std::wstring() : CommonDataDirFrom(commonAppData);
}

std::wstring CityCodesFolderToBuild(const std::wstring& installFolder) {
    const std::wstring ini = JoinPath(installFolder, L"KordavinInformer.ini");
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetPrivateProfileStringW(L"Main", L"AreaCodesPath", L"", folder.data(),
                                                        static_cast<DWORD>(folder.size()), ini.c_str());
        if (length + 1 < folder.size()) {
            folder.resize(length);
            break;
        }
        folder.resize(folder.size() * 2);
    }
    if (folder.empty()) {
        const std::wstring root = InstallerDataRoot();
        if (root.empty()) return {};
        folder = DefaultCityCodesDir();
    }
    // Named as the program names its folders, without a trailing delimiter.
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (::GetFileAttributesW(JoinPath(folder, L"CityCodes.db").c_str()) != INVALID_FILE_ATTRIBUTES) return {};
    return folder;
}
