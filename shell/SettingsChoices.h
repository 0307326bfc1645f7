#pragma once
#include <windows.h>

// The settings window's controls made ready before the settings are shown:
// the items of its drop-down lists (the popups' corner, monitor and animation,
// when the CRM card opens, the fonts and their sizes), the digits-only and
// prefix edits, and the port's range. monitorListWidth: the monitor list's
// dropped-down width in pixels.
void PrepareSettingsControls(HWND dialog, int monitorListWidth);
