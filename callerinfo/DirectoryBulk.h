#pragma once
#include "ContactImport.h"

#include <string>
#include <string_view>
#include <vector>

// The subscriber directory as a whole: every row read at once, an import written
// in one transaction, and the rows searched as a user types. Works on the table
// files in a folder, beside (not through) an open TPQRDataModule, so that a long
// import never holds the module's lock that lookups and saves take.

struct DirectoryRow {
    std::wstring phone, name, comment;
};

// Every row, ordered by number. A folder without a table has no rows.
std::vector<DirectoryRow> ReadDirectoryRows(const std::wstring& folder);

DirectorySnapshot SnapshotOf(const std::vector<DirectoryRow>& rows);

// Stores the preview's new and changed rows, all of them or none: a table kept
// locked by another workstation beyond the store's retries raises
// TableStoreError (Locked) and nothing is written; so does a cancel
// (ImportCancelled). Each row is merged again, under the write lock, with the
// row of its number as stored by then (the preview's choice of keeping or
// replacing names holds), so an edit made elsewhere since the preview is not
// undone. Creates the table when the folder has none. Returns the number of
// rows written.
std::size_t ApplyImport(const std::wstring& folder, const ImportPreview& preview, ImportProgress* progress = nullptr);

// One row added or replaced, as the directory window's editor saves it; the
// number is stored as given. Raises TableStoreError (Locked, RequiredField...),
// or TDirectoryTextTooLong for a text no directory client could read.
void PutDirectoryRow(const std::wstring& folder, const DirectoryRow& row);

// Removes the row of this number; false when it was not there (another
// workstation may have removed it first).
bool DeleteDirectoryRow(const std::wstring& folder, const std::wstring& phone);

// Finds rows by the digits of their number or by letters of their name, as a
// search box does while the user types. Built once over the rows; each search
// then only scans prepared texts.
class DirectorySearch {
public:
    explicit DirectorySearch(const std::vector<DirectoryRow>& rows);
    // Indices of the matching rows in their order. A query with digits matches
    // numbers that contain those digits in a row (blanks, brackets, dashes and a
    // "+" in the query are ignored); any query also matches names that contain
    // it, ignoring letter case (Cyrillic too). An empty query matches every row.
    std::vector<std::size_t> Find(std::wstring_view query) const;

private:
    std::vector<std::wstring> phones_;
    std::vector<std::wstring> names_;  // folded to lower case
};
