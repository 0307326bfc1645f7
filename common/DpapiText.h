#pragma once
#include <optional>
#include <string>

// A secret kept for the signed-in Windows user only (DPAPI): the encrypted bytes
// as base64 text, which an INI file can hold. An empty secret stays empty.
// Throws AppError with the system's reason when Windows cannot encrypt.
std::wstring ProtectForUser(const std::wstring& plain);

// The secret again; nothing when the text is damaged or was encrypted for
// another user or machine. An empty text is the empty secret.
std::optional<std::wstring> UnprotectForUser(const std::wstring& protectedText);
