#include "SettingsStore.h"

#include "AppError.h"
#include "DpapiText.h"
#include "IniFile.h"
#include "IniValues.h"
#include "KordavinUtils.h"
#include "ListText.h"
#include "ModuleFile.h"
#include "PathText.h"
#include "RegistryValues.h"
#include "SettingsTable.h"
#include "TextConvert.h"
#include "UniqueHandle.h"
#include "WritableFolder.h"

#include <shlobj.h>

namespace {
const std::wstring kSection = L"Main";

bool AutoRunEnforced(const TEnforcedSettings& enforced) { return enforced.Keys.count(L"(autorun)") != 0; }

size_t FileNameStart(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/:");
    return separator == std::wstring::npos ? 0 : separator + 1;
}

UniqueRegKey OpenKey(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return UniqueRegKey();
    return UniqueRegKey(key);
}

// A list value of the recording product replaces the whole list.
void ReadRegistryList(HKEY key, const wchar_t* name, std::vector<std::wstring>& list) {
    if (auto text = ReadRegistryString(key, name)) {
        list = ReadListText(*text);
        TrimListEntries(list);
    }
}

TSettingValue ReadIniValue(const TIniReader& ini, const TSettingRow& row, const TSettingValue& current) {
    switch (row.Store) {
    case TSettingStore::Bool:
        return ini.ReadBool(row.Key, std::get<bool>(current));
    case TSettingStore::Integer:
        return ini.ReadInteger(row.Key, std::get<int>(current));
    case TSettingStore::Text:
    case TSettingStore::QuotedText:
    case TSettingStore::ProtectedBlob:
        return ini.ReadString(row.Key, std::get<std::wstring>(current));
    case TSettingStore::QuotedList:
        return ReadListText(ini.ReadString(row.Key, L""));
    case TSettingStore::ProtectedText: {
        std::wstring text;
        if (!UnprotectForUser(ini.ReadString(row.Key, L""), text)) text.clear();
        return text;
    }
    case TSettingStore::PrefixList: {
        auto list = ReadListText(ini.ReadString(row.Key, L""));
        TrimListEntries(list);
        return list;
    }
    case TSettingStore::None:
        break;
    }
    return current;
}

void WriteIniValue(TIniWriter& ini, const TSettingRow& row, const TSettingValue& value) {
    switch (row.Store) {
    case TSettingStore::Bool:
        ini.WriteBool(row.Key, std::get<bool>(value));
        break;
    case TSettingStore::Integer:
        ini.WriteInteger(row.Key, std::get<int>(value));
        break;
    case TSettingStore::Text:
    case TSettingStore::ProtectedBlob:
        ini.WriteString(row.Key, std::get<std::wstring>(value));
        break;
    case TSettingStore::QuotedText:
        ini.WriteString(row.Key, QuotedIniText(std::get<std::wstring>(value)));
        break;
    case TSettingStore::ProtectedText:
        ini.WriteString(row.Key, ProtectForUser(std::get<std::wstring>(value)));
        break;
    case TSettingStore::QuotedList:
    case TSettingStore::PrefixList:
        ini.WriteString(row.Key, QuotedIniText(WriteListText(std::get<TSettingList>(value))));
        break;
    case TSettingStore::None:
        break;
    }
}

// One file's keys over the fields. A key the file lacks leaves the field as it
// is, except that the first file read gives "Active" the default false.
void ReadIniFile(const std::wstring& path, const TSettingsRef& fields, bool firstFile) {
    const TIniReader ini(path, kSection);
    for (const auto& row : SettingsTable()) {
        if (row.Store == TSettingStore::None) continue;
        const TSettingValue current =
            row.ReadDefaultsToFalse && firstFile ? TSettingValue(false) : row.Get(fields);
        row.Set(fields, ini.HasKey(row.Key) ? ReadIniValue(ini, row, current) : current);
    }
}

// The user's own folder of a per-user settings file; it may not exist yet.
void CreateParentFolder(const std::wstring& path) {
    const size_t separator = FileNameStart(path);
    if (separator > 1) ::CreateDirectoryW(path.substr(0, separator - 1).c_str(), nullptr);
}

// The rows of one save, in the table's order, through one open of the file.
void WriteIniRows(const TSettingsLocation& where, const TSettingsRef& fields, unsigned save,
                  const TSettingsSources* sources) {
    const bool perUser = !where.DefaultsIniPath.empty() && sources;
    std::optional<TIniReader> userFile;
    TMainFormSettings defaults;
    TTrayMsgWinsSettings popupDefaults;
    if (perUser) {
        CreateParentFolder(where.IniPath);
        userFile.emplace(where.IniPath, kSection);
        defaults = sources->Defaults;
        popupDefaults = sources->PopupDefaults;
    }
    const TSettingsRef defaultFields{defaults, popupDefaults};
    TIniWriter ini(where.IniPath, kSection);
    for (const auto& row : SettingsTable()) {
        if ((row.Save & save) == 0) continue;
        if (sources && sources->Enforced.Has(row)) continue;
        const TSettingValue value = row.Get(fields);
        if (perUser && !userFile->HasKey(row.Key) && value == row.Get(defaultFields)) continue;
        WriteIniValue(ini, row, value);
    }
}
}  // namespace

TSettingsLocation TSettingsLocation::ForExecutable(const std::wstring& exePath) {
    TSettingsLocation where;
    where.ExePath = exePath;
    const size_t dot = exePath.find_last_of(L'.');
    const bool hasExtension = dot != std::wstring::npos && dot >= FileNameStart(exePath);
    where.IniPath = (hasExtension ? exePath.substr(0, dot) : exePath) + L".ini";
    return where;
}

TSettingsLocation TSettingsLocation::ForProgram(const std::wstring& exePath, bool folderWritable,
                                                const std::wstring& userFolder) {
    TSettingsLocation where = ForExecutable(exePath);
    if (folderWritable) return where;
    where.DefaultsIniPath = where.IniPath;
    where.IniPath = JoinPath(userFolder, L"KordavinInformer.ini");
    return where;
}

std::wstring TSettingsLocation::ExeFileName() const { return ExePath.substr(FileNameStart(ExePath)); }

std::wstring CurrentExecutablePath() { return ModuleFileName(); }

TSettingsLocation CurrentSettingsLocation() {
    std::wstring userFolder;
    PWSTR appData = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &appData)))
        userFolder = JoinPath(appData, L"KordavinInformer");
    ::CoTaskMemFree(appData);
    // Decided by trying rather than by the path: what counts is whether this user
    // may write there, which a path under Program Files only suggests (a copy on
    // a read-only share, or one in a locked-down folder elsewhere, is no less
    // read-only). Without a user folder there is nowhere else to keep the settings.
    const bool writable = userFolder.empty() || FolderAcceptsNewFiles(ExecutableFolder());
    return TSettingsLocation::ForProgram(CurrentExecutablePath(), writable, userFolder);
}

std::vector<std::wstring> ReadRecorderKey(const TSettingsLocation& where, TMainFormSettings& settings) {
    std::vector<std::wstring> errors;
    const UniqueRegKey key = OpenKey(where.RegistryRoot, where.RecorderKeyPath, KEY_QUERY_VALUE);
    if (!key) return errors;
    const std::wstring keyName =
        (where.RegistryRoot == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER\\" : L"") + where.RecorderKeyPath;
    // One bad value must not cost the others: each is read on its own and a
    // failure leaves its setting as it was.
    const auto readValue = [&](auto&& read) {
        try {
            read(key.get());
        } catch (const AppError& error) {
            errors.push_back(keyName + L": " + error.message());
        }
    };
    readValue([&](HKEY k) {
        if (auto text = ReadRegistryString(k, L"DefaultCountryCode")) settings.FDefaultCountryCode = *text;
    });
    readValue([&](HKEY k) {
        if (auto text = ReadRegistryString(k, L"DefaultCityCode")) settings.FDefaultCityCode = *text;
    });
    readValue([&](HKEY k) { ReadRegistryList(k, L"CityPrefix", settings.FCityPrefixes); });
    readValue([&](HKEY k) {
        if (auto value = ReadRegistryDword(k, L"UseCityPrefixForIncoming"))
            settings.FUseCityPrefixForIncoming = *value != 0;
    });
    readValue([&](HKEY k) { ReadRegistryList(k, L"InternationalCarrierCode", settings.FWorldPrefixes); });
    readValue([&](HKEY k) { ReadRegistryList(k, L"LongDistanceCarrierCode", settings.FCountryPrefixes); });
    return errors;
}

void ReadIniSettings(const TSettingsLocation& where, TMainFormSettings& settings, TTrayMsgWinsSettings& popups) {
    // A missing key gives the field's current value: the registry's, the defaults
    // file's or the built-in default.
    const TSettingsRef fields{settings, popups};
    if (!where.DefaultsIniPath.empty()) ReadIniFile(where.DefaultsIniPath, fields, true);
    ReadIniFile(where.IniPath, fields, where.DefaultsIniPath.empty());
}

bool ReadAutoRun(const TSettingsLocation& where) {
    const UniqueRegKey key = OpenKey(where.RegistryRoot, where.RunKeyPath, KEY_QUERY_VALUE);
    return key && RegistryValueExists(key.get(), where.ExeFileName());
}

std::vector<std::wstring> LoadSettings(const TSettingsLocation& where, TMainFormSettings& settings,
                                       TTrayMsgWinsSettings& popups, TSettingsSources* sources) {
    auto errors = ReadRecorderKey(where, settings);
    const TSettingsRef fields{settings, popups};
    if (!where.DefaultsIniPath.empty()) ReadIniFile(where.DefaultsIniPath, fields, true);
    if (sources) {
        sources->Defaults = settings;
        sources->PopupDefaults = popups;
    }
    ReadIniFile(where.IniPath, fields, where.DefaultsIniPath.empty());
    const bool autoRun = ReadAutoRun(where);
    settings.FAutoRun = autoRun;

    TEnforcedSettings enforced;
    for (auto& error : ApplyPolicies({where.MachinePolicy, where.UserPolicy}, fields, enforced))
        errors.push_back(std::move(error));
    // An enforced autostart is only kept by the autostart value itself.
    if (AutoRunEnforced(enforced) && settings.FAutoRun != autoRun) {
        try {
            WriteAutoRun(where, settings.FAutoRun);
        } catch (const AppError& error) {
            errors.push_back(error.message());
        }
    }
    if (sources) sources->Enforced = std::move(enforced);
    return errors;
}

void SaveDBParams(const TSettingsLocation& where, const TMainFormSettings& settings,
                  const TSettingsSources* sources) {
    // The rows read fields through a mutable reference; the saves work on copies.
    TMainFormSettings stored = settings;
    TTrayMsgWinsSettings popups;
    WriteIniRows(where, {stored, popups}, ssDBParams, sources);
}

void SaveParams(const TSettingsLocation& where, const TMainFormSettings& settings, const TTrayMsgWinsSettings& popups,
                const TShownConnection& shown, const TSettingsSources* sources) {
    // The connection keys are stored as the window shows them.
    TMainFormSettings stored = settings;
    stored.FActive = shown.Active;
    stored.FServerName = shown.Server;
    stored.FCityCodesDir = shown.AreaCodesPath;
    stored.FAbonentPhoneDir = shown.AbonentPhonePath;
    TTrayMsgWinsSettings storedPopups = popups;
    WriteIniRows(where, {stored, storedPopups}, ssParams, sources);
    if (sources && AutoRunEnforced(sources->Enforced)) return;
    WriteAutoRun(where, settings.FAutoRun);
}

void SaveCrmNames(const TSettingsLocation& where, const TMainFormSettings& settings,
                    const TSettingsSources* sources) {
    TMainFormSettings stored = settings;
    TTrayMsgWinsSettings popups;
    WriteIniRows(where, {stored, popups}, ssCrmNames, sources);
}

void SaveQuietHours(const TSettingsLocation& where, const TMainFormSettings& settings,
                    const TSettingsSources* sources) {
    TMainFormSettings stored = settings;
    TTrayMsgWinsSettings popups;
    WriteIniRows(where, {stored, popups}, ssQuietHours, sources);
}

void WriteAutoRun(const TSettingsLocation& where, bool autoRun) {
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(where.RegistryRoot, where.RunKeyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return;
    const UniqueRegKey key(raw);
    const std::wstring name = where.ExeFileName();
    if (autoRun) {
        const std::wstring data = L"\"" + where.ExePath + L"\"";
        const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
        const LSTATUS status = ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                                reinterpret_cast<const BYTE*>(data.c_str()), bytes);
        if (status != ERROR_SUCCESS)
            throw AppError(L"Failed to set data for '" + name + L"': " +
                           SystemErrorText(static_cast<unsigned long>(status)));
    } else {
        const LSTATUS status = ::RegDeleteValueW(key.get(), name.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            throw AppError(L"Failed to delete the value '" + name + L"': " +
                           SystemErrorText(static_cast<unsigned long>(status)));
    }
}
