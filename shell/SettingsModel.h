#pragma once
#include "MainFormSettings.h"
#include "SettingsStore.h"
#include "SettingsTable.h"
#include "TrayMsgWinsSettings.h"

#include <functional>
#include <string>
#include <vector>

// The one owner of the applied settings, without a window: it loads them (the
// INI files, the per-user file, the policies), applies a part edited in a
// dialog keeping what a policy fixes, saves that part's rows and tells its
// listeners. Dialogs edit a copy. Main thread.
class TSettingsModel {
public:
    // Told after a part has been applied (and, but for a failed save, stored).
    using TListener = std::function<void(TSettingsPart part, const TMainFormSettings& settings)>;

    // popups: the popups' own settings, which the table's rows reach too.
    TSettingsModel(TSettingsLocation where, TTrayMsgWinsSettings& popups);

    // Loads over the built-in defaults; returns the texts of values that could not be read.
    std::vector<std::wstring> Load(const TMainFormSettings& defaults);
    const TMainFormSettings& Settings() const { return FSettings; }
    TTrayMsgWinsSettings& Popups() { return FPopups; }
    const TSettingsSources& Sources() const { return FSources; }
    const TSettingsLocation& Location() const { return FWhere; }

    // The applied settings with the part's rows taken from edited, except what
    // a policy fixes. The settings window's part takes the whole edited copy:
    // the window edits a copy of everything it applies.
    TMainFormSettings WithPart(TSettingsPart part, const TMainFormSettings& edited) const;
    // Applies the part and saves its rows (shown: the connect box and folders
    // as the window shows them, stored with the main part). The CRM names'
    // rows are stored first: a file that refuses them leaves everything as it
    // was (AppError). Otherwise a failed save (AppError) comes after the apply.
    void Apply(TSettingsPart part, const TMainFormSettings& edited, const TShownConnection& shown = {});
    void AddListener(TListener listener) { FListeners.push_back(std::move(listener)); }
    // The recording server renamed a channel, and the controller's dispatch, the
    // one place that renames, has renamed it in the list it applies: the model
    // takes that list, unsaved, so that the settings window shows and stores it.
    void ChannelRenamed(const TSettingList& applied) { FSettings.FChannels = applied; }

private:
    void Tell(TSettingsPart part);

    TSettingsLocation FWhere;
    TTrayMsgWinsSettings& FPopups;
    TSettingsSources FSources;
    TMainFormSettings FSettings;
    std::vector<TListener> FListeners;
};
