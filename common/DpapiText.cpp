#include "DpapiText.h"

#include "AppError.h"
#include "TextConvert.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace {

// Frees what CryptProtectData and CryptUnprotectData return, wiping it first
// when it held the secret.
class TLocalBlob {
public:
    explicit TLocalBlob(bool secret) : FSecret(secret) {}
    ~TLocalBlob() {
        if (!Blob.pbData) return;
        if (FSecret) ::SecureZeroMemory(Blob.pbData, Blob.cbData);
        ::LocalFree(Blob.pbData);
    }
    TLocalBlob(const TLocalBlob&) = delete;
    TLocalBlob& operator=(const TLocalBlob&) = delete;

    DATA_BLOB Blob{};

private:
    bool FSecret;
};

// Ties the protected bytes to this program's purpose: another program reading
// them with its own entropy gets nothing.
const char kEntropy[] = "Kordavin Informer protected setting";

DATA_BLOB EntropyBlob() {
    return {sizeof(kEntropy) - 1, reinterpret_cast<BYTE*>(const_cast<char*>(kEntropy))};
}

std::wstring ToBase64(const BYTE* data, DWORD size) {
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD length = 0;
    if (!::CryptBinaryToStringW(data, size, flags, nullptr, &length)) return {};
    std::wstring text(length, L'\0');
    if (!::CryptBinaryToStringW(data, size, flags, text.data(), &length)) return {};
    text.resize(length);
    while (!text.empty() && (text.back() == L'\0' || text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text;
}

bool FromBase64(const std::wstring& text, std::vector<BYTE>& bytes) {
    DWORD size = 0;
    const DWORD length = static_cast<DWORD>(text.size());
    if (!::CryptStringToBinaryW(text.c_str(), length, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr))
        return false;
    bytes.resize(size);
    if (!::CryptStringToBinaryW(text.c_str(), length, CRYPT_STRING_BASE64, bytes.data(), &size, nullptr, nullptr))
        return false;
    bytes.resize(size);
    return true;
}

}  // namespace

std::wstring ProtectForUser(const std::wstring& text) {
    if (text.empty()) return {};
    std::string plain = WideToUtf8(text);
    DATA_BLOB in{static_cast<DWORD>(plain.size()), reinterpret_cast<BYTE*>(plain.data())};
    DATA_BLOB entropy = EntropyBlob();
    TLocalBlob out(false);
    const BOOL done = ::CryptProtectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.Blob);
    const DWORD error = ::GetLastError();
    ::SecureZeroMemory(plain.data(), plain.size());
    if (!done) throw AppError(SystemErrorText(error));
    std::wstring encoded = ToBase64(out.Blob.pbData, out.Blob.cbData);
    if (encoded.empty()) throw AppError(SystemErrorText(::GetLastError()));
    return encoded;
}

bool UnprotectForUser(const std::wstring& protectedText, std::wstring& text) {
    text.clear();
    if (protectedText.empty()) return true;
    std::vector<BYTE> bytes;
    if (!FromBase64(protectedText, bytes) || bytes.empty()) return false;
    DATA_BLOB in{static_cast<DWORD>(bytes.size()), bytes.data()};
    DATA_BLOB entropy = EntropyBlob();
    TLocalBlob out(true);
    if (!::CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.Blob))
        return false;
    text = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(out.Blob.pbData), out.Blob.cbData));
    return true;
}
