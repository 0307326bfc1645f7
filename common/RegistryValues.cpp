#include "RegistryValues.h"

#include "AppError.h"
#include "EnvironmentText.h"
#include "TextConvert.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace {
struct TRawValue {
    DWORD Type = REG_NONE;
    std::vector<BYTE> Data;
};

// The value's type and bytes; the buffer grows when the value grows between
// asking for its size and reading it.
std::optional<TRawValue> QueryRaw(HKEY key, const std::wstring& name) {
    TRawValue value;
    DWORD size = 0;
    LSTATUS status = ::RegQueryValueExW(key, name.c_str(), nullptr, &value.Type, nullptr, &size);
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        value.Data.resize(size);
        status = ::RegQueryValueExW(key, name.c_str(), nullptr, &value.Type, value.Data.data(), &size);
        if (status == ERROR_SUCCESS) {
            value.Data.resize(size);
            return value;
        }
    }
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    throw AppError(L"Cannot read the value '" + name + L"': " + SystemErrorText(static_cast<unsigned long>(status)));
}

// The stored bytes need not end in a NUL, nor hold a whole number of characters.
std::wstring TextOf(const TRawValue& raw) {
    std::wstring text(raw.Data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) memcpy(text.data(), raw.Data.data(), text.size() * sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

[[noreturn]] void ThrowWrongType(const std::wstring& name, const wchar_t* expected, DWORD found) {
    throw AppError(L"Invalid data type for '" + name + L"': " + expected + L" was expected, the value is " +
                   RegistryTypeName(found) + L".");
}
}  // namespace

std::optional<std::wstring> ReadRegistryString(HKEY key, const std::wstring& name) {
    auto raw = QueryRaw(key, name);
    if (!raw) return std::nullopt;
    if (raw->Type != REG_SZ && raw->Type != REG_EXPAND_SZ) ThrowWrongType(name, L"a string (REG_SZ)", raw->Type);
    return TextOf(*raw);
}

std::optional<std::wstring> ReadRegistryExpandedString(HKEY key, const std::wstring& name) {
    auto raw = QueryRaw(key, name);
    if (!raw) return std::nullopt;
    if (raw->Type == REG_SZ) return TextOf(*raw);
    if (raw->Type != REG_EXPAND_SZ) ThrowWrongType(name, L"a string (REG_SZ or REG_EXPAND_SZ)", raw->Type);
    auto expanded = ExpandEnvironmentText(TextOf(*raw));
    if (!expanded)
        throw AppError(L"Cannot expand the value '" + name + L"': " + SystemErrorText(::GetLastError()));
    return expanded;
}

std::optional<TRegistryText> QueryRegistryText(HKEY key, const std::wstring& name) noexcept {
    try {
        auto raw = QueryRaw(key, name);
        if (!raw || (raw->Type != REG_SZ && raw->Type != REG_EXPAND_SZ && raw->Type != REG_MULTI_SZ))
            return std::nullopt;
        return TRegistryText{TextOf(*raw), raw->Type};
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<DWORD> ReadRegistryDword(HKEY key, const std::wstring& name) {
    auto raw = QueryRaw(key, name);
    if (!raw) return std::nullopt;
    if (raw->Type != REG_DWORD || raw->Data.size() != sizeof(DWORD))
        ThrowWrongType(name, L"a 32-bit integer (REG_DWORD)", raw->Type);
    DWORD value = 0;
    memcpy(&value, raw->Data.data(), sizeof value);
    return value;
}

bool RegistryValueExists(HKEY key, const std::wstring& name) {
    return ::RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::wstring RegistryTypeName(DWORD type) {
    switch (type) {
    case REG_NONE: return L"REG_NONE";
    case REG_SZ: return L"REG_SZ";
    case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
    case REG_BINARY: return L"REG_BINARY";
    case REG_DWORD: return L"REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return L"REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return L"REG_LINK";
    case REG_MULTI_SZ: return L"REG_MULTI_SZ";
    case REG_QWORD: return L"REG_QWORD";
    default: return L"type " + std::to_wstring(type);
    }
}

bool WriteRegistryDword(HKEY key, const std::wstring& name, DWORD value) noexcept {
    return ::RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

bool WriteRegistryString(HKEY key, const std::wstring& name, const std::wstring& value) noexcept {
    // The stored text carries its terminating NUL.
    return ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}
