#pragma once
#include <windows.h>

#include <string>

// The whole text of a window or control of this process.
std::wstring WindowText(HWND window);
