// "Не беспокоить" in the tray: the submenu, its choices, and the tray's hint
// and icon following quiet time and the missed calls not yet seen.
#include "FormMain.h"

#include "ExceptionText.h"
#include "QuietTimeRes.h"
#include "SettingsStore.h"
#include "ResourceText.h"
#include "UniqueHandle.h"

void TMainForm::AddQuietMenu(HMENU trayMenu) {
    if (!FController) return;
    HMENU quiet = ::CreatePopupMenu();
    if (!quiet) return;
    const bool asked = FController->Quiet().Asked();
    ::AppendMenuW(quiet, MF_STRING, IDM_QUIET_HOUR, LoadResourceString(IDS_QUIET_HOUR).c_str());
    ::AppendMenuW(quiet, MF_STRING, IDM_QUIET_MORNING, LoadResourceString(IDS_QUIET_MORNING).c_str());
    ::AppendMenuW(quiet, MF_STRING, IDM_QUIET_ENDLESS, LoadResourceString(IDS_QUIET_ENDLESS).c_str());
    ::AppendMenuW(quiet, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(quiet, MF_STRING | (asked ? MF_ENABLED : MF_GRAYED), IDM_QUIET_OFF,
                  LoadResourceString(IDS_QUIET_OFF).c_str());
    ::AppendMenuW(quiet, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(quiet, MF_STRING, IDM_QUIET_HOURS, LoadResourceString(IDS_QUIET_HOURS_MENU).c_str());
    // Just above the journal's item; the tray menu owns the submenu from here on.
    if (!::InsertMenuW(trayMenu, IDM_PMNUJOURNAL, MF_BYCOMMAND | MF_POPUP | (asked ? MF_CHECKED : MF_UNCHECKED),
                       reinterpret_cast<UINT_PTR>(quiet), LoadResourceString(IDS_QUIET_MENU).c_str()))
        ::DestroyMenu(quiet);
}

void TMainForm::QuietMenuClick(int id) {
    TQuietTime& quiet = FController->Quiet();
    switch (id) {
    case IDM_QUIET_HOUR: quiet.Start(TQuietFor::Hour); break;
    case IDM_QUIET_MORNING: quiet.Start(TQuietFor::UntilMorning); break;
    case IDM_QUIET_ENDLESS: quiet.Start(TQuietFor::UntilSwitchedOff); break;
    case IDM_QUIET_HOURS:
        TQuietHoursForm::Show(Instance(),
                              {FSettings.FQuietHours, FSettings.FQuietHoursFrom, FSettings.FQuietHoursTo,
                               FSettings.FQuietWhenBusy},
                              [this](const TQuietHoursText& settings) { ApplyQuietHours(settings); });
        return;
    default: quiet.Stop(); break;
    }
    UpdateTrayHint();
}

void TMainForm::QuietTimerTimer() {
    if (FController && FController->Quiet().State() != FShownQuiet) UpdateTrayHint();
}

void TMainForm::ApplyQuietHours(const TQuietHoursText& settings) {
    TMainFormSettings edited = FModel->Settings();
    edited.FQuietHours = settings.Hours;
    edited.FQuietHoursFrom = settings.From;
    edited.FQuietHoursTo = settings.To;
    edited.FQuietWhenBusy = settings.WhenBusy;
    // Applied even when the file refuses them; the refusal is told.
    try {
        FModel->Apply(TSettingsPart::QuietHours, edited);
    } catch (...) {
        ShowGeneralError(GetExceptionText(std::current_exception()));
    }
}

bool TMainForm::QuietNow() const { return FController && FController->Quiet().Quiet(); }

void TMainForm::UpdateTrayMarks(bool stateChanged) {
    if (!TrayIcon || !FController) return;
    const TTrayMarks marks{FShownQuiet.Quiet(), FController->Journal().MissedSinceViewed()};
    if (marks == FShownMarks && !stateChanged) return;
    FShownMarks = marks;
    // Drawn at the notification area's DPI: the small-icon size the shell shows.
    // The operator's marks go over the icon of the connection's state.
    const HICON base = FStateIcon ? static_cast<HICON>(FStateIcon.get()) : FAppIcon;
    const int size = ::GetSystemMetricsForDpi(SM_CXSMICON, ::GetDpiForWindow(FHandle));
    UniqueIcon marked(DrawTrayMarks(base, marks, size));
    TrayIcon->SetIcon(marked ? marked.get() : base);
    FMarkedIcon = std::move(marked);
}
