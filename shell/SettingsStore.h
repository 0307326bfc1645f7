#pragma once
#include "MainFormSettings.h"
#include "TrayMsgWinsSettings.h"

#include <windows.h>

#include <string>
#include <vector>

// Where the settings live. The program uses ForExecutable(CurrentExecutablePath());
// tests point every place at a temporary file and private registry keys.
struct TSettingsLocation {
    std::wstring IniPath;
    HKEY RegistryRoot = HKEY_CURRENT_USER;
    // The recording product's own dialling settings, read only.
    std::wstring RecorderKeyPath = L"Software\\Vimbrel\\Kordavin\\3.00\\rv";
    std::wstring RunKeyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    // Full path of the executable: its file name names the autostart value, the
    // path in double quotes is its data.
    std::wstring ExePath;

    // The settings file is the executable's path with the extension ".ini".
    static TSettingsLocation ForExecutable(const std::wstring& exePath);
    std::wstring ExeFileName() const;
};

std::wstring CurrentExecutablePath();

// The window shows these four as they stand in its controls, and SaveParams
// stores them from there.
struct TShownConnection {
    bool Active = false;
    std::wstring Server;
    std::wstring AreaCodesPath;
    std::wstring AbonentPhonePath;
};

// Loading, in this order, over fields that hold the built-in defaults: the
// recording product's key, the settings file (which wins, key by key), the
// autostart state. Returns the texts of the registry values that had the wrong
// type; each such setting keeps its previous value and loading goes on.
std::vector<std::wstring> LoadSettings(const TSettingsLocation& where, TMainFormSettings& settings,
                                       TTrayMsgWinsSettings& popups);

// The steps of LoadSettings.
std::vector<std::wstring> ReadRecorderKey(const TSettingsLocation& where, TMainFormSettings& settings);
void ReadIniSettings(const TSettingsLocation& where, TMainFormSettings& settings, TTrayMsgWinsSettings& popups);
bool ReadAutoRun(const TSettingsLocation& where);

// Write the settings file; AppError "Unable to write to <path>" when a key cannot
// be written, and the keys after it are not written.
void SaveDBParams(const TSettingsLocation& where, const TMainFormSettings& settings);
// Ends with WriteAutoRun(where, settings.FAutoRun).
void SaveParams(const TSettingsLocation& where, const TMainFormSettings& settings, const TTrayMsgWinsSettings& popups,
                const TShownConnection& shown);

// Only the CRM name lookup's keys, for its own dialog's OK; the header is
// stored protected for the Windows user (AppError when that is refused).
void SaveHttpLookup(const TSettingsLocation& where, const TMainFormSettings& settings);

// Writes or deletes the autostart value. Nothing happens when the autostart key
// cannot be opened for writing; a value already missing is no error. A failing
// write or delete throws AppError.
void WriteAutoRun(const TSettingsLocation& where, bool autoRun);
