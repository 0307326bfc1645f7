#pragma once
#include <windows.h>

// Where windows go and how big they are. Sizes are given in pixels at 96 DPI,
// as the windows were designed, and come out at the window's own DPI.

// Pixels at 96 DPI in pixels at the window's DPI.
int ScaleToWindowDpi(HWND window, int pixels);

// Moves and sizes a control in its parent's client area; a negative size
// (a window shrunk below its layout) counts as nothing.
void MoveControl(HWND control, int left, int top, int width, int height);

// Gives a top-level window a client area of width x height pixels at 96 DPI,
// whatever its template's dialog units come to, and centres it on the
// desktop's work area. A resizable window (WS_THICKFRAME) opens no larger than
// the area; a fixed one larger than the area keeps its title bar on it.
// A dialog whose font grows faster than the DPI can ask for at least its
// template's size in dialog units (minimumUnits), so that no control is cut off.
void SizeClientAndCentre(HWND window, int clientWidth, int clientHeight, SIZE minimumUnits = {});

// Centres a window on its owner, or on the work area when it has no visible owner.
void CentreOnOwner(HWND window);

// Shows a window restored and brings it to the front; a dialog it owns that is
// open over it (an import preview, a message box) comes forward instead.
void BringWindowForward(HWND window);
