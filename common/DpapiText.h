#pragma once
#include <string>

// A secret kept in a settings file, readable only by the Windows user who
// wrote it (DPAPI, user scope), as base64 text that fits one INI value.

// The protected form of text, or empty for an empty text. Throws AppError when
// the system refuses to protect it.
std::wstring ProtectForUser(const std::wstring& text);

// The text back. False (text emptied) when the value is no base64, was written
// by another user or on another machine, or was altered; an empty value reads
// as an empty text.
bool UnprotectForUser(const std::wstring& protectedText, std::wstring& text);
