// The settings window's way to the CRM name lookup's own dialog.
#include "CrmLookupForm.h"
#include "FormMain.h"
#include "SettingsStore.h"

void TMainForm::btnCrmNamesClick() {
    TCrmLookupForm::Show(Instance(), FHandle, FSettings,
                         [this](const THttpLookupSettings& settings) { ApplyCrmNames(settings); });
}

void TMainForm::ApplyCrmNames(const THttpLookupSettings& settings) {
    TMainFormSettings edited = FSettings;
    static_cast<THttpLookupSettings&>(edited) = settings;
    const TMainFormSettings stored = KeepingEnforced(edited);
    // Stored first: a file that refuses them keeps the dialog open with the reason.
    SaveHttpLookup(FSettingsLocation, stored, &FSources);
    FSettings = stored;
    FController->ApplyHttpLookupSettings(FSettings);
}
