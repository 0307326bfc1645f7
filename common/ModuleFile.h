#pragma once
#include <windows.h>

#include <string>

// Full path of a loaded module's file (null: the running executable); empty on failure.
std::wstring ModuleFileName(HMODULE module = nullptr);
