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
#include "IniValues.h"
#include "ListText.h"
#include "NetworkComputer.h"
#include "ResourceText.h"
#include "ScopedFlag.h"
#include "SettingsTable.h"
#include "TextCompare.h"
#include "TextTrim.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

namespace {

constexpr int kFirstFontSize = 7;
constexpr int kLastFontSize = 18;
constexpr int kFontListRows = 16;
const wchar_t kPreviewWinID[] = L"TEST_CHANNEL";

struct TShowLine {
    int CheckBox;
    int BoldButton;
};
// Number, name, region, comment: the lines a popup shows, in FBold's order.
constexpr TShowLine kShowLines[] = {
    {IDC_PHONESHOWCHECKBOX, IDC_PHONEBOLDBUTTON},
    {IDC_NAMESHOWCHECKBOX, IDC_NAMEBOLDBUTTON},
    {IDC_REGIONSHOWCHECKBOX, IDC_REGIONBOLDBUTTON},
    {IDC_COMMENTSHOWCHECKBOX, IDC_COMMENTBOLDBUTTON},
};

// Everything inside the shared-directory group, shown and hidden with it.
constexpr int kSharedDirectoryControls[] = {
    IDC_GROUPBOX1,       IDC_DBTYPERADIOGROUP,       IDC_DBTYPE_SERVER,       IDC_DBTYPE_CLIENT,
    IDC_ADDRESS_LABEL,   IDC_ADDRESSLABELEDEDIT,     IDC_SELECTADDRESSBUTTON, IDC_PORT_LABEL,
    IDC_PORTSPINEDIT,    IDC_PORTSPIN,               IDC_SETDEFAULTPORTBUTTON, IDC_TESTDBCONNECTIONBUTTON,
    IDC_DBALLOWEDCLIENTS_LABEL, IDC_DBALLOWEDCLIENTS,
};

int BoldIndex(int buttonId) {
    for (size_t i = 0; i < std::size(kShowLines); ++i)
        if (kShowLines[i].BoldButton == buttonId) return static_cast<int>(i);
    return -1;
}

bool IsShowCheckBox(int id) {
    return std::any_of(std::begin(kShowLines), std::end(kShowLines), [id](const TShowLine& line) {
        return line.CheckBox == id;
    });
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& text) {
    return std::any_of(list.begin(), list.end(), [&](const std::wstring& entry) {
        return SameTextIgnoringCase(entry, text);
    });
}

std::wstring WithoutMnemonic(std::wstring text) {
    text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
    return text;
}

std::wstring ComboText(HWND combo, int index) {
    const auto length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

void AddComboItem(HWND combo, const std::wstring& text) {
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int CALLBACK AddFontFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
    const auto combo = reinterpret_cast<HWND>(param);
    // Vertical variants ("@Name") are not faces a user picks.
    if (font->lfFaceName[0] == L'@') return TRUE;
    if (::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(font->lfFaceName)) == CB_ERR)
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(font->lfFaceName));
    return TRUE;
}

int CALLBACK BrowseFolderCallback(HWND dialog, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED && start) ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

}  // namespace

void TMainForm::InitSettingsControls() {
    for (UINT id : {IDS_POS_LEFTTOP, IDS_POS_RIGHTTOP, IDS_POS_LEFTBOTTOM, IDS_POS_RIGHTBOTTOM})
        AddComboItem(Item(IDC_CBTMWPOS), LoadResourceString(id));
    // The primary monitor, the one with the pointer, then each monitor by the number Windows gives it.
    AddComboItem(Item(IDC_CBMONITOR), LoadResourceString(IDS_MONITOR_PRIMARY));
    AddComboItem(Item(IDC_CBMONITOR), LoadResourceString(IDS_MONITOR_POINTER));
    int monitors = 1;
    for (const TMonitor& monitor : AttachedMonitors()) monitors = std::max(monitors, std::min(monitor.Number, 32));
    for (int number = 1; number <= monitors; ++number)
        AddComboItem(Item(IDC_CBMONITOR), FormatResourceString(IDS_MONITOR_NUMBER, std::to_wstring(number)));
    ::SendMessageW(Item(IDC_CBMONITOR), CB_SETDROPPEDWIDTH, static_cast<WPARAM>(Scaled(120)), 0);
    for (UINT id : {IDS_ANIMATE_NONE, IDS_ANIMATE_VERTICAL, IDS_ANIMATE_HORIZONTAL})
        AddComboItem(Item(IDC_CBTMWSTYLE), LoadResourceString(id));
    // In TCrmOpenMode's order.
    for (UINT id : {IDS_CRM_NEVER, IDS_CRM_BUTTON, IDS_CRM_ONANSWER})
        AddComboItem(Item(IDC_CBCRMOPENMODE), LoadResourceString(id));
    for (int size = kFirstFontSize; size <= kLastFontSize; ++size)
        AddComboItem(Item(IDC_CBFONTSIZES), std::to_wstring(size));
    for (int id : {IDC_CBFONTNAMES, IDC_CBFONTSIZES})
        ::SendMessageW(Item(id), CB_SETMINVISIBLE, kFontListRows, 0);
    FillFontNames();

    for (int id : {IDC_LECOUNTRYCODE, IDC_LECITYCODE, IDC_EDITTWMWIDTH, IDC_EDITTWMHEIGHT, IDC_EDITTWMROWS,
                   IDC_EDITTWMDISP})
        InstallEditFilter(Item(id), TEditFilter::Digits);
    for (int id : {IDC_LECITYPREFIX, IDC_LELONGDISTANCECARRIERCODE, IDC_LEINTERNATIONALCARRIERCODE})
        InstallEditFilter(Item(id), TEditFilter::Prefix);
    KeepEnterKey(clbChannels.Handle());
    ::SendMessageW(Item(IDC_PORTSPIN), UDM_SETRANGE32, 1, 65535);

    UpdateBoldFont();
    ::EnableWindow(Item(IDC_BTNAPPLY), FALSE);
}

void TMainForm::UpdateBoldFont() {
    LOGFONTW bold{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(FHandle, WM_GETFONT, 0, 0)), sizeof bold, &bold);
    bold.lfWeight = FW_BOLD;
    UniqueGdiObject font(::CreateFontIndirectW(&bold));
    // The buttons let go of the old font before it is deleted.
    for (const auto& line : kShowLines) {
        const int index = BoldIndex(line.BoldButton);
        const bool isBold = FBold[static_cast<size_t>(index)];
        if (isBold) ::SendMessageW(Item(line.BoldButton), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    FBoldFont = std::move(font);
}

void TMainForm::FillFontNames() {
    WindowDC screen(nullptr);
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    ::EnumFontFamiliesExW(screen.get(), &all, AddFontFamily, reinterpret_cast<LPARAM>(Item(IDC_CBFONTNAMES)), 0);
}

namespace {

// Whether a control's notification is an edit of the setting it shows.
bool IsSettingChange(TSettingControl control, UINT code) {
    switch (control) {
    case TSettingControl::Edit:
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
        if (IsShowCheckBox(control)) ShowCheckBoxClick(control);
        else if (row->Control == TSettingControl::BoldButton) BoldButtonClick(control);
        else if (control == IDC_USEREMOTEDBCHECKBOX) UseRemoteDBCheckBoxClick();
        else TWMParamChange();
        return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDC_DBTYPE_SERVER:
    case IDC_DBTYPE_CLIENT:
        DBTypeRadioGroupClick();
        return true;
    case IDC_BTNBROWSEAREAPATH:
        btnBrowseAreaPathClick();
        return true;
    case IDC_BTNBROWSEABONENTPATH:
        btnBrowseAbonentPathClick();
        return true;
    case IDC_SELECTADDRESSBUTTON:
        SelectAddressButtonClick();
        return true;
    case IDC_SETDEFAULTPORTBUTTON:
        SetDefaultPortButtonClick();
        return true;
    case IDC_TESTDBCONNECTIONBUTTON:
        TestDBConnectionButtonClick();
        return true;
    case IDC_BTNORGDIRECTORY:
        btnOrgDirectoryClick();
        return true;
    case IDC_SHOWHIDEPREVIEWWINDOWBUTTON:
        ShowHidePreviewWindowButtonClick();
        return true;
    case IDC_BTNCRMNAMES:
        btnCrmNamesClick();
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

void TMainForm::SetBold(int buttonId, bool bold) {
    const int index = BoldIndex(buttonId);
    if (index < 0) return;
    FBold[static_cast<size_t>(index)] = bold;
    const auto font = bold && FBoldFont ? reinterpret_cast<HFONT>(FBoldFont.get())
                                        : reinterpret_cast<HFONT>(::SendMessageW(FHandle, WM_GETFONT, 0, 0));
    ::SendMessageW(Item(buttonId), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

bool TMainForm::IsBold(int buttonId) const {
    const int index = BoldIndex(buttonId);
    return index >= 0 && FBold[static_cast<size_t>(index)];
}

void TMainForm::ShowParams() {
    ScopedFlag loading(FParamLoading);
    const TSettingsRef fields{FSettings, FController->Popups().Settings()};
    for (const auto& row : SettingsTable()) {
        const TSettingValue value = row.Get(fields);
        const HWND control = Item(row.ControlId);
        switch (row.Control) {
        case TSettingControl::CheckBox:
            ::CheckDlgButton(FHandle, row.ControlId, std::get<bool>(value) ? BST_CHECKED : BST_UNCHECKED);
            break;
        case TSettingControl::Edit:
        case TSettingControl::UrlTemplateEdit:
        case TSettingControl::AllowListEdit:
            SetItemText(row.ControlId, std::get<std::wstring>(value));
            break;
        case TSettingControl::IntegerEdit:
        case TSettingControl::LenientIntEdit:
            SetItemText(row.ControlId, std::to_wstring(std::get<int>(value)));
            break;
        case TSettingControl::ListEdit:
            SetItemText(row.ControlId, WriteListText(std::get<TSettingList>(value)));
            break;
        case TSettingControl::ComboIndex:
            // An index outside the list leaves it without a selection.
            ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(std::get<int>(value)), 0);
            break;
        case TSettingControl::ComboText:
        case TSettingControl::ComboInteger: {
            const std::wstring text = row.Control == TSettingControl::ComboText ? std::get<std::wstring>(value)
                                                                                : std::to_wstring(std::get<int>(value));
            auto found = ::SendMessageW(control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(text.c_str()));
            // CB_FINDSTRINGEXACT ignores case; the setting's text must match exactly.
            if (found != CB_ERR && ComboText(control, static_cast<int>(found)) != text) found = CB_ERR;
            ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
            break;
        }
        case TSettingControl::BoldButton:
            SetBold(row.ControlId, std::get<bool>(value));
            break;
        case TSettingControl::None:
        case TSettingControl::Special:
            break;
        }
    }
    const int channelCount = clbChannels.Count();
    for (int i = 0; i < channelCount; ++i) clbChannels.SetChecked(i, Contains(FSettings.FChannels, clbChannels.Text(i)));

    // The connect box: a change connects or disconnects, and the directories
    // then get their folders from the edits as they open.
    const bool shown = ::IsDlgButtonChecked(FHandle, IDC_CBACTIVE) == BST_CHECKED;
    if (shown == FSettings.FActive) {
        FController->ApplyConnection(ShownConnection());
    } else {
        ::CheckDlgButton(FHandle, IDC_CBACTIVE, FSettings.FActive ? BST_CHECKED : BST_UNCHECKED);
        cbActiveClick();
    }

    for (const auto& line : kShowLines) ShowCheckBoxClick(line.CheckBox);
    UseRemoteDBCheckBoxClick();
    ::CheckRadioButton(FHandle, IDC_DBTYPE_SERVER, IDC_DBTYPE_CLIENT,
                       FSettings.FDBAsClient ? IDC_DBTYPE_CLIENT : IDC_DBTYPE_SERVER);
    DBTypeRadioGroupClick();
    UpdateCrmLink();
}

void TMainForm::ApplyParams() {
    const TSettingsRef fields{FSettings, FController->Popups().Settings()};
    // Every control is read before any field changes: a popup size that is not
    // an integer stops the apply with nothing applied.
    std::vector<std::pair<const TSettingRow*, TSettingValue>> values;
    for (const auto& row : SettingsTable()) {
        const HWND control = Item(row.ControlId);
        TSettingValue value = row.Get(fields);
        switch (row.Control) {
        case TSettingControl::CheckBox:
            value = ::IsDlgButtonChecked(FHandle, row.ControlId) == BST_CHECKED;
            break;
        case TSettingControl::Edit:
            value = ItemText(row.ControlId);
            break;
        case TSettingControl::IntegerEdit: {
            const std::wstring text = ItemText(row.ControlId);
            const auto number = ParseIniInteger(text);
            if (!number) {
                ::SetFocus(control);
                ::SendMessageW(control, EM_SETSEL, 0, -1);
                throw AppError(FormatResourceString(IDS_NOT_AN_INTEGER, text));
            }
            value = *number;
            break;
        }
        case TSettingControl::LenientIntEdit:
            value = ParseIniInteger(ItemText(row.ControlId)).value_or(0);
            break;
        case TSettingControl::UrlTemplateEdit: {
            const std::wstring text = ItemText(row.ControlId);
            const TCrmTemplateVerdict verdict = CheckCrmTemplate(text);
            if (verdict.Check == TCrmTemplateCheck::SchemeRefused ||
                verdict.Check == TCrmTemplateCheck::UnknownPlaceholder) {
                ::SetFocus(control);
                ::SendMessageW(control, EM_SETSEL, 0, -1);
                throw AppError(verdict.Check == TCrmTemplateCheck::SchemeRefused
                                   ? LoadResourceString(IDS_CRM_SCHEME_REFUSED)
                                   : FormatResourceString(IDS_CRM_UNKNOWN_PLACEHOLDER, verdict.Detail));
            }
            value = TrimControlChars(text);
            break;
        }
        case TSettingControl::AllowListEdit: {
            const std::wstring text = ItemText(row.ControlId);
            if (const auto unreadable = TAllowedClients::Parse(text).FirstUnreadable()) {
                ::SetFocus(control);
                ::SendMessageW(control, EM_SETSEL, 0, -1);
                throw AppError(UnreadableAllowListText(*unreadable, TAllowListContext::Apply));
            }
            value = text;
            break;
        }
        case TSettingControl::ListEdit: {
            TSettingList list = ReadListText(ItemText(row.ControlId));
            if (row.Store == TSettingStore::PrefixList) TrimListEntries(list);
            value = std::move(list);
            break;
        }
        case TSettingControl::ComboIndex: {
            // No selection keeps the stored value.
            const auto index = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
            if (index != CB_ERR) value = static_cast<int>(index);
            break;
        }
        case TSettingControl::ComboText:
        case TSettingControl::ComboInteger: {
            const auto index = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
            if (index == CB_ERR) break;
            const std::wstring text = ComboText(control, static_cast<int>(index));
            if (row.Control == TSettingControl::ComboText) value = text;
            else if (auto number = ParseIniInteger(text)) value = *number;
            break;
        }
        case TSettingControl::BoldButton:
            value = IsBold(row.ControlId);
            break;
        case TSettingControl::Special:
            if (row.ControlId == IDC_CBACTIVE) {
                value = ::IsDlgButtonChecked(FHandle, IDC_CBACTIVE) == BST_CHECKED;
            } else if (row.ControlId == IDC_DBTYPE_CLIENT) {
                value = ::IsDlgButtonChecked(FHandle, IDC_DBTYPE_CLIENT) == BST_CHECKED;
            } else if (row.ControlId == IDC_CLBCHANNELS) {
                TSettingList checked;
                const int count = clbChannels.Count();
                for (int i = 0; i < count; ++i)
                    if (clbChannels.Checked(i)) checked.push_back(clbChannels.Text(i));
                value = std::move(checked);
            }
            break;
        case TSettingControl::None:
            break;
        }
        values.emplace_back(&row, std::move(value));
    }
    for (const auto& [row, value] : values) row->Set(fields, value);

    FController->ApplySettings(FSettings);
    UpdateCrmLink();
    RestartDBServer();
}

void TMainForm::btnApplyClick() {
    ApplyParams();
    SaveDBParams(FSettingsLocation, FSettings, &FSources);
    SaveParams(FSettingsLocation, FSettings, FController->Popups().Settings(), ShownConnection(), &FSources);
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

void TMainForm::UpdatePathControls() {
    const bool remoteClient = ::IsDlgButtonChecked(FHandle, IDC_USEREMOTEDBCHECKBOX) == BST_CHECKED &&
                              ::IsDlgButtonChecked(FHandle, IDC_DBTYPE_CLIENT) == BST_CHECKED;
    const bool enabled = ::IsDlgButtonChecked(FHandle, IDC_CBACTIVE) != BST_CHECKED && !remoteClient;
    for (int id : {IDC_LEAREAPATH, IDC_BTNBROWSEAREAPATH, IDC_LEABONENTPATH, IDC_BTNBROWSEABONENTPATH})
        ::EnableWindow(Item(id), enabled);
    // Every change of the window's own enabling ends here; what an administrator fixed stays disabled.
    DisableEnforcedControls(FHandle, FSources.Enforced);
}

void TMainForm::UseRemoteDBCheckBoxClick() {
    const bool shown = ::IsDlgButtonChecked(FHandle, IDC_USEREMOTEDBCHECKBOX) == BST_CHECKED;
    for (int id : kSharedDirectoryControls) ::ShowWindow(Item(id), shown ? SW_SHOWNA : SW_HIDE);
    UpdatePathControls();
    TWMParamChange();
}

void TMainForm::DBTypeRadioGroupClick() {
    const bool client = ::IsDlgButtonChecked(FHandle, IDC_DBTYPE_CLIENT) == BST_CHECKED;
    ::EnableWindow(Item(IDC_ADDRESSLABELEDEDIT), client);
    ::EnableWindow(Item(IDC_SELECTADDRESSBUTTON), client);
    // A test already running keeps its button disabled until it ends.
    ::EnableWindow(Item(IDC_TESTDBCONNECTIONBUTTON), client && !FDBTest.joinable());
    UpdatePathControls();
    TWMParamChange();
}

void TMainForm::ShowCheckBoxClick(int checkBoxId) {
    for (const auto& line : kShowLines)
        if (line.CheckBox == checkBoxId)
            ::EnableWindow(Item(line.BoldButton), ::IsDlgButtonChecked(FHandle, checkBoxId) == BST_CHECKED);
    TWMParamChange();
}

void TMainForm::BoldButtonClick(int buttonId) {
    SetBold(buttonId, !IsBold(buttonId));
    TWMParamChange();
}

void TMainForm::SetDefaultPortButtonClick() {
    TWMParamChange();
    SetItemText(IDC_PORTSPINEDIT, std::to_wstring(DirectoryProtocol::kDefaultPort));
}

void TMainForm::SelectAddressButtonClick() {
    std::wstring name;
    if (SelectNetworkComputer(FHandle, LoadResourceString(IDS_SELECT_COMPUTER), name))
        SetItemText(IDC_ADDRESSLABELEDEDIT, name);
}

void TMainForm::BrowseFolderInto(int editId, int labelId) {
    const std::wstring title = WithoutMnemonic(ItemText(labelId));
    const std::wstring start = ItemText(editId);
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW browse{};
    browse.hwndOwner = FHandle;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_NEWDIALOGSTYLE | BIF_RETURNONLYFSDIRS;
    browse.lpfn = BrowseFolderCallback;
    browse.lParam = reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
    if (!chosen) return;
    std::wstring path(32768, L'\0');
    const bool ok = ::SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
    ::CoTaskMemFree(chosen);
    if (!ok) return;
    path.resize(path.find(L'\0'));
    SetItemText(editId, path);
}

void TMainForm::ShowHidePreviewWindowButtonClick() {
    TTrayMsgWins& popups = FController->Popups();
    TTrayMsgWinCollection& items = popups.Items();
    PreviewItem = items.FindItemWinID(kPreviewWinID);
    if (PreviewItem) {
        const bool visible = popups.IsFormTMWVisible(PreviewItem);
        PreviewItem->Free();
        PreviewItem = nullptr;
        if (visible) return;
    }
    TTrayMsgWinUpdateBracket bracket(items);
    PreviewItem = items.Add();
    const std::wstring text = LoadResourceString(IDS_PREVIEW_TEXT);
    const std::wstring phone = LoadResourceString(IDS_PREVIEW_PHONE);
    PreviewItem->SetTitle(text);
    PreviewItem->SetSimpleText(text);
    PreviewItem->SetWinID(kPreviewWinID);
    PreviewItem->SetClipboardText(phone);
    PreviewItem->Caller = {phone, LoadResourceString(IDS_PREVIEW_NAME), LoadResourceString(IDS_PREVIEW_REGION),
                           LoadResourceString(IDS_PREVIEW_COMMENT)};
    PreviewItem->IsPreview = true;
    PreviewItem->UseRichText = true;
    PreviewItem->SetVisible(true);
}

void TMainForm::TestDBConnectionButtonClick() {
    // One test at a time: a second press while one runs is refused.
    if (FDBTest.joinable()) return;
    const std::wstring host = ItemText(IDC_ADDRESSLABELEDEDIT);
    const int port = ParseIniInteger(ItemText(IDC_PORTSPINEDIT)).value_or(0);
    ::EnableWindow(Item(IDC_TESTDBCONNECTIONBUTTON), FALSE);
    const HWND window = FHandle;
    // The test may take seconds: it runs on a thread of its own, which hands its
    // outcome over and posts; the window shows it. A failure of the test itself
    // leaves no outcome, which reads as a failed connection.
    TDirectoryClient* client = &FController->DirectoryClient();
    FDBTest = std::thread([this, client, window, host, port] {
        try {
            const TDBTestOutcome outcome = client->TestConnection(host, port);
            std::lock_guard<std::mutex> lock(FDBTestLock);
            FDBTestResult = outcome;
        } catch (...) {
        }
        ::PostMessageW(window, WM_DBTESTDONE, 0, 0);
    });
}

void TMainForm::OnDBTestDone() {
    if (FDBTest.joinable()) FDBTest.join();
    std::optional<TDBTestOutcome> outcome;
    {
        std::lock_guard<std::mutex> lock(FDBTestLock);
        outcome.swap(FDBTestResult);
    }
    ::EnableWindow(Item(IDC_TESTDBCONNECTIONBUTTON),
                   ::IsDlgButtonChecked(FHandle, IDC_DBTYPE_CLIENT) == BST_CHECKED);
    const TDBTestMessage message = DBTestMessage(outcome.value_or(TDBTestOutcome::CannotConnect));
    ShowMessage(message.Text, message.Icon);
}

TMainFormSettings TMainForm::KeepingEnforced(TMainFormSettings edited) const {
    // What an administrator fixed stays as the policy says, whatever a dialog held.
    TMainFormSettings kept = FSettings;
    TTrayMsgWinsSettings popups = FController->Popups().Settings();
    for (const TSettingRow& row : SettingsTable())
        if (!FSources.Enforced.Has(row)) row.Set({kept, popups}, row.Get({edited, popups}));
    return kept;
}
