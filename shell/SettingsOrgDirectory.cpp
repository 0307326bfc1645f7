// The settings window's way to the organisation's directory's own dialog: its
// OK applies and stores the directory's settings alone.
#include "FormMain.h"

#include "OrgDirectoryForm.h"

void TMainForm::btnOrgDirectoryClick() {
    TOrgDirectoryForm::Show(Instance(), FHandle, FModel->Settings(), FModel->Settings(),
                            [this](const TOrgDirectorySettings& settings) {
                                TMainFormSettings edited = FModel->Settings();
                                static_cast<TOrgDirectorySettings&>(edited) = settings;
                                FModel->Apply(TSettingsPart::OrgDirectory, edited);
                            });
}
