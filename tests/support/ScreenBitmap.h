#pragma once
#include <windows.h>

#include <string>

// Saves what the screen shows of an area as a 24-bit BMP file.
bool SaveBitmap(const RECT& area, const std::wstring& path);
