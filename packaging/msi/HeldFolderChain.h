#pragma once
#include "UniqueHandle.h"

#include <windows.h>

#include <string>
#include <vector>

// How an installer running as SYSTEM, or with administrator rights, puts a file
// into the common data folder, which a standard user who ran the program first
// may have made and may own. A junction there would send its writes anywhere,
// so every folder on the way is opened as itself and a junction, symbolic link or
// mount point is refused, never followed; each stays open, without sharing
// delete, so that it cannot be renamed or replaced until the work is done. The
// data folder and the folders below it on the way get an owner and permissions
// of their own, which a user cannot change, and a file goes in only as a new one.

// The folders from the volume root or share down to `folder`, as full paths:
// "C:\", "C:\ProgramData", "C:\ProgramData\Kordavin Data"... Empty when `folder`
// is no plain absolute path (relative, "\\?\" or device paths, "." or "..").
std::vector<std::wstring> FolderChain(const std::wstring& folder);

// The permissions the installer gives, as security descriptor strings: the
// owner is Administrators, the list protected from what the parent hands down.
// The data folders: SYSTEM and Administrators full control, Users read and
// execute, all handed down to what is made inside.
extern const wchar_t kDataFolderSecurity[];
// The subscriber directory's folder: besides, Users may create, change and
// delete the files and folders in it (the program keeps the shared table there,
// with its temporary files), but neither delete nor re-permission the folder.
extern const wchar_t kSharedFolderSecurity[];

enum class TPlaceStatus {
    Done,         // opened, made or placed
    Kept,         // it was there already and stays as it is
    LinkRefused,  // a folder on the way is a junction, symbolic link or mount point
    NotAFolder,   // something on the way is no folder, or the path is no plain absolute path
    Failed,       // Windows refused; Reason says why
};

struct TPlaceResult {
    TPlaceStatus Status = TPlaceStatus::Failed;
    std::wstring Where;   // the folder or file it is about
    std::wstring Reason;  // why it failed, in Windows' words
};

// The words for an installer's log.
std::wstring PlaceResultText(const TPlaceResult& result);

// The folders of one chain, held open from Open until the object goes.
class THeldFolderChain {
public:
    THeldFolderChain() = default;
    THeldFolderChain(const THeldFolderChain&) = delete;
    THeldFolderChain& operator=(const THeldFolderChain&) = delete;

    // Opens every folder of `folder`'s chain, making the missing ones with the
    // data folders' permissions. When `folder` is `dataRoot` or below it, the
    // data root and each folder below it on the way get those permissions (and
    // owner) even where they exist. Done once the whole chain is held.
    TPlaceResult Open(const std::wstring& dataRoot, const std::wstring& folder);

    // Makes the folder `name` inside one of the held folders, with the given
    // permissions; Kept when something of that name is there already.
    TPlaceResult MakeFolder(const std::wstring& parent, const std::wstring& name, const wchar_t* security);

    // Copies `sourceFile` into the held `folder` as `name`, as a new file: written
    // under a temporary name and then given its name, never over an existing
    // file (Kept), and removed when anything fails.
    TPlaceResult PlaceCopy(const std::wstring& name, const std::wstring& sourceFile);

    // Whether `folder` is one of the held folders.
    bool Holds(const std::wstring& folder) const;

private:
    std::vector<std::wstring> chain_;
    std::vector<UniqueFileHandle> held_;
};
