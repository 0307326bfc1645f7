#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>

// A string of the program's string table (the exe's own resources).
std::wstring LoadResourceString(UINT id, HINSTANCE module = nullptr);

// Replaces the one %s or %08X-style placeholder of a resource text.
std::wstring FormatResourceString(UINT id, const std::wstring& argument);
// A resource text with its numbered placeholders %1, %2 ... %9 replaced by the
// arguments in that order (a text may use them in any order, some twice).
std::wstring FormatResourceText(UINT id, std::initializer_list<std::wstring> arguments, HINSTANCE module = nullptr);
