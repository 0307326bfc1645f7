#pragma once
#include <windows.h>
#include <commctrl.h>

#include <span>
#include <string>

// The columns and cell texts of the program's report-style list views.

struct TListColumn {
    UINT Title;  // string-table text
    int Width;   // pixels at 96 DPI
    int Format = LVCFMT_LEFT;
};

// Appends a column whose width in pixels at 96 DPI is scaled to the list's DPI.
void AddListColumn(HWND list, const std::wstring& title, int width, int format = LVCFMT_LEFT);
// Appends the columns in order, their titles from instance's string table.
void AddListColumns(HWND list, std::span<const TListColumn> columns, HINSTANCE instance);

// Gives one column the width the others leave in the list's client area, but
// never less than leastWidth pixels.
void StretchListColumn(HWND list, int column, int leastWidth);

// Answers a virtual list's LVN_GETDISPINFO for text: the list copies the text
// out at once, and a text longer than its buffer is cut to it.
void SetDispInfoText(LVITEMW& item, const std::wstring& text);
