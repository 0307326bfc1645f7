#include "CityCodesTarget.h"

#include "KordavinUtils.h"
#include "PathText.h"

#include <windows.h>

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
    if (folder.empty()) folder = DefaultCityCodesDir();
    // A trailing "\" before the closing quote of a command line would escape it.
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (::GetFileAttributesW(JoinPath(folder, L"CityCodes.db").c_str()) != INVALID_FILE_ATTRIBUTES) return {};
    return folder;
}
