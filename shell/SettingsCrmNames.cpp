// The settings window's way to the CRM name lookup's own dialog.
#include "CrmLookupForm.h"
#include "FormMain.h"
#include "SettingsStore.h"

void TMainForm::btnCrmNamesClick() {
    TCrmLookupForm::Show(FInstance, FHandle, FSettings,
                         [this](const THttpLookupSettings& settings) { ApplyCrmNames(settings); });
}

void TMainForm::ApplyCrmNames(const THttpLookupSettings& settings) {
    TMainFormSettings stored = FSettings;
    static_cast<THttpLookupSettings&>(stored) = settings;
    // Stored first: a file that refuses them keeps the dialog open with the reason.
    SaveHttpLookup(FSettingsLocation, stored);
    static_cast<THttpLookupSettings&>(FSettings) = settings;
    FController->ApplyHttpLookupSettings(settings);
}
