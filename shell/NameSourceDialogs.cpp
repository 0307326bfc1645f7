#include "NameSourceDialogs.h"

#include "CrmNamesForm.h"
#include "MainFormRes.h"
#include "OrgDirectoryForm.h"
#include "SqlDirectoryForm.h"
#include "SqlDirectoryRes.h"
#include "SqlServers.h"

namespace {

// The dialog edits its source's own settings struct; OK puts it back into a copy of the whole.
template <class Settings>
auto PutBack(const TMainFormSettings& current, TNameSourceDialog::TApply onApply) {
    return [current, onApply = std::move(onApply)](const Settings& settings) {
        TMainFormSettings edited = current;
        static_cast<Settings&>(edited) = settings;
        onApply(edited);
    };
}

const TNameSourceDialog kDialogs[] = {
    {IDC_BTNCRMNAMES, TSettingsPart::CrmNames,
     [](HINSTANCE instance, HWND owner, const TMainFormSettings& current, const TEnforcedSettings&,
        TNameSourceDialog::TApply onApply) {
         TCrmNamesForm::Show(instance, owner, current, PutBack<TCrmNamesSettings>(current, std::move(onApply)));
     },
     [] { TCrmNamesForm::CloseAll(); }},
    {IDC_BTNORGDIRECTORY, TSettingsPart::OrgDirectory,
     [](HINSTANCE instance, HWND owner, const TMainFormSettings& current, const TEnforcedSettings&,
        TNameSourceDialog::TApply onApply) {
         // The check normalises the numbers it finds as this office dials.
         TOrgDirectoryForm::Show(instance, owner, current, current,
                                 PutBack<TOrgDirectorySettings>(current, std::move(onApply)));
     },
     [] { TOrgDirectoryForm::CloseAll(); }},
    {IDC_BTNSQLDIRECTORY, TSettingsPart::SqlDirectory,
     [](HINSTANCE instance, HWND owner, const TMainFormSettings& current, const TEnforcedSettings& enforced,
        TNameSourceDialog::TApply onApply) {
         // The move-over reads this PC's directory, unless it is a directory server's client.
         TSqlDirectoryForm::TMoveSource source{current.FAbonentPhoneDir, current.FUseRemoteDB && current.FDBAsClient};
         TSqlDirectoryForm::Show(instance, owner, current, std::move(source), enforced, ProgramSqlServers(),
                                 PutBack<TSqlSettings>(current, std::move(onApply)));
     },
     [] { TSqlDirectoryForm::CloseAll(); }},
};

}  // namespace

std::span<const TNameSourceDialog> NameSourceDialogs() { return kDialogs; }

const TNameSourceDialog* FindNameSourceDialog(int buttonId) {
    for (const auto& dialog : kDialogs)
        if (dialog.ButtonId == buttonId) return &dialog;
    return nullptr;
}
