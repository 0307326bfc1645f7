#pragma once
#include "InformerController.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// What the tray icon shows of the recording-server connection, made from the
// state alone: the mark drawn over the program's icon and the hint's lines.
enum class TTrayMark { None, Reconnecting, Off };

struct TTrayLook {
    TTrayMark Mark = TTrayMark::None;
    // The hint before the missed calls: the program's name and, unless
    // connected, what the connection is (while reconnecting, why: the reason
    // the diagnostics give).
    std::wstring Hint;
};

TTrayLook TrayLook(TConnectionState state, const std::wstring& caption, const std::wstring& reasonText);

// Marks an icon's premultiplied BGRA pixels (size x size, top row first):
// Reconnecting puts an amber dot in the lower right corner, Off turns the
// icon grey and faint; None leaves it as it is.
void MarkTrayPixels(std::vector<uint32_t>& pixels, int size, TTrayMark mark);

// The program's icon with the mark, size x size pixels (the small-icon size at
// the notification area's DPI); null when it cannot be made (the caller keeps
// the plain icon). The caller destroys it.
HICON DrawTrayIcon(HICON plain, TTrayMark mark, int size);
