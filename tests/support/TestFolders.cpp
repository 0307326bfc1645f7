#include "TestFolders.h"

#include "ModuleFile.h"
#include "PathText.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <atomic>

std::wstring ProgramFolder() {
    const std::wstring path = ModuleFileName();
    return path.substr(0, path.find_last_of(L"\\/"));
}

namespace {
std::atomic<int> g_counter{0};

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = JoinPath(path, name);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(path.c_str());
}
}  // namespace

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"kordavin-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(g_counter++);
    RemoveTree(path_);
    ::CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::wstring UniqueSimSession() {
    return L"test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64());
}

std::string ReadBytes(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}
