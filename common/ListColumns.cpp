#include "ListColumns.h"

#include "ResourceText.h"
#include "WindowPlacement.h"

#include <algorithm>

void AddListColumn(HWND list, const std::wstring& title, int width, int format) {
    const HWND header = ListView_GetHeader(list);
    const int index = header ? Header_GetItemCount(header) : 0;
    std::wstring text = title;
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = ScaleToWindowDpi(list, width);
    column.pszText = text.data();
    column.iSubItem = index;
    ListView_InsertColumn(list, index, &column);
}

void AddListColumns(HWND list, std::span<const TListColumn> columns, HINSTANCE instance) {
    for (const TListColumn& column : columns)
        AddListColumn(list, LoadResourceString(column.Title, instance), column.Width, column.Format);
}

void StretchListColumn(HWND list, int column, int leastWidth) {
    const HWND header = ListView_GetHeader(list);
    if (!header) return;
    const int columns = Header_GetItemCount(header);
    if (column < 0 || column >= columns) return;
    RECT client{};
    ::GetClientRect(list, &client);
    int others = 0;
    for (int i = 0; i < columns; ++i)
        if (i != column) others += ListView_GetColumnWidth(list, i);
    const int width = std::max(leastWidth, static_cast<int>(client.right) - others);
    if (width != ListView_GetColumnWidth(list, column)) ListView_SetColumnWidth(list, column, width);
}

void SetDispInfoText(LVITEMW& item, const std::wstring& text) {
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    ::lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}
