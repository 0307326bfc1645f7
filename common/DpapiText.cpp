#include "DpapiText.h"

#include "AppError.h"
#include "TextConvert.h"

#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <vector>

namespace {

// Marks the blob in the system's own dialogs and event logs; not a secret.
constexpr wchar_t kDescription[] = L"Kordavin Informer";

struct LocalFreeDeleter {
    void operator()(void* memory) const noexcept { ::LocalFree(memory); }
};
using LocalBytes = std::unique_ptr<BYTE, LocalFreeDeleter>;

}  // namespace

std::wstring ProtectForUser(const std::wstring& plain) {
    if (plain.empty()) return {};
    DATA_BLOB input{static_cast<DWORD>(plain.size() * sizeof(wchar_t)),
                    reinterpret_cast<BYTE*>(const_cast<wchar_t*>(plain.data()))};
    DATA_BLOB output{};
    if (!::CryptProtectData(&input, kDescription, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &output))
        throw AppError(SystemErrorText(::GetLastError()));
    const LocalBytes encrypted(output.pbData);
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD length = 0;
    if (!::CryptBinaryToStringW(encrypted.get(), output.cbData, flags, nullptr, &length))
        throw AppError(SystemErrorText(::GetLastError()));
    std::wstring text(length, L'\0');
    if (!::CryptBinaryToStringW(encrypted.get(), output.cbData, flags, text.data(), &length))
        throw AppError(SystemErrorText(::GetLastError()));
    text.resize(length);
    return text;
}

std::optional<std::wstring> UnprotectForUser(const std::wstring& protectedText) {
    if (protectedText.empty()) return std::wstring();
    DWORD size = 0;
    if (!::CryptStringToBinaryW(protectedText.c_str(), static_cast<DWORD>(protectedText.size()), CRYPT_STRING_BASE64,
                                nullptr, &size, nullptr, nullptr))
        return std::nullopt;
    std::vector<BYTE> bytes(size);
    if (!::CryptStringToBinaryW(protectedText.c_str(), static_cast<DWORD>(protectedText.size()), CRYPT_STRING_BASE64,
                                bytes.data(), &size, nullptr, nullptr))
        return std::nullopt;
    DATA_BLOB input{size, bytes.data()};
    DATA_BLOB output{};
    if (!::CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &output))
        return std::nullopt;
    const LocalBytes decrypted(output.pbData);
    if (output.cbData % sizeof(wchar_t) != 0) {
        ::SecureZeroMemory(decrypted.get(), output.cbData);
        return std::nullopt;
    }
    std::wstring plain(reinterpret_cast<const wchar_t*>(decrypted.get()), output.cbData / sizeof(wchar_t));
    ::SecureZeroMemory(decrypted.get(), output.cbData);
    return plain;
}
