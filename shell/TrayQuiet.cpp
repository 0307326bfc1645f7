// "Не беспокоить" in the tray: its choices, the quiet-hours dialog, and the
// timer that notices quiet time beginning or ending.
#include "FormMain.h"

#include "ExceptionText.h"
#include "SettingsStore.h"
#include "ResourceText.h"

void TMainForm::QuietMenuClick(TTrayChoice choice) {
    IQuietAccess& quiet = FController->Quiet();
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
    if (FController && FTray && FController->Quiet().State() != FTray->ShownQuiet()) UpdateTrayHint();
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

bool TMainForm::QuietNow() const { return FController && FController->Quiet().State().Quiet(); }
