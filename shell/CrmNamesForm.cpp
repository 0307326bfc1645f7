#include "CrmNamesForm.h"

#include "CrmNamesRes.h"
#include "CrmNamesTexts.h"
#include "CrmNamesLookup.h"
#include "SettingControls.h"
#include "TextTrim.h"
#include "UniqueHandle.h"
#include "WindowPlacement.h"
#include "WindowText.h"

#include <utility>

namespace {

// Posted by the check's thread when its result is ready.
constexpr UINT kCheckDone = WM_APP + 1;

constexpr TItemText kTexts[] = {
    {IDC_LOOKUP_URL_LABEL, IDS_LOOKUP_URL_LABEL},
    {IDC_LOOKUP_NAMEPATH_LABEL, IDS_LOOKUP_NAMEPATH_LABEL},
    {IDC_LOOKUP_COMMENTPATH_LABEL, IDS_LOOKUP_COMMENTPATH_LABEL},
    {IDC_LOOKUP_TIMEOUT_LABEL, IDS_LOOKUP_TIMEOUT_LABEL},
    {IDC_LOOKUP_HEADER_LABEL, IDS_LOOKUP_HEADER_LABEL},
    {IDC_LOOKUP_HEADER_NOTE, IDS_LOOKUP_HEADER_NOTE},
    {IDC_LOOKUP_TEST_GROUP, IDS_LOOKUP_TEST_GROUP},
    {IDC_LOOKUP_TEST_LABEL, IDS_LOOKUP_TEST_LABEL},
    {IDC_LOOKUP_CHECK, IDS_LOOKUP_CHECK},
    {IDC_LOOKUP_OK, IDS_LOOKUP_OK},
    {IDC_LOOKUP_CANCEL, IDS_LOOKUP_CANCEL},
};

// The control whose text a refused verdict is about.
int ControlOf(TCrmNamesCheck check) {
    switch (check) {
    case TCrmNamesCheck::NamePathRefused: return IDC_LOOKUP_NAMEPATH;
    case TCrmNamesCheck::CommentPathRefused: return IDC_LOOKUP_COMMENTPATH;
    case TCrmNamesCheck::HeaderRefused: return IDC_LOOKUP_HEADER;
    default: return IDC_LOOKUP_URL;
    }
}

}  // namespace

TCrmNamesForm::TCrmNamesForm(HINSTANCE instance, const TCrmNamesSettings& current, TApply onApply)
    : TDialogBase(instance, IDS_LOOKUP_CAPTION, 0, MB_ICONERROR), FCurrent(current), FOnApply(std::move(onApply)) {}

HWND TCrmNamesForm::Show(HINSTANCE instance, HWND owner, const TCrmNamesSettings& current, TApply onApply) {
    if (TCrmNamesForm* open = BringForward()) return open->FHandle;
    auto* form = new TCrmNamesForm(instance, current, std::move(onApply));
    const HWND window = form->CreateSelfDeletingDialog(IDD_CRMLOOKUPFORM, owner);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    return window;
}

INT_PTR TCrmNamesForm::OnMessage(UINT message, WPARAM, LPARAM) {
    switch (message) {
    case kCheckDone:
        OnCheckDone();
        return TRUE;
    case WM_DESTROY:
        // No result may be posted to a window that is gone.
        FCheck.Cancel();
        return FALSE;
    default:
        return FALSE;
    }
}

bool TCrmNamesForm::OnInit() {
    SetItemTexts(kTexts);
    TMainFormSettings shown;
    static_cast<TCrmNamesSettings&>(shown) = FCurrent;
    TTrayMsgWinsSettings popups;
    ShowPartControls(FHandle, TSettingsPart::CrmNames, {shown, popups});
    // The time-out is the dialog's own: a number in a range.
    ::SetDlgItemTextW(FHandle, IDC_LOOKUP_TIMEOUT, std::to_wstring(FCurrent.LookupTimeoutMs).c_str());

    CentreOnOwner(FHandle);
    return true;
}

void TCrmNamesForm::OnCommand(int id, UINT) {
    switch (id) {
    case IDC_LOOKUP_CHECK: btnCheckClick(); break;
    case IDC_LOOKUP_OK: btnOKClick(); break;
    case IDC_LOOKUP_CANCEL: Close(); break;
    default: break;
    }
}

bool TCrmNamesForm::ReadControls(TCrmNamesSettings& settings) {
    TMainFormSettings read;
    static_cast<TCrmNamesSettings&>(read) = FCurrent;
    TTrayMsgWinsSettings popups;
    ReadPartControls(FHandle, TSettingsPart::CrmNames, {read, popups});
    settings = read;
    BOOL isNumber = FALSE;
    const UINT timeout = ::GetDlgItemInt(FHandle, IDC_LOOKUP_TIMEOUT, &isNumber, FALSE);
    if (!isNumber || timeout < static_cast<UINT>(kLookupTimeoutMinMs) ||
        timeout > static_cast<UINT>(kLookupTimeoutMaxMs))
        return false;
    settings.LookupTimeoutMs = static_cast<int>(timeout);
    return true;
}

void TCrmNamesForm::ShowResult(const std::wstring& text) {
    ::SetDlgItemTextW(FHandle, IDC_LOOKUP_RESULT, text.c_str());
}

void TCrmNamesForm::btnCheckClick() {
    if (FCheck.Running()) return;
    TCrmNamesSettings settings;
    if (!ReadControls(settings)) {
        ShowResult(ResourceText(IDS_LOOKUP_TIMEOUT_INVALID));
        return;
    }
    const TCrmNamesVerdict verdict = CheckCrmNamesSettings(settings);
    if (verdict.Check != TCrmNamesCheck::Accepted) {
        ShowResult(CrmNamesVerdictText(verdict));
        return;
    }
    const std::wstring number = TrimControlChars(WindowText(Item(IDC_LOOKUP_TEST_NUMBER)));
    if (number.empty()) {
        ShowResult(ResourceText(IDS_LOOKUP_NEED_NUMBER));
        return;
    }
    // The job owns what it uses: the dialog may close while it runs.
    const auto job = [settings, number](std::stop_token stop) {
        UniqueKernelHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        // Only sets the event: the request ends as cancelled on the worker.
        const std::stop_callback onStop(stop, [event = cancel.get()] { ::SetEvent(event); });
        return LookUpNameOverHttp(settings, number, {}, cancel.get());
    };
    if (!FCheck.Start(job, FHandle, kCheckDone, TCrmNamesResult::Fail(TCrmNamesError::Internal, {}))) return;
    ::EnableWindow(Item(IDC_LOOKUP_CHECK), FALSE);
    ShowResult(ResourceText(IDS_LOOKUP_CHECKING));
}

void TCrmNamesForm::OnCheckDone() {
    const std::optional<TCrmNamesResult> result = FCheck.Take();
    if (!result) return;
    ::EnableWindow(Item(IDC_LOOKUP_CHECK), TRUE);
    ShowResult(CrmNamesResultText(*result));
}

void TCrmNamesForm::btnOKClick() {
    TCrmNamesSettings settings;
    if (!ReadControls(settings)) {
        ShowError(ResourceText(IDS_LOOKUP_TIMEOUT_INVALID));
        ::SetFocus(Item(IDC_LOOKUP_TIMEOUT));
        return;
    }
    const TCrmNamesVerdict verdict = CheckCrmNamesSettings(settings);
    if (verdict.Check != TCrmNamesCheck::Accepted && verdict.Check != TCrmNamesCheck::Off) {
        ShowError(CrmNamesVerdictText(verdict));
        ::SetFocus(Item(ControlOf(verdict.Check)));
        return;
    }
    if (FOnApply) FOnApply(settings);
    Close();
}
