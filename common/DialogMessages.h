#pragma once
#include <windows.h>

// Whether a message belongs to one of the program's top-level dialogs (the main
// window, contact editors) and was handled as dialog keyboard navigation.
bool HandleDialogMessage(MSG& message);
