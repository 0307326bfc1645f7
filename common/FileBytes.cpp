#include "FileBytes.h"

#include "AppError.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

[[noreturn]] void FailOn(const std::wstring& path) {
    throw AppError(SystemErrorText(::GetLastError()) + L" " + path);
}

}  // namespace

std::string ReadFileBytes(const std::wstring& path) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) FailOn(path);
    // Bigger than anything a directory file holds: refused before memory is taken.
    if (size.QuadPart > 1024LL * 1024 * 1024) {
        ::SetLastError(ERROR_FILE_TOO_LARGE);
        FailOn(path);
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()))
        FailOn(path);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file ||
        (!bytes.empty() && (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                            written != bytes.size())))
        FailOn(path);
}
