#pragma once
#include <string>

// Whether this process can create files in the folder, found by creating (and
// removing) an empty one: the folder's permissions, a read-only medium or share
// and the process's token all answer at once, as no look at the path could.
bool FolderAcceptsNewFiles(const std::wstring& folder);
