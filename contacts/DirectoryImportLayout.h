#pragma once
#include <windows.h>

#include <vector>

// Where the import window's controls go: pixel bounds in its client area at a
// given DPI, laid out at 96 DPI and scaled edge by edge, so that controls that
// do not touch at 96 DPI do not touch at any other.

struct TControlPlace {
    int Control;
    RECT Bounds;
};

// The client area at 96 DPI.
inline constexpr int kImportClientWidth = 760;
inline constexpr int kImportClientHeight = 533;

// Every control of the window; a combo box's bounds are its selection field.
std::vector<TControlPlace> ImportFormLayout(int dpi);
