#pragma once
#include <windows.h>

#include <string>

// A string of the program's string table (the exe's own resources).
std::wstring LoadResourceString(UINT id, HINSTANCE module = nullptr);

// Replaces the one %s or %08X-style placeholder of a resource text.
std::wstring FormatResourceString(UINT id, const std::wstring& argument);
