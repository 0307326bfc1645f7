#pragma once
#include "SettingsTable.h"

#include <windows.h>

#include <optional>

// The copying between a dialog's controls and the settings through the
// settings table's rows: one generic way for every dialog, no field copied by
// hand. The rows whose control is one of a kind (the bold buttons and the
// "Special" ones) are the dialog's own.

// Shows the row's value in its control; false for a row of the dialog's own.
bool ShowSettingControl(HWND dialog, const TSettingRow& row, const TSettingValue& value);
// The row's value as its control holds it, starting from value (what a control
// without a selection keeps); nothing for a row of the dialog's own. A value
// that cannot be taken throws AppError with the control focused and selected.
std::optional<TSettingValue> ReadSettingControl(HWND dialog, const TSettingRow& row, TSettingValue value);
