#pragma once
#include "ContactImport.h"

#include <string>
#include <vector>

// What the import window offers to choose for each part of a directory row:
// the CSV file's columns, each chosen or not. Plain logic; the window only
// shows the offers and reads back what is ticked.

enum class ImportPart { Number, Name, Comment, Organization };

struct ColumnOffer {
    int column = 0;
    std::wstring title;   // the header's text on one line; empty without a header
    std::wstring sample;  // the column's first text below the header, on one line
    bool chosen = false;
};

// The columns of the first records (kImportHeadRecords) for one part. For the
// number, name and comment the chosen columns come first, in the order their
// texts are joined ("Фамилия Имя Отчество"), then the others in file order, so
// that the order shown is the order used. The organisation's are in file order.
std::vector<ColumnOffer> OfferedColumns(const std::vector<CsvRecord>& records, bool hasHeader,
                                        const CsvColumns& columns, ImportPart part);

// The columns as ticked: each part's columns in the order they are shown, the
// organisation (-1: none).
CsvColumns ChosenCsvColumns(const std::vector<int>& numbers, const std::vector<int>& names,
                            const std::vector<int>& comments, int organization);
