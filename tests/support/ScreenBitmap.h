#pragma once
#include <windows.h>

#include <string>

// What the screen shows in `area`, saved as a 24-bit BMP file; for the
// screenshots in docs/. Only the part of the area on the screen is taken;
// false when none of it is or the screen cannot be read.
bool SaveBitmap(const RECT& area, const std::wstring& path);
