#pragma once
#include <string>
#include <string_view>

// The settings file is kept as UTF-16LE with a byte-order mark: the only form
// that the platform's profile functions read and write as Unicode on Windows
// and on Wine alike, whatever the ANSI code page. Hand-edited files in other
// encodings are recognised here so that they can be read and converted.
enum class TIniEncoding {
    Utf16Le,     // with its byte-order mark: usable as it stands
    Utf16LeRaw,  // without a byte-order mark
    Utf16Be,     // with or without a byte-order mark
    Utf8,        // with a byte-order mark, or without one when the bytes are valid UTF-8
    Ansi,        // anything else: the system's ANSI code page
};

TIniEncoding DetectIniEncoding(std::string_view bytes);

// The file's text without its byte-order mark.
std::wstring DecodeIniBytes(std::string_view bytes);

// The text as UTF-16LE bytes with a byte-order mark.
std::string EncodeUtf16LeWithBom(std::wstring_view text);
