#pragma once
#include "QuietTime.h"
#include "SettingsModel.h"
#include "TrayMenu.h"

#include <windows.h>

#include <functional>
#include <string>

struct TQuietHoursText;

// "Не беспокоить" in the tray: a choice of its submenu starts or ends quiet
// time, or opens "Тихие часы…", whose OK applies and stores the quiet hours alone.
class TQuietMenu {
public:
    using TError = std::function<void(const std::wstring& text)>;

    // onError: the quiet hours were applied but their file refused them.
    TQuietMenu(HINSTANCE instance, IQuietAccess& quiet, TSettingsModel& model, TError onError);

    // True when quiet time changed at once (the tray's hint follows); the dialog
    // changes it later, through the model's listeners.
    bool Choose(TTrayChoice choice);

private:
    void ApplyQuietHours(const TQuietHoursText& settings);

    HINSTANCE FInstance;
    IQuietAccess& FQuiet;
    TSettingsModel& FModel;
    TError FOnError;
};
