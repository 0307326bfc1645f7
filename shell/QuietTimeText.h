#pragma once
#include "QuietTime.h"

#include <string>

// What the tray's hint says of quiet time: empty when it is not quiet, else
// "Не беспокоить до 14:35", "... до завтра, 08:00" or why it lasts. now: the
// local clock, to tell today from tomorrow. Texts from the program's string table.
std::wstring QuietHintText(const TQuietState& state, int64_t now);
