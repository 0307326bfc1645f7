// "Не беспокоить" in the tray: its choices, and the tray's hint
// and icon following quiet time and the missed calls not yet seen.
#include "FormMain.h"

#include "ExceptionText.h"
#include "QuietTimeRes.h"
#include "SettingsStore.h"
#include "ResourceText.h"
#include "UniqueHandle.h"

void TMainForm::QuietMenuClick(TTrayChoice choice) {
    TQuietTime& quiet = FController->Quiet();
    switch (choice) {
    case TTrayChoice::QuietHour: quiet.Start(TQuietFor::Hour); break;
    case TTrayChoice::QuietMorning: quiet.Start(TQuietFor::UntilMorning); break;
    case TTrayChoice::QuietEndless: quiet.Start(TQuietFor::UntilSwitchedOff); break;
    case TTrayChoice::QuietHours:
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
