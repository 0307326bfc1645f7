// The settings window's way to the CRM names' own dialog: its OK applies and
// stores the CRM names' settings alone.
#include "CrmNamesForm.h"
#include "FormMain.h"

void TMainForm::btnCrmNamesClick() {
    TCrmNamesForm::Show(Instance(), FHandle, FModel->Settings(), [this](const TCrmNamesSettings& settings) {
        TMainFormSettings edited = FModel->Settings();
        static_cast<TCrmNamesSettings&>(edited) = settings;
        FModel->Apply(TSettingsPart::CrmNames, edited);
    });
}
