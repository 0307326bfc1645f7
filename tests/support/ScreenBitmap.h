#pragma once
#include <windows.h>

#include <string>

// What the screen shows in `area`, saved as a 24-bit BMP file; for the
// screenshots in docs/.
bool SaveBitmap(const RECT& area, const std::wstring& path);
