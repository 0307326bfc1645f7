#pragma once
#include "DirectoryWrites.h"
#include "SqlDirectory.h"

#include <memory>

// The directory window's writes into the SQL directory: each a save into its
// outbox and replica (TSqlDirectory::Save), an import in batches
// (TSqlDirectory::SaveBatch), merged with the replica's rows as they are then.
std::shared_ptr<IDirectoryWrites> SqlDirectoryWrites(std::shared_ptr<TSqlDirectory> directory);
