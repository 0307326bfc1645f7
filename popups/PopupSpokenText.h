#pragma once
#include <string>
#include <string_view>

// What a screen reader says for a popup: its title, then every non-empty line
// of its text (channel, number, name, region, comment), in one sentence.
std::wstring PopupSpokenText(std::wstring_view title, std::wstring_view infoText);
