#pragma once
#include "MainFormSettings.h"
#include "NameSourcePart.h"
#include "SettingsPolicy.h"
#include "SettingsTable.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <span>
#include <string>

// The name sources after the directories, one entry each: the part the
// controller holds, the dialog that edits its settings and the settings
// window's button that opens it, and its line in the diagnostics. Nothing else
// knows a name source by name; its settings are the rows of its part
// (SettingsTable.cpp). The SQL directory's dialog is opened the same way.
struct TNameSource {
    using TApply = std::function<void(const TMainFormSettings& edited)>;

    // The settings window's button that opens the dialog, made at start-up
    // where the template leaves room for it. Dialog units.
    struct TButton {
        int Id;
        UINT CaptionId;
        int Left, Top, Width, Height;
        // The control it follows in the tab order.
        int After;
        // It sits in the window's bottom row, which follows the status line.
        bool BottomRow;
    };

    TSettingsPart Part;  // the part its dialog's OK applies and stores
    TButton Button;
    // Makes the controller's part; it joins the lookup or the call-event
    // stream through context. Null: the controller holds none.
    std::unique_ptr<INameSourcePart> (*Make)(const TNameSourceContext& context);
    // Shows the dialog over owner filled from current, or brings the open one
    // forward; its OK hands current with the part's rows as edited. The
    // settings an administrator fixed are greyed. Throws AppError when it
    // cannot be created.
    void (*Show)(HINSTANCE instance, HWND owner, const TMainFormSettings& current, const TEnforcedSettings& enforced,
                 TApply onApply);
    // Closes it without applying, at the program's end.
    void (*CloseAll)();
    // Its line of the diagnostics window from its part (null when there is
    // none), read anew at each refresh; null: it has no line.
    std::wstring (*DiagnosticsLine)(const INameSourcePart* part);
};

std::span<const TNameSource> NameSources();
// The source whose dialog a button of the settings window opens, or null.
const TNameSource* FindNameSourceByButton(int buttonId);
// Makes the settings window's buttons of the sources' dialogs.
void AddNameSourceButtons(HWND dialog, HINSTANCE instance);
