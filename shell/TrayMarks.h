#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// What the tray icon carries for the operator, drawn over whatever icon the
// connection's state gives: a moon in the lower left corner while it is quiet,
// and a red badge with the number of missed calls not yet seen in the upper right.
struct TTrayMarks {
    bool Quiet = false;
    int64_t Missed = 0;
    bool operator==(const TTrayMarks&) const = default;
};

// The badge's text: empty for none, "1" to "9", then "9+".
std::wstring MissedBadgeText(int64_t missed);

// Marks an icon's premultiplied BGRA pixels (size x size, top row first).
// badgeText: the coverage (0-255) of the badge's text, size x size, as the
// text was drawn centred in BadgeRect; empty draws the badge without text.
void PaintTrayMarks(std::vector<uint32_t>& pixels, int size, const TTrayMarks& marks,
                    const std::vector<uint8_t>& badgeText = {});
// Where the badge lies in an icon of this size.
RECT BadgeRect(int size);

// The icon with the marks, size x size pixels (the small-icon size at the
// notification area's DPI); null when there is nothing to mark or it cannot
// be made (the caller keeps the icon it has). The caller destroys it.
HICON DrawTrayMarks(HICON base, const TTrayMarks& marks, int size);
