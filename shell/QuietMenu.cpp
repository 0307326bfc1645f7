#include "QuietMenu.h"

#include "ExceptionText.h"
#include "QuietHoursForm.h"

#include <utility>

TQuietMenu::TQuietMenu(HINSTANCE instance, IQuietAccess& quiet, TSettingsModel& model, TError onError)
    : FInstance(instance), FQuiet(quiet), FModel(model), FOnError(std::move(onError)) {}

bool TQuietMenu::Choose(TTrayChoice choice) {
    switch (choice) {
    case TTrayChoice::QuietHour: FQuiet.Start(TQuietFor::Hour); break;
    case TTrayChoice::QuietMorning: FQuiet.Start(TQuietFor::UntilMorning); break;
    case TTrayChoice::QuietEndless: FQuiet.Start(TQuietFor::UntilSwitchedOff); break;
    case TTrayChoice::QuietHours: {
        const TMainFormSettings& settings = FModel.Settings();
        TQuietHoursForm::Show(FInstance,
                              {settings.FQuietHours, settings.FQuietHoursFrom, settings.FQuietHoursTo,
                               settings.FQuietWhenBusy},
                              [this](const TQuietHoursText& edited) { ApplyQuietHours(edited); });
        return false;
    }
    default: FQuiet.Stop(); break;
    }
    return true;
}

void TQuietMenu::ApplyQuietHours(const TQuietHoursText& settings) {
    TMainFormSettings edited = FModel.Settings();
    edited.FQuietHours = settings.Hours;
    edited.FQuietHoursFrom = settings.From;
    edited.FQuietHoursTo = settings.To;
    edited.FQuietWhenBusy = settings.WhenBusy;
    // Applied even when the file refuses them; the refusal is told.
    try {
        FModel.Apply(TSettingsPart::QuietHours, edited);
    } catch (...) {
        FOnError(GetExceptionText(std::current_exception()));
    }
}
