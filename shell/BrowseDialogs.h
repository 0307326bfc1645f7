#pragma once
#include <windows.h>

#include <string>

// The system's browse dialogs: a computer of the network, a folder.

// Lets the user pick a computer of the network in the system's browse dialog,
// rooted at the network neighbourhood. True with the computer's name when one
// was chosen; false (and an empty name) when cancelled.
bool SelectNetworkComputer(HWND owner, const std::wstring& title, std::wstring& Name);
// Lets the user pick a folder, starting at path. True with the chosen folder in
// path; false (path unchanged) when cancelled or the choice has no file-system path.
bool SelectFolder(HWND owner, const std::wstring& title, std::wstring& path);

// A dialog's edit takes the computer picked under title.
void PickComputerInto(HWND dialog, int editId, const std::wstring& title);
// A dialog's edit takes the folder picked from the one it shows; the dialog's
// title is the label's text without its mnemonic.
void PickFolderInto(HWND dialog, int editId, int labelId);
