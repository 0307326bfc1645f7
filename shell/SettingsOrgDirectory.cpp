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
    FSettings = KeepingEnforced(edited);
    FController->ApplySettings(FSettings);
    // What the dialog's OK applies is read at once: a corrected password or
    // server need not wait for the next retry.
    FController->OrgDirectory().SyncNow();
    // Only the applied settings are stored: edits still pending in the settings
    // window wait for its own "Применить".
    SaveParams(FSettingsLocation, FSettings, FController->Popups().Settings(),
               {FSettings.FActive, FSettings.FServerName, FSettings.FCityCodesDir, FSettings.FAbonentPhoneDir},
               &FSources);
}
