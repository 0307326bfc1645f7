// The settings window's way to the CRM name lookup's own dialog.
#include "CrmLookupForm.h"
#include "FormMain.h"
#include "SettingsStore.h"
#include "SettingsTable.h"

void TMainForm::btnCrmNamesClick() {
    TCrmLookupForm::Show(Instance(), FHandle, FSettings,
                         [this](const THttpLookupSettings& settings) { ApplyCrmNames(settings); });
}

void TMainForm::ApplyCrmNames(const THttpLookupSettings& settings) {
    TMainFormSettings edited = FSettings;
    static_cast<THttpLookupSettings&>(edited) = settings;
    // What an administrator fixed stays as the policy says, whatever the dialog held.
    TMainFormSettings stored = FSettings;
    TTrayMsgWinsSettings popups = FController->Popups().Settings();
    for (const TSettingRow& row : SettingsTable())
        if (!FSources.Enforced.Has(row)) row.Set({stored, popups}, row.Get({edited, popups}));
    // Stored first: a file that refuses them keeps the dialog open with the reason.
    SaveHttpLookup(FSettingsLocation, stored, &FSources);
    FSettings = stored;
    FController->ApplyHttpLookupSettings(FSettings);
}
