#include "IniEncoding.h"

#include "TextConvert.h"

#include <windows.h>

namespace {
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool StartsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

bool IsValidUtf8(std::string_view bytes) {
    if (bytes.empty()) return true;
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                 nullptr, 0) > 0;
}

}  // namespace

TIniEncoding DetectIniEncoding(std::string_view bytes) {
    if (StartsWith(bytes, kUtf16LeBom)) return TIniEncoding::Utf16Le;
    if (StartsWith(bytes, kUtf16BeBom)) return TIniEncoding::Utf16Be;
    if (StartsWith(bytes, kUtf8Bom)) return TIniEncoding::Utf8;
    // Text in an 8-bit encoding has no NUL bytes; UTF-16 has one in every
    // character of the ASCII range ("[", "=", line ends), on the even or the
    // odd side depending on the byte order.
    size_t evenZeros = 0;
    size_t oddZeros = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\0') ++(i % 2 ? oddZeros : evenZeros);
    if (evenZeros + oddZeros > 0) return oddZeros >= evenZeros ? TIniEncoding::Utf16LeRaw : TIniEncoding::Utf16Be;
    return IsValidUtf8(bytes) ? TIniEncoding::Utf8 : TIniEncoding::Ansi;
}

std::wstring DecodeIniBytes(std::string_view bytes) {
    switch (DetectIniEncoding(bytes)) {
    case TIniEncoding::Utf16Le:
        return Utf16BytesToWide(bytes.substr(kUtf16LeBom.size()), false);
    case TIniEncoding::Utf16LeRaw:
        return Utf16BytesToWide(bytes, false);
    case TIniEncoding::Utf16Be:
        return Utf16BytesToWide(StartsWith(bytes, kUtf16BeBom) ? bytes.substr(kUtf16BeBom.size()) : bytes, true);
    case TIniEncoding::Utf8:
        return CodePageToWide(CP_UTF8, StartsWith(bytes, kUtf8Bom) ? bytes.substr(kUtf8Bom.size()) : bytes);
    case TIniEncoding::Ansi:
        break;
    }
    return CodePageToWide(CP_ACP, bytes);
}

std::string EncodeUtf16LeWithBom(std::wstring_view text) {
    std::string bytes(kUtf16LeBom);
    bytes.reserve(bytes.size() + 2 * text.size());
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}
