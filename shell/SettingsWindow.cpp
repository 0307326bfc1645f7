// The settings window: TMainForm's controls, the copying between them and the
// settings fields (driven by the settings table), and their handlers.
#include "FormMain.h"

#include "PopupMonitorRes.h"
#include "TrayMsgWins.h"

#include "AllowListText.h"
#include "AppError.h"
#include "ConnectionTexts.h"
#include "EditFilters.h"
#include "EnforcedControls.h"
#include "ListText.h"
#include "NameSources.h"
#include "BrowseDialogs.h"
#include "ResourceText.h"
#include "ScopedFlag.h"
#include "ConnectionControls.h"
#include "SettingControls.h"
#include "SettingsChoices.h"
#include "SettingsTable.h"
#include "TextCompare.h"
#include "TextTrim.h"

#include <commctrl.h>

#include <algorithm>

namespace {

const wchar_t kPreviewWinID[] = L"TEST_CHANNEL";

bool Contains(const std::vector<std::wstring>& list, const std::wstring& text) {
    return std::any_of(list.begin(), list.end(), [&](const std::wstring& entry) {
        return SameTextIgnoringCase(entry, text);
    });
}

}  // namespace

void TMainForm::InitSettingsControls() {
    PrepareSettingsControls(FHandle, Scaled(120));
    // Number, name, region, comment: the lines a popup shows.
    FBoldButtons.Attach(FHandle, {{IDC_PHONESHOWCHECKBOX, IDC_PHONEBOLDBUTTON},
                                  {IDC_NAMESHOWCHECKBOX, IDC_NAMEBOLDBUTTON},
                                  {IDC_REGIONSHOWCHECKBOX, IDC_REGIONBOLDBUTTON},
                                  {IDC_COMMENTSHOWCHECKBOX, IDC_COMMENTBOLDBUTTON}});
    ::EnableWindow(Item(IDC_BTNAPPLY), FALSE);
}

namespace {

// Whether a control's notification is an edit of the setting it shows.
bool IsSettingChange(TSettingControl control, UINT code) {
    switch (control) {
    case TSettingControl::Edit:
    case TSettingControl::TrimmedEdit:
    case TSettingControl::IntegerEdit:
    case TSettingControl::LenientIntEdit:
    case TSettingControl::ListEdit:
    case TSettingControl::UrlTemplateEdit:
    case TSettingControl::AllowListEdit: return code == EN_CHANGE;
    case TSettingControl::ComboIndex:
    case TSettingControl::ComboText:
    case TSettingControl::ComboInteger: return code == CBN_SELCHANGE;
    case TSettingControl::CheckBox:
    case TSettingControl::BoldButton: return code == BN_CLICKED;
    // Every kind is named: a new kind of control must say how it changes.
    case TSettingControl::None:
    case TSettingControl::Special: return false;
    }
    return false;
}

}  // namespace

bool TMainForm::OnSettingsCommand(int id, UINT code) {
    const int control = id;
    const TSettingRow* row = FindSettingRowByControl(control);
    if (row && IsSettingChange(row->Control, code)) {
        FBoldButtons.Click(control);
        if (control == IDC_USEREMOTEDBCHECKBOX) UpdateConnectionControls();
        TWMParamChange();
        return true;
    }
    if (code != BN_CLICKED) return false;
    // A name source's own dialog: its OK applies and stores its part alone.
    if (const TNameSource* source = FindNameSourceByButton(id)) {
        const TSettingsPart part = source->Part;
        source->Show(Instance(), FHandle, FModel->Settings(), FModel->Sources().Enforced,
                     [this, part](const TMainFormSettings& edited) { FModel->Apply(part, edited); });
        return true;
    }
    switch (id) {
    case IDC_DBTYPE_SERVER:
    case IDC_DBTYPE_CLIENT:
        UpdateConnectionControls();
        TWMParamChange();
        return true;
    case IDC_BTNBROWSEAREAPATH:
        PickFolderInto(FHandle, IDC_LEAREAPATH, IDC_LEAREAPATH_LABEL);
        return true;
    case IDC_BTNBROWSEABONENTPATH:
        PickFolderInto(FHandle, IDC_LEABONENTPATH, IDC_LEABONENTPATH_LABEL);
        return true;
    case IDC_SELECTADDRESSBUTTON:
        PickComputerInto(FHandle, IDC_ADDRESSLABELEDEDIT, LoadResourceString(IDS_SELECT_COMPUTER));
        return true;
    case IDC_SETDEFAULTPORTBUTTON:
        SetDefaultPortButtonClick();
        return true;
    case IDC_TESTDBCONNECTIONBUTTON:
        TestDBConnectionButtonClick();
        return true;
    case IDC_SHOWHIDEPREVIEWWINDOWBUTTON:
        ShowHidePreviewWindowButtonClick();
        return true;
    case IDC_BTNAPPLY:
        btnApplyClick();
        return true;
    case IDC_BTNOK:
        btnOkClick();
        return true;
    case IDC_BTNCANCEL:
        btnCancelClick();
        return true;
    default:
        return false;
    }
}

bool TMainForm::OnSettingsNotify(const NMHDR& header) {
    if (header.hwndFrom != clbChannels.Handle() || header.code != LVN_ITEMCHANGED) return false;
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    // A check mark changed on an item that already had one (not a new item).
    const bool checkChanged = (change.uChanged & LVIF_STATE) != 0 &&
                              ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) != 0 &&
                              (change.uOldState & LVIS_STATEIMAGEMASK) != 0;
    if (checkChanged && !FChannelListLoading) TWMParamChange();
    return true;
}

void TMainForm::TWMParamChange() {
    if (!FParamLoading) ::EnableWindow(Item(IDC_BTNAPPLY), TRUE);
}

void TMainForm::ShowParams() {
    ScopedFlag loading(FParamLoading);
    // A copy only because the rows reach the settings through a writable reference.
    TMainFormSettings settings = FModel->Settings();
    ShowPartControls(FHandle, TSettingsPart::Main, {settings, FController->PopupSettings()},
                     [this](const TSettingRow& row, const TSettingValue& value) {
                         if (row.Control == TSettingControl::BoldButton) FBoldButtons.Set(row.ControlId, std::get<bool>(value));
                     });
    const int channelCount = clbChannels.Count();
    for (int i = 0; i < channelCount; ++i) clbChannels.SetChecked(i, Contains(settings.FChannels, clbChannels.Text(i)));

    // The connect box: a change connects or disconnects, and the directories
    // then get their folders from the edits as they open.
    const bool shown = ::IsDlgButtonChecked(FHandle, IDC_CBACTIVE) == BST_CHECKED;
    if (shown == settings.FActive) {
        FController->ApplyConnection(ShownConnection());
    } else {
        ::CheckDlgButton(FHandle, IDC_CBACTIVE, settings.FActive ? BST_CHECKED : BST_UNCHECKED);
        cbActiveClick();
    }

    FBoldButtons.FollowCheckBoxes();
    ::CheckRadioButton(FHandle, IDC_DBTYPE_SERVER, IDC_DBTYPE_CLIENT,
                       settings.FDBAsClient ? IDC_DBTYPE_CLIENT : IDC_DBTYPE_SERVER);
    UpdateConnectionControls();
    FCallActions.Apply(settings, FController->Popups());
}

TMainFormSettings TMainForm::ReadParams() {
    // The window edits a copy of the applied settings; the model applies it.
    TMainFormSettings edited = FModel->Settings();
    // Every control is read before any field changes: a popup size that is not
    // an integer stops the apply with nothing applied.
    ReadPartControls(FHandle, TSettingsPart::Main, {edited, FController->PopupSettings()},
                     [this](const TSettingRow& row) -> std::optional<TSettingValue> {
                         if (row.Control == TSettingControl::BoldButton) return FBoldButtons.IsBold(row.ControlId);
                         if (row.ControlId == IDC_CBACTIVE || row.ControlId == IDC_DBTYPE_CLIENT)
                             return ::IsDlgButtonChecked(FHandle, row.ControlId) == BST_CHECKED;
                         if (row.ControlId != IDC_CLBCHANNELS) return std::nullopt;
                         TSettingList checked;
                         const int count = clbChannels.Count();
                         for (int i = 0; i < count; ++i)
                             if (clbChannels.Checked(i)) checked.push_back(clbChannels.Text(i));
                         return checked;
                     });
    return edited;
}

void TMainForm::SettingsApplied(TSettingsPart part, const TMainFormSettings& settings) {
    FController->ApplyPart(part, settings);
    if (part == TSettingsPart::Main) {
        FCallActions.Apply(settings, FController->Popups());
        RestartDBServer();
    } else if (part == TSettingsPart::QuietHours) {
        FNotices->UpdateTrayHint();
    }
}

void TMainForm::btnApplyClick() {
    FModel->Apply(TSettingsPart::Main, ReadParams(), ShownConnection());
    ::EnableWindow(Item(IDC_BTNAPPLY), FALSE);
}

void TMainForm::btnOkClick() {
    btnApplyClick();
    ApplicationEventsMinimize();
}

void TMainForm::btnCancelClick() {
    ShowParams();
    ::EnableWindow(Item(IDC_BTNAPPLY), FALSE);
    ApplicationEventsMinimize();
}

void TMainForm::UpdateConnectionControls() {
    const auto checked = [this](int id) { return ::IsDlgButtonChecked(FHandle, id) == BST_CHECKED; };
    const TConnectionChoice choice{checked(IDC_CBACTIVE), checked(IDC_USEREMOTEDBCHECKBOX),
                                   checked(IDC_DBTYPE_CLIENT), FDBTest.Running()};
    for (const auto [id, shown] : ShownConnectionControls(choice)) ::ShowWindow(Item(id), shown ? SW_SHOWNA : SW_HIDE);
    for (const auto [id, enabled] : EnabledConnectionControls(choice)) ::EnableWindow(Item(id), enabled);
    // Every change of the window's own enabling ends here; what an administrator fixed stays disabled.
    if (FModel) DisableEnforcedControls(FHandle, FModel->Sources().Enforced);
}

void TMainForm::SetDefaultPortButtonClick() {
    TWMParamChange();
    SetItemText(IDC_PORTSPINEDIT, std::to_wstring(SharedDirectoryProtocol::kDefaultPort));
}

void TMainForm::ShowHidePreviewWindowButtonClick() {
    FController->Popups().TogglePreview(kPreviewWinID, LoadResourceString(IDS_PREVIEW_TEXT),
                                        {LoadResourceString(IDS_PREVIEW_PHONE), LoadResourceString(IDS_PREVIEW_NAME),
                                         LoadResourceString(IDS_PREVIEW_REGION), LoadResourceString(IDS_PREVIEW_COMMENT)});
}

void TMainForm::TestDBConnectionButtonClick() {
    // One test at a time: a second press while one runs is refused.
    if (!FDBTest.Start(ItemText(IDC_ADDRESSLABELEDEDIT), ItemText(IDC_PORTSPINEDIT), FHandle, WM_DBTESTDONE)) return;
    ::EnableWindow(Item(IDC_TESTDBCONNECTIONBUTTON), FALSE);
}

void TMainForm::OnDBTestDone() {
    const std::optional<TDBTestOutcome> outcome = FDBTest.Take();
    if (!outcome) return;
    UpdateConnectionControls();
    const TDBTestMessage message = DBTestMessage(*outcome);
    ShowMessage(message.Text, message.Icon);
}
