// The settings window's part of the organisation's directory: its own dialog,
// whose OK applies and stores the directory's settings at once.
#include "FormMain.h"

#include "OrgDirectoryForm.h"

void TMainForm::btnOrgDirectoryClick() {
    TOrgDirectoryForm::Show(Instance(), FHandle, FSettings, FSettings,
                            [this](const TOrgDirectorySettings& settings) { ApplyOrgDirectorySettings(settings); });
}

void TMainForm::ApplyOrgDirectorySettings(const TOrgDirectorySettings& settings) {
    TMainFormSettings edited = FSettings;
    static_cast<TOrgDirectorySettings&>(edited) = settings;
    // What an administrator fixed stays as the policy says, whatever the dialog held.
    TTrayMsgWinsSettings popups = FController->Popups().Settings();
    const TSettingsRef from{edited, popups};
    const TSettingsRef into{FSettings, popups};
    for (const TSettingRow& row : SettingsTable())
        if (!FSources.Enforced.Has(row)) row.Set(into, row.Get(from));
    FController->ApplySettings(FSettings);
    // Only the applied settings are stored: edits still pending in the settings
    // window wait for its own "Применить".
    SaveParams(FSettingsLocation, FSettings, FController->Popups().Settings(),
               {FSettings.FActive, FSettings.FServerName, FSettings.FCityCodesDir, FSettings.FAbonentPhoneDir},
               &FSources);
}
