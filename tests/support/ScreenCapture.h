#pragma once
#include <windows.h>

#include <string>

// Saves what the screen shows of an area as a 24-bit BMP file (for the
// screenshots in docs/); false when the file could not be written.
bool SaveBitmap(const RECT& area, const std::wstring& path);
