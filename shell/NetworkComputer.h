#pragma once
#include <windows.h>

#include <string>

// Lets the user pick a computer of the network in the system's browse dialog,
// rooted at the network neighbourhood. True with the computer's name when one
// was chosen; false (and an empty name) when cancelled.
bool SelectNetworkComputer(HWND owner, const std::wstring& title, std::wstring& Name);
