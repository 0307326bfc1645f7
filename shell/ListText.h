#pragma once
#include <string>
#include <string_view>
#include <vector>

// The list text in which string lists are stored (settings file, the recording
// product's registry key) and typed by the user: comma-separated entries, an
// entry with a blank, control character, comma or double quote between double
// quotes with inner quotes doubled.

// Blanks separate entries just as commas do; "810,,00" has an empty middle entry
// and "8," ends with an empty one. A quoted entry without its closing quote runs
// to the end of the text.
std::vector<std::wstring> ReadListText(std::wstring_view text);

// The empty list gives "", a list of one empty entry gives two double quotes.
std::wstring WriteListText(const std::vector<std::wstring>& list);

// Removes characters with codes up to 32 from both ends of every entry; empty
// entries stay. For the dialling prefix lists, where stray blanks mean nothing.
void TrimListEntries(std::vector<std::wstring>& list);
