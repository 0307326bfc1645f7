#pragma once
#include "MainFormSettings.h"
#include "SettingsPolicy.h"
#include "TrayMsgWinsSettings.h"

#include <windows.h>

#include <string>
#include <vector>

// Where the settings live. The program uses CurrentSettingsLocation(); tests
// point every place at temporary files and private registry keys.
struct TSettingsLocation {
    // Read last, and the file the saves write.
    std::wstring IniPath;
    // The settings file beside a program whose folder this user cannot write:
    // read before IniPath, never written. Empty: none.
    std::wstring DefaultsIniPath;
    HKEY RegistryRoot = HKEY_CURRENT_USER;
    // The recording product's own dialling settings, read only.
    std::wstring RecorderKeyPath = L"Software\\Vimbrel\\Kordavin\\3.00\\rv";
    std::wstring RunKeyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    // Full path of the executable: its file name names the autostart value, the
    // path in double quotes is its data.
    std::wstring ExePath;
    // Where an administrator fixes settings, the computer's first: its values win.
    TRegistryPlace MachinePolicy{HKEY_LOCAL_MACHINE, kPolicyKeyPath};
    TRegistryPlace UserPolicy{HKEY_CURRENT_USER, kPolicyKeyPath};

    // The settings file is the executable's path with the extension ".ini".
    static TSettingsLocation ForExecutable(const std::wstring& exePath);
    // As ForExecutable when the program's folder is writable (a portable or
    // per-user copy). Otherwise (installed for the whole computer) that file gives
    // the defaults, and the user's own file is "KordavinInformer.ini" in
    // userFolder.
    static TSettingsLocation ForProgram(const std::wstring& exePath, bool folderWritable,
                                        const std::wstring& userFolder);
    std::wstring ExeFileName() const;
};

std::wstring CurrentExecutablePath();
// ForProgram for the running executable, with %APPDATA%\KordavinInformer as the
// user's folder.
TSettingsLocation CurrentSettingsLocation();

// What loading found besides the values themselves.
struct TSettingsSources {
    TEnforcedSettings Enforced;
    // The values before the user's own file was read (built-in, the recording
    // product's key, the defaults file): a save into a per-user file stores only
    // what differs from them, so that a later change of the defaults still
    // reaches every user who did not change that setting.
    TMainFormSettings Defaults;
    TTrayMsgWinsSettings PopupDefaults;
};

// The window shows these four as they stand in its controls, and SaveParams
// stores them from there.
struct TShownConnection {
    bool Active = false;
    std::wstring Server;
    std::wstring AreaCodesPath;
    std::wstring AbonentPhonePath;
};

// Loading, in this order, over fields that hold the built-in defaults: the
// recording product's key, the defaults file and the settings file (each wins
// over what came before, key by key), the autostart state, and last the
// policies, which win over everything. An enforced autostart makes the autostart
// value follow it. Returns the texts of the registry values that had the wrong
// type; each such setting keeps its previous value and loading goes on. Sources,
// when given, receives which settings are enforced and the defaults.
std::vector<std::wstring> LoadSettings(const TSettingsLocation& where, TMainFormSettings& settings,
                                       TTrayMsgWinsSettings& popups, TSettingsSources* sources = nullptr);

// The steps of LoadSettings.
std::vector<std::wstring> ReadRecorderKey(const TSettingsLocation& where, TMainFormSettings& settings);
// Both files: the defaults file, if any, then the settings file.
void ReadIniSettings(const TSettingsLocation& where, TMainFormSettings& settings, TTrayMsgWinsSettings& popups);
bool ReadAutoRun(const TSettingsLocation& where);

// Write the settings file; AppError "Unable to write to <path>" when a key cannot
// be written, and the keys after it are not written. With sources, enforced
// settings are never written (the file keeps the user's own value), and a
// per-user file gets only the user's own changes: keys it holds already and
// values that differ from the defaults.
void SaveDBParams(const TSettingsLocation& where, const TMainFormSettings& settings,
                  const TSettingsSources* sources = nullptr);
// Ends with WriteAutoRun(where, settings.FAutoRun), unless the autostart is enforced.
void SaveParams(const TSettingsLocation& where, const TMainFormSettings& settings, const TTrayMsgWinsSettings& popups,
                const TShownConnection& shown, const TSettingsSources* sources = nullptr);

// Only the CRM name lookup's keys, for its own dialog's OK; the header is
// stored protected for the Windows user (AppError when that is refused).
void SaveCrmNames(const TSettingsLocation& where, const TMainFormSettings& settings,
                    const TSettingsSources* sources = nullptr);

// Only the quiet-hours keys, for the dialog "Тихие часы".
void SaveQuietHours(const TSettingsLocation& where, const TMainFormSettings& settings,
                    const TSettingsSources* sources = nullptr);

// Writes or deletes the autostart value. Nothing happens when the autostart key
// cannot be opened for writing; a value already missing is no error. A failing
// write or delete throws AppError.
void WriteAutoRun(const TSettingsLocation& where, bool autoRun);
