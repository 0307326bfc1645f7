#include "QuietHoursForm.h"

#include "QuietTime.h"
#include "QuietTimeRes.h"
#include "TextTrim.h"
#include "WindowPlacement.h"
#include "WindowText.h"

TQuietHoursForm::TQuietHoursForm(HINSTANCE instance, TQuietHoursText current, TApply onApply)
    : TDialogBase(instance, IDS_QUIET_HOURS_CAPTION), FCurrent(std::move(current)), FOnApply(std::move(onApply)) {}

HWND TQuietHoursForm::Show(HINSTANCE instance, const TQuietHoursText& current, TApply onApply) {
    if (TQuietHoursForm* open = Current()) {
        BringWindowForward(open->FHandle);
        return open->FHandle;
    }
    auto* form = new TQuietHoursForm(instance, current, std::move(onApply));
    form->CreateSelfDeletingDialog(IDD_QUIETHOURS, nullptr);
    BringWindowForward(form->FHandle);
    return form->FHandle;
}

bool TQuietHoursForm::OnInit() {
    ::CheckDlgButton(FHandle, IDC_QUIET_HOURS, FCurrent.Hours ? BST_CHECKED : BST_UNCHECKED);
    ::SetDlgItemTextW(FHandle, IDC_QUIET_FROM, FCurrent.From.c_str());
    ::SetDlgItemTextW(FHandle, IDC_QUIET_TO, FCurrent.To.c_str());
    ::CheckDlgButton(FHandle, IDC_QUIET_BUSY, FCurrent.WhenBusy ? BST_CHECKED : BST_UNCHECKED);
    UpdateEnabled();
    return true;
}

void TQuietHoursForm::UpdateEnabled() {
    const bool hours = ::IsDlgButtonChecked(FHandle, IDC_QUIET_HOURS) == BST_CHECKED;
    for (int id : {IDC_QUIET_FROM_LABEL, IDC_QUIET_FROM, IDC_QUIET_TO_LABEL, IDC_QUIET_TO})
        ::EnableWindow(Item(id), hours);
}

void TQuietHoursForm::OnCommand(int id, UINT code) {
    switch (id) {
    case IDC_QUIET_HOURS:
        if (code == BN_CLICKED) UpdateEnabled();
        break;
    case IDOK: btnOKClick(); break;
    case IDCANCEL: Close(); break;
    default: break;
    }
}

void TQuietHoursForm::btnOKClick() {
    TQuietHoursText edited;
    edited.Hours = ::IsDlgButtonChecked(FHandle, IDC_QUIET_HOURS) == BST_CHECKED;
    edited.From = TrimControlChars(WindowText(Item(IDC_QUIET_FROM)));
    edited.To = TrimControlChars(WindowText(Item(IDC_QUIET_TO)));
    edited.WhenBusy = ::IsDlgButtonChecked(FHandle, IDC_QUIET_BUSY) == BST_CHECKED;
    // Times are checked even with the hours off: they are stored either way.
    for (int id : {IDC_QUIET_FROM, IDC_QUIET_TO}) {
        if (ParseClockTime(TrimControlChars(WindowText(Item(id)))) >= 0) continue;
        ShowError(ResourceText(IDS_QUIET_HOURS_REFUSED));
        ::SetFocus(Item(id));
        return;
    }
    const TApply apply = FOnApply;
    Close();
    if (apply) apply(edited);
}
