#pragma once
#include <windows.h>

#include <optional>
#include <string>

// Typed reads of single registry values. Nothing when the value is missing;
// AppError (which value, which type was expected, which was found) when it has
// another type.

// REG_SZ or REG_EXPAND_SZ (not expanded), cut at its first NUL.
std::optional<std::wstring> ReadRegistryString(HKEY key, const std::wstring& name);
// The same, with a REG_EXPAND_SZ value's %NAME% references expanded from the
// process environment; AppError also when the expansion fails.
std::optional<std::wstring> ReadRegistryExpandedString(HKEY key, const std::wstring& name);
// REG_DWORD.
std::optional<DWORD> ReadRegistryDword(HKEY key, const std::wstring& name);

// A text value (REG_SZ, REG_EXPAND_SZ, or the first string of a REG_MULTI_SZ), cut
// at its first NUL, with its type. Nothing when the value is missing, cannot be
// read or holds no text: for callers that fall back to something else.
struct TRegistryText {
    std::wstring Text;
    DWORD Type = REG_NONE;
};
std::optional<TRegistryText> QueryRegistryText(HKEY key, const std::wstring& name) noexcept;

// Whether the key holds a value of that name, of any type.
bool RegistryValueExists(HKEY key, const std::wstring& name);

// Writes of single values; false when the value could not be written, for
// callers to whom a lost value is no error (what a window remembers of itself).
bool WriteRegistryDword(HKEY key, const std::wstring& name, DWORD value) noexcept;
bool WriteRegistryString(HKEY key, const std::wstring& name, const std::wstring& value) noexcept;

// "REG_SZ", "REG_DWORD"... for messages.
std::wstring RegistryTypeName(DWORD type);
