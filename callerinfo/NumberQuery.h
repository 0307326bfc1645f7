#pragma once
#include "KordavinUtils.h"

#include <string>
#include <string_view>
#include <vector>

// What a search box's text asks of the stored canonical numbers when the user
// types a number, whole or in part, the way an operator writes it down: with
// blanks, brackets and dashes, a "+", a long-distance or international prefix.
struct TNumberQuery {
    // The typed digits, found anywhere in a stored number ("111-22-33").
    std::wstring Digits;
    // The typed number read as dialled, found at the start of a stored number
    // ("8 (495)" asks for numbers that begin with 7495).
    std::vector<std::wstring> Starts;

    // No digits were typed: the text asks nothing of the numbers.
    bool Empty() const { return Digits.empty(); }
    bool Matches(std::wstring_view number) const;
};

// Reads the digits of the text with the dialling settings, as the numbers of
// incoming calls were brought to their canonical form. Characters other than
// digits are ignored, except a leading "+", after which the digits are
// already the international number.
TNumberQuery ReadNumberQuery(std::wstring_view text, const TDiallingSettings& dialling);
