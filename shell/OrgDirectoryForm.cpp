#include "OrgDirectoryForm.h"

#include "DpapiText.h"
#include "OrgDirectoryRes.h"
#include "OrgDirectoryTexts.h"
#include "SettingControls.h"
#include "WindowPlacement.h"
#include "WindowText.h"

#include <utility>

namespace {

// Posted by the check's thread when its result is ready.
constexpr UINT kCheckDone = WM_APP + 1;

constexpr TItemText kTexts[] = {
    {IDC_ORGDIR_SERVERS_LABEL, IDS_ORGDIR_SERVERS_LABEL},
    {IDC_ORGDIR_BASE_LABEL, IDS_ORGDIR_BASE_LABEL},
    {IDC_ORGDIR_FILTER_LABEL, IDS_ORGDIR_FILTER_LABEL},
    {IDC_ORGDIR_PHONES_LABEL, IDS_ORGDIR_PHONES_LABEL},
    {IDC_ORGDIR_NAME_LABEL, IDS_ORGDIR_NAME_LABEL},
    {IDC_ORGDIR_COMMENTS_LABEL, IDS_ORGDIR_COMMENTS_LABEL},
    {IDC_ORGDIR_WINDOWS_LOGIN, IDS_ORGDIR_WINDOWS_LOGIN},
    {IDC_ORGDIR_BINDDN_LABEL, IDS_ORGDIR_BINDDN_LABEL},
    {IDC_ORGDIR_PASSWORD_LABEL, IDS_ORGDIR_PASSWORD_LABEL},
    {IDC_ORGDIR_MINUTES_LABEL, IDS_ORGDIR_MINUTES_LABEL},
    {IDC_ORGDIR_CHECK, IDS_ORGDIR_CHECK},
    {IDC_ORGDIR_NOTE, IDS_ORGDIR_NOTE},
    {IDC_ORGDIR_OK, IDS_ORGDIR_OK},
    {IDC_ORGDIR_CANCEL, IDS_ORGDIR_CANCEL},
};

}  // namespace

TOrgDirectoryForm::TOrgDirectoryForm(HINSTANCE instance, const TOrgDirectorySettings& current,
                                     const TDiallingSettings& dialling, TApply onApply)
    : TDialogBase(instance, IDS_ORGDIR_CAPTION, 0, MB_ICONERROR), FCurrent(current), FDialling(dialling),
      FOnApply(std::move(onApply)) {}

HWND TOrgDirectoryForm::Show(HINSTANCE instance, HWND owner, const TOrgDirectorySettings& current,
                             const TDiallingSettings& dialling, TApply onApply) {
    if (TOrgDirectoryForm* open = BringForward()) return open->FHandle;
    auto* form = new TOrgDirectoryForm(instance, current, dialling, std::move(onApply));
    const HWND window = form->CreateSelfDeletingDialog(IDD_ORGDIRECTORYFORM, owner);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    return window;
}

INT_PTR TOrgDirectoryForm::OnMessage(UINT message, WPARAM, LPARAM) {
    switch (message) {
    case kCheckDone:
        OnCheckDone();
        return TRUE;
    case WM_DESTROY:
        // A read still running is told to stop and posts nothing to a window that is gone.
        FCheck.Cancel();
        return FALSE;
    default:
        return FALSE;
    }
}

bool TOrgDirectoryForm::OnInit() {
    SetItemTexts(kTexts);
    TMainFormSettings shown;
    static_cast<TOrgDirectorySettings&>(shown) = FCurrent;
    TTrayMsgWinsSettings popups;
    ShowPartControls(FHandle, TSettingsPart::OrgDirectory, {shown, popups});
    // The period is the dialog's own: shown as the sync uses it.
    ::SetDlgItemTextW(FHandle, IDC_ORGDIR_MINUTES, std::to_wstring(SyncPeriodMinutes(FCurrent)).c_str());
    // The stored password is this user's: shown masked, so that OK keeps it.
    // One encrypted for someone else reads as empty and must be typed again.
    std::wstring password;
    if (UnprotectForUser(FCurrent.FLdapPassword, password))
        ::SetDlgItemTextW(FHandle, IDC_ORGDIR_PASSWORD, password.c_str());
    ::SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
    UpdateLoginControls();
    CentreOnOwner(FHandle);
    return true;
}

void TOrgDirectoryForm::OnCommand(int id, UINT code) {
    switch (id) {
    case IDC_ORGDIR_WINDOWS_LOGIN:
        if (code == BN_CLICKED) UpdateLoginControls();
        break;
    case IDC_ORGDIR_CHECK: btnCheckClick(); break;
    case IDC_ORGDIR_OK: btnOKClick(); break;
    case IDC_ORGDIR_CANCEL: Close(); break;
    default: break;
    }
}

void TOrgDirectoryForm::UpdateLoginControls() {
    // The Windows login needs no name and password of its own.
    const bool own = ::IsDlgButtonChecked(FHandle, IDC_ORGDIR_WINDOWS_LOGIN) != BST_CHECKED;
    for (int id : {IDC_ORGDIR_BINDDN_LABEL, IDC_ORGDIR_BINDDN, IDC_ORGDIR_PASSWORD_LABEL, IDC_ORGDIR_PASSWORD})
        ::EnableWindow(Item(id), own);
}

bool TOrgDirectoryForm::ReadControls(TOrgDirectorySettings& settings) const {
    // A row without a control here (an administrator's choice) keeps what came.
    TMainFormSettings read;
    static_cast<TOrgDirectorySettings&>(read) = FCurrent;
    TTrayMsgWinsSettings popups;
    ReadPartControls(FHandle, TSettingsPart::OrgDirectory, {read, popups});
    settings = read;
    // Blanks may belong to a password: it is taken as typed.
    std::wstring password = WindowText(Item(IDC_ORGDIR_PASSWORD));
    settings.FLdapPassword = ProtectForUser(password);
    ::SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
    BOOL isNumber = FALSE;
    const UINT minutes = ::GetDlgItemInt(FHandle, IDC_ORGDIR_MINUTES, &isNumber, FALSE);
    if (!isNumber || minutes < 1 || minutes > static_cast<UINT>(kMaxLdapSyncMinutes)) return false;
    settings.FLdapSyncMinutes = static_cast<int>(minutes);
    return true;
}

void TOrgDirectoryForm::ShowResult(const std::wstring& text) {
    ::SetDlgItemTextW(FHandle, IDC_ORGDIR_RESULT, text.c_str());
}

void TOrgDirectoryForm::btnCheckClick() {
    if (FCheck.Running()) return;
    TOrgDirectorySettings settings;
    if (!ReadControls(settings)) {
        ShowResult(ResourceText(IDS_ORGDIR_MINUTES_INVALID));
        return;
    }
    TOrgCheckResult lost;
    lost.Error.Kind = TOrgDirectoryFailure::Interrupted;
    const TDiallingSettings dialling = FDialling;
    const auto job = [settings, dialling](std::stop_token stop) {
        return CheckOrgDirectory(settings, dialling, {}, stop);
    };
    if (!FCheck.Start(job, FHandle, kCheckDone, lost)) return;
    ::EnableWindow(Item(IDC_ORGDIR_CHECK), FALSE);
    ShowResult(ResourceText(IDS_ORGDIR_CHECKING));
}

void TOrgDirectoryForm::OnCheckDone() {
    const std::optional<TOrgCheckResult> result = FCheck.Take();
    if (!result) return;
    ::EnableWindow(Item(IDC_ORGDIR_CHECK), TRUE);
    ShowResult(OrgCheckResultText(*result));
}

void TOrgDirectoryForm::btnOKClick() {
    TOrgDirectorySettings settings;
    if (!ReadControls(settings)) {
        ShowError(ResourceText(IDS_ORGDIR_MINUTES_INVALID));
        ::SetFocus(Item(IDC_ORGDIR_MINUTES));
        return;
    }
    // The same password again keeps its stored form: the file changes only when it does.
    std::wstring typed, stored;
    if (UnprotectForUser(settings.FLdapPassword, typed) && UnprotectForUser(FCurrent.FLdapPassword, stored) &&
        typed == stored)
        settings.FLdapPassword = FCurrent.FLdapPassword;
    ::SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
    ::SecureZeroMemory(stored.data(), stored.size() * sizeof(wchar_t));
    if (FOnApply) FOnApply(settings);
    Close();
}
