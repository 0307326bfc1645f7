#pragma once
#include <string_view>

// What a column of an address book's CSV export holds, known by its header.
enum class ColumnRole { None, Number, Name, Organization, Comment };

struct HeaderMeaning {
    ColumnRole role = ColumnRole::None;
    // Where the column's text goes among the others of its role: the parts of
    // a name in the order they are written, the parts of a comment in theirs.
    int order = 0;
    // A part of a name ("Фамилия", "Given Name"), not a whole name ("ФИО").
    bool namePart = false;
};

// The header's meaning: first the exports people make (desktop mail clients
// in Russian and English, web mail contacts with numbered "Phone N - Value"
// pairs, CRM contact exports) by their exact column names, then words that
// usually name such a column. Columns of a number's type or label, faxes and
// pagers are no number columns.
HeaderMeaning MeaningOfHeader(std::wstring_view header);
