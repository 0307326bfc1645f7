#include "NameSources.h"

#include "CrmNames.h"
#include "CrmNamesForm.h"
#include "CrmNamesRes.h"
#include "MainFormRes.h"
#include "OrgDirectoryForm.h"
#include "OrgDirectoryPart.h"
#include "OrgDirectoryRes.h"
#include "OrgDirectoryTexts.h"
#include "ResourceText.h"
#include "SqlDirectoryForm.h"
#include "SqlDirectoryPart.h"
#include "SqlDirectoryTexts.h"
#include "SqlDirectoryRes.h"
#include "SqlServers.h"

namespace {

// The dialog edits its source's own settings struct; OK puts it back into a copy of the whole.
template <class Settings>
auto PutBack(const TMainFormSettings& current, TNameSource::TApply onApply) {
    return [current, onApply = std::move(onApply)](const Settings& settings) {
        TMainFormSettings edited = current;
        static_cast<Settings&>(edited) = settings;
        onApply(edited);
    };
}

const TNameSource kSources[] = {
    {TSettingsPart::CrmNames,
     {IDC_BTNCRMNAMES, IDS_BTNCRMNAMES, 467, 246, 43, 12, IDC_EDITCRMURLTEMPLATE, false},
     &TCrmNames::Make,
     [](HINSTANCE instance, HWND owner, const TMainFormSettings& current, const TEnforcedSettings&,
        TNameSource::TApply onApply) {
         TCrmNamesForm::Show(instance, owner, current, PutBack<TCrmNamesSettings>(current, std::move(onApply)));
     },
     [] { TCrmNamesForm::CloseAll(); },
     nullptr},
    {TSettingsPart::OrgDirectory,
     {IDC_BTNORGDIRECTORY, IDS_BTNORGDIRECTORY, 127, 282, 124, 14, IDC_BTNEXIT, true},
     &TOrgDirectoryPart::Make,
     [](HINSTANCE instance, HWND owner, const TMainFormSettings& current, const TEnforcedSettings&,
        TNameSource::TApply onApply) {
         // The check normalises the numbers it finds as this office dials.
         TOrgDirectoryForm::Show(instance, owner, current, current,
                                 PutBack<TOrgDirectorySettings>(current, std::move(onApply)));
     },
     [] { TOrgDirectoryForm::CloseAll(); },
     [](const INameSourcePart* part) {
         // The sync runs on its own thread: its status is read as it stands now.
         const auto* org = static_cast<const TOrgDirectoryPart*>(part);
         return org ? OrgSyncStatusText(org->Directory().LastSync(), org->Directory().Enabled())
                    : OrgSyncStatusText({}, false);
     }},
    {TSettingsPart::SqlDirectory,
     {IDC_BTNSQLDIRECTORY, IDS_BTNSQLDIRECTORY, 256, 282, 89, 14, IDC_BTNORGDIRECTORY, true},
     nullptr,
     [](HINSTANCE instance, HWND owner, const TMainFormSettings& current, const TEnforcedSettings& enforced,
        TNameSource::TApply onApply) {
         // The move-over reads this PC's directory, unless it is a directory server's client.
         TSqlDirectoryForm::TMoveSource source{current.FAbonentPhoneDir, current.FUseRemoteDB && current.FDBAsClient};
         TSqlDirectoryForm::Show(instance, owner, current, std::move(source), enforced, ProgramSqlServers(),
                                 PutBack<TSqlSettings>(current, std::move(onApply)));
     },
     [] { TSqlDirectoryForm::CloseAll(); },
     [](const INameSourcePart* part) {
         // The sync runs on its own thread: its state is read as it stands now.
         const auto* sql = static_cast<const TSqlDirectoryPart*>(part);
         return SqlStatusText(sql ? sql->Directory().Status() : TSqlDirectoryStatus{});
     }},
};

}  // namespace

std::span<const TNameSource> NameSources() { return kSources; }

const TNameSource* FindNameSourceByButton(int buttonId) {
    for (const auto& source : kSources)
        if (source.Button.Id == buttonId) return &source;
    return nullptr;
}

void AddNameSourceButtons(HWND dialog, HINSTANCE instance) {
    const auto font = reinterpret_cast<WPARAM>(reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0)));
    for (const auto& source : kSources) {
        const TNameSource::TButton& button = source.Button;
        // Origin and size converted each by itself, as the dialog manager places a template's controls.
        RECT bounds{button.Left, button.Top, button.Width, button.Height};
        ::MapDialogRect(dialog, &bounds);
        const HWND made = ::CreateWindowExW(
            WS_EX_NOPARENTNOTIFY, L"BUTTON", LoadResourceString(button.CaptionId).c_str(),
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, bounds.left, bounds.top, bounds.right, bounds.bottom,
            dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(button.Id)), instance, nullptr);
        if (!made) continue;
        ::SendMessageW(made, WM_SETFONT, font, FALSE);
        ::SetWindowPos(made, ::GetDlgItem(dialog, button.After), 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}
