#pragma once
#include "MainFormSettings.h"
#include "SettingsPolicy.h"
#include "SettingsTable.h"

#include <windows.h>

#include <functional>
#include <span>

// The name sources' own dialogs and the SQL directory's, opened by buttons of
// the settings window: one entry each, so that the settings window knows none
// of them by name.
struct TNameSourceDialog {
    using TApply = std::function<void(const TMainFormSettings& edited)>;

    int ButtonId;        // the settings window's button that opens it
    TSettingsPart Part;  // the part its OK applies and stores
    // Shows the dialog over owner filled from current, or brings the open one
    // forward; its OK hands current with the part's rows as edited. The
    // settings an administrator fixed are greyed. Throws AppError when it
    // cannot be created.
    void (*Show)(HINSTANCE instance, HWND owner, const TMainFormSettings& current, const TEnforcedSettings& enforced,
                 TApply onApply);
    // Closes it without applying, at the program's end.
    void (*CloseAll)();
};

std::span<const TNameSourceDialog> NameSourceDialogs();
// The dialog a button of the settings window opens, or null.
const TNameSourceDialog* FindNameSourceDialog(int buttonId);
