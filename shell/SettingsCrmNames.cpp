// The settings window's way to the CRM names' own dialog: its OK applies and
// stores the CRM names' settings alone.
#include "CrmLookupForm.h"
#include "FormMain.h"

void TMainForm::btnCrmNamesClick() {
    TCrmLookupForm::Show(Instance(), FHandle, FModel->Settings(), [this](const THttpLookupSettings& settings) {
        TMainFormSettings edited = FModel->Settings();
        static_cast<THttpLookupSettings&>(edited) = settings;
        FModel->Apply(TSettingsPart::CrmNames, edited);
    });
}
