// The test build of the tray program: with KORDAVIN_TEST_URL_LOG naming a file,
// the URLs the program would open in the browser are appended to it (UTF-8, one
// a line) instead.
#include "CrmLink.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

void InstallTestHooks() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KORDAVIN_TEST_URL_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    SetCrmUrlOpener([log = std::wstring(path)](const std::wstring& url, std::wstring& error) {
        UniqueFileHandle file(::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        const std::string line = WideToUtf8(url) + "\n";
        DWORD written = 0;
        if (file && ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
            return true;
        error = SystemErrorText(::GetLastError());
        return false;
    });
}
