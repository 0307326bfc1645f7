#pragma once
#include "SettingsPolicy.h"

#include <windows.h>

#include <string>
#include <vector>

// How the settings window shows the settings an administrator fixed.

// The controls that edit a row: its own, and those that only serve it (a
// browse button, a spin, the other button of a radio pair).
std::vector<int> SettingControls(const TSettingRow& row);

// Disables every control of the enforced settings; called after anything that
// enables controls by the window's own rules.
void DisableEnforcedControls(HWND dialog, const TEnforcedSettings& enforced);
// The same for a dialog of its own that edits one part.
void DisableEnforcedPartControls(HWND dialog, TSettingsPart part, const TEnforcedSettings& enforced);

// Splits the status line in two and puts the note in its right part, sized to
// the note; the left part keeps the connection state.
void ShowEnforcedNote(HWND statusBar, const std::wstring& note);
