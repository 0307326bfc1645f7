#include "SettingsModel.h"

#include "SettingsTable.h"

TSettingsModel::TSettingsModel(TSettingsLocation where, TTrayMsgWinsSettings& popups)
    : FWhere(std::move(where)), FPopups(popups) {}

std::vector<std::wstring> TSettingsModel::Load(const TMainFormSettings& defaults) {
    FSettings = defaults;
    FSources = {};
    return LoadSettings(FWhere, FSettings, FPopups, &FSources);
}

TMainFormSettings TSettingsModel::WithPart(TSettingsPart part, const TMainFormSettings& edited) const {
    TMainFormSettings taken = part == TSettingsPart::Main ? edited : FSettings;
    TMainFormSettings from = edited;
    TTrayMsgWinsSettings popups = FPopups;
    for (const TSettingRow& row : SettingsTable())
        if (row.Part == part) row.Set({taken, popups}, row.Get({from, popups}));
    // What an administrator fixed stays as the policy says, whatever the dialog held.
    TMainFormSettings kept = FSettings;
    for (const TSettingRow& row : SettingsTable())
        if (!FSources.Enforced.Has(row)) row.Set({kept, popups}, row.Get({taken, popups}));
    return kept;
}

void TSettingsModel::Apply(TSettingsPart part, const TMainFormSettings& edited, const TShownConnection& shown) {
    const TMainFormSettings kept = WithPart(part, edited);
    switch (part) {
    case TSettingsPart::CrmNames:
        // Stored first: a file that refuses them keeps the dialog open with the reason.
        SaveCrmNames(FWhere, kept, &FSources);
        FSettings = kept;
        Tell(part);
        break;
    case TSettingsPart::QuietHours:
        FSettings = kept;
        Tell(part);
        SaveQuietHours(FWhere, FSettings, &FSources);
        break;
    case TSettingsPart::Main:
        FSettings = kept;
        Tell(part);
        SaveDBParams(FWhere, FSettings, &FSources);
        SaveParams(FWhere, FSettings, FPopups, shown, &FSources);
        break;
    default:
        // A name source's dialog (the organisation's directory's among them).
        FSettings = kept;
        Tell(part);
        // Only the applied settings are stored: edits still pending in the
        // settings window wait for its own "Применить".
        SaveParams(FWhere, FSettings, FPopups,
                   {FSettings.FActive, FSettings.FServerName, FSettings.FCityCodesDir, FSettings.FAbonentPhoneDir},
                   &FSources);
        break;
    }
}

void TSettingsModel::Tell(TSettingsPart part) {
    for (const TListener& listener : FListeners) listener(part, FSettings);
}
