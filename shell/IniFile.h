#pragma once
#include <string>
#include <vector>

// One section of the settings file, through the platform's profile functions.

// Reads keys. A file that is not UTF-16LE with its byte-order mark (hand-edited
// as UTF-8 or in another encoding) is read from a converted temporary copy, so
// that non-ASCII text comes out right whatever the ANSI code page. A missing or
// unreadable file reads as empty. Never throws for the file's sake.
class TIniReader {
public:
    TIniReader(std::wstring path, std::wstring section);
    ~TIniReader();
    TIniReader(const TIniReader&) = delete;
    TIniReader& operator=(const TIniReader&) = delete;

    bool HasKey(const std::wstring& key) const;
    // The value with the blanks around it and one pair of enclosing quotes
    // removed, at most kMaxIniTextLength characters; the default when the key is
    // missing (passed back unchanged, not through the profile functions).
    std::wstring ReadString(const std::wstring& key, const std::wstring& defaultValue) const;
    // The default also when the value is not a number.
    int ReadInteger(const std::wstring& key, int defaultValue) const;
    // Read as an integer: anything but 0 is true.
    bool ReadBool(const std::wstring& key, bool defaultValue) const;

private:
    std::wstring FPath;
    std::wstring FSection;
    std::wstring FReadPath;   // FPath, or the converted copy
    std::wstring FTempCopy;   // deleted with the reader
    std::vector<std::wstring> FKeys;
};

// Writes keys; a written key keeps its place, a new one goes to the end of the
// section. Opening makes sure the file is UTF-16LE with its byte-order mark: a
// missing file is created so, a file in another encoding is converted as a whole
// (every other key and section kept; the old file is replaced only once the new
// one is complete). Failures throw AppError "Unable to write to <path>".
class TIniWriter {
public:
    TIniWriter(std::wstring path, std::wstring section);

    void WriteString(const std::wstring& key, const std::wstring& value);
    void WriteInteger(const std::wstring& key, int value);
    void WriteBool(const std::wstring& key, bool value);

private:
    [[noreturn]] void ThrowWriteError() const;

    std::wstring FPath;
    std::wstring FSection;
};

// The error of a settings file that cannot be written.
std::wstring IniWriteErrorText(const std::wstring& path);
