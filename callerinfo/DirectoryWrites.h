#pragma once
#include "DirectoryBulk.h"
#include "ImportProgress.h"

#include <cstddef>
#include <memory>
#include <string>

// How the directory window and its import change the subscriber directory,
// wherever it is kept: this PC's folder, or the organisation's SQL server (where
// a write goes to the outbox and the replica). The window reads the directory
// as a folder either way. Safe to call from the window's save and import threads.
class IDirectoryWrites {
public:
    virtual ~IDirectoryWrites() = default;
    // One row added or replaced, as the directory window's editor saves it;
    // the number is stored as given. Raises what the store raises
    // (TableStoreError, TDirectoryTextTooLong).
    virtual void Put(const DirectoryRow& row) = 0;
    // Removes the row of this number; a number already gone is no error.
    virtual void Delete(const std::wstring& phone) = 0;
    // Stores the preview's new and changed rows, merged again with the rows as
    // stored by then (the preview's choice of keeping or replacing names
    // holds); ImportCancelled when stopped. Returns the number of rows written.
    virtual std::size_t Import(const ImportPreview& preview, ImportProgress* progress) = 0;
};

// The subscriber directory's table files in a folder (DirectoryBulk.h).
std::shared_ptr<IDirectoryWrites> FolderDirectoryWrites(std::wstring folder);
