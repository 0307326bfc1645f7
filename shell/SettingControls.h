#pragma once
#include "SettingsTable.h"

#include <windows.h>

#include <functional>
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

// Shows a row of the dialog's own with its value.
using TShowOwnRow = std::function<void(const TSettingRow& row, const TSettingValue& value)>;
// The value of a row of the dialog's own as the dialog holds it; nothing keeps the value.
using TReadOwnRow = std::function<std::optional<TSettingValue>(const TSettingRow& row)>;

// Every row of the part shown in its control of dialog; the rows of a kind of
// the dialog's own are left to showOwn (when given).
void ShowPartControls(HWND dialog, TSettingsPart part, const TSettingsRef& settings,
                      const TShowOwnRow& showOwn = {});
// Every row of the part read from its control of dialog into settings, all
// controls read before any field changes (AppError: nothing changed); the rows
// of a kind of the dialog's own are read by readOwn (when given), or keep their value.
void ReadPartControls(HWND dialog, TSettingsPart part, const TSettingsRef& settings,
                      const TReadOwnRow& readOwn = {});
