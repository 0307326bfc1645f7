#pragma once
#include <windows.h>

// The settings window's layout at start: its status line, its size (never
// smaller than the template, so that no control is cut off) and the bottom row
// of buttons just above the status line. gap: the space above the status line
// in this window's pixels. Returns the status line.
HWND LayOutMainForm(HWND dialog, HINSTANCE instance, int gap);
