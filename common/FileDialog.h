#pragma once
#include <windows.h>

#include <string>

// The file the user picks in the system's open or save dialog; empty when
// cancelled. filterId: a string resource with "|" between the filter's parts;
// suggested: the name the save dialog starts with. A save asks before
// replacing a file and adds ".csv" to a name typed without an extension.
std::wstring AskFilePath(HWND owner, HINSTANCE instance, UINT filterId, bool save, const std::wstring& suggested = {});
