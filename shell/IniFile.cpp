#include "IniFile.h"

#include "AppError.h"
#include "FileBytes.h"
#include "IniEncoding.h"
#include "IniValues.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <optional>

namespace {
// Nothing when the file is missing or cannot be read.
std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    try {
        return ReadFileBytes(path);
    } catch (const AppError&) {
        return std::nullopt;
    }
}

bool WriteWholeFile(HANDLE file, const std::string& bytes) {
    DWORD done = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size() &&
           ::FlushFileBuffers(file);
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The new content goes to a file beside the old one first, so that a failure
// part way leaves the old file whole.
bool ReplaceFileContent(const std::wstring& path, const std::string& bytes) {
    const std::wstring temp = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    {
        UniqueFileHandle file(
            ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        if (!WriteWholeFile(file.get(), bytes)) {
            file.reset();
            ::DeleteFileW(temp.c_str());
            return false;
        }
    }
    if (!::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

// False when the file cannot be made (or kept) a UTF-16LE file with its BOM.
bool PrepareUnicodeFile(const std::wstring& path) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) {
        // Present but unreadable (in use, say): the writes themselves will tell.
        if (FileExists(path)) return true;
        UniqueFileHandle file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return ::GetLastError() == ERROR_FILE_EXISTS;
        if (WriteWholeFile(file.get(), EncodeUtf16LeWithBom(L""))) return true;
        file.reset();
        ::DeleteFileW(path.c_str());
        return false;
    }
    if (DetectIniEncoding(*bytes) == TIniEncoding::Utf16Le) return true;
    return ReplaceFileContent(path, EncodeUtf16LeWithBom(DecodeIniBytes(*bytes)));
}

std::wstring MakeTempCopy(const std::string& bytes) {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (!::GetTempPathW(MAX_PATH, folder) || !::GetTempFileNameW(folder, L"kdv", 0, name)) return {};
    UniqueFileHandle file(::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (file && WriteWholeFile(file.get(), EncodeUtf16LeWithBom(DecodeIniBytes(bytes)))) return name;
    file.reset();
    ::DeleteFileW(name);
    return {};
}

// The whole value, however long: the profile functions cut a value to the
// buffer, so the buffer grows until the value fits.
std::wstring ProfileString(const std::wstring& section, const wchar_t* key, const std::wstring& path) {
    std::wstring buffer(256, L'\0');
    while (true) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length =
            ::GetPrivateProfileStringW(section.c_str(), key, L"", buffer.data(), size, path.c_str());
        // A list of keys that does not fit comes back as size - 2, a value as size - 1.
        if (length + 2 < size) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool SameKey(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}
}  // namespace

std::wstring IniWriteErrorText(const std::wstring& path) { return L"Unable to write to " + path; }

TIniReader::TIniReader(std::wstring path, std::wstring section)
    : FPath(std::move(path)), FSection(std::move(section)), FReadPath(FPath) {
    const auto bytes = ReadWholeFile(FPath);
    if (!bytes) return;  // missing or unreadable: every key gives its default
    if (DetectIniEncoding(*bytes) != TIniEncoding::Utf16Le) {
        FTempCopy = MakeTempCopy(*bytes);
        // Without a copy the profile functions read the file as ANSI: still the
        // ASCII keys and values.
        if (!FTempCopy.empty()) FReadPath = FTempCopy;
    }
    const std::wstring keys = ProfileString(FSection, nullptr, FReadPath);
    for (size_t start = 0; start < keys.size();) {
        const size_t end = keys.find(L'\0', start);
        const size_t stop = end == std::wstring::npos ? keys.size() : end;
        if (stop > start) FKeys.push_back(keys.substr(start, stop - start));
        start = stop + 1;
    }
}

TIniReader::~TIniReader() {
    if (!FTempCopy.empty()) ::DeleteFileW(FTempCopy.c_str());
}

bool TIniReader::HasKey(const std::wstring& key) const {
    for (const auto& known : FKeys)
        if (SameKey(known, key)) return true;
    return false;
}

std::wstring TIniReader::ReadString(const std::wstring& key, const std::wstring& defaultValue) const {
    if (!HasKey(key)) return defaultValue;
    return CapIniText(ProfileString(FSection, key.c_str(), FReadPath));
}

int TIniReader::ReadInteger(const std::wstring& key, int defaultValue) const {
    if (!HasKey(key)) return defaultValue;
    return ParseIniInteger(ReadString(key, L"")).value_or(defaultValue);
}

bool TIniReader::ReadBool(const std::wstring& key, bool defaultValue) const {
    return ReadInteger(key, defaultValue ? 1 : 0) != 0;
}

TIniWriter::TIniWriter(std::wstring path, std::wstring section) : FPath(std::move(path)), FSection(std::move(section)) {
    if (!PrepareUnicodeFile(FPath)) ThrowWriteError();
}

void TIniWriter::WriteString(const std::wstring& key, const std::wstring& value) {
    if (!::WritePrivateProfileStringW(FSection.c_str(), key.c_str(), OneLineIniValue(value).c_str(), FPath.c_str()))
        ThrowWriteError();
}

void TIniWriter::WriteInteger(const std::wstring& key, int value) { WriteString(key, std::to_wstring(value)); }

void TIniWriter::WriteBool(const std::wstring& key, bool value) { WriteString(key, value ? L"1" : L"0"); }

void TIniWriter::ThrowWriteError() const { throw AppError(IniWriteErrorText(FPath)); }
