#include "SettingsStore.h"

#include "AppError.h"
#include "IniFile.h"
#include "IniValues.h"
#include "ListText.h"
#include "ModuleFile.h"
#include "RegistryValues.h"
#include "TextConvert.h"
#include "UniqueHandle.h"

namespace {
const std::wstring kSection = L"Main";

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

void ReadIniList(const TIniReader& ini, const wchar_t* key, std::vector<std::wstring>& list) {
    if (ini.HasKey(key)) list = ReadListText(ini.ReadString(key, L""));
}

void ReadIniPrefixList(const TIniReader& ini, const wchar_t* key, std::vector<std::wstring>& list) {
    ReadIniList(ini, key, list);
    TrimListEntries(list);
}

void WriteIniList(TIniWriter& ini, const wchar_t* key, const std::vector<std::wstring>& list) {
    ini.WriteString(key, QuotedIniText(WriteListText(list)));
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

std::wstring TSettingsLocation::ExeFileName() const { return ExePath.substr(FileNameStart(ExePath)); }

std::wstring CurrentExecutablePath() { return ModuleFileName(); }

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
    const TIniReader ini(where.IniPath, kSection);
    popups.WinWidth = ini.ReadInteger(L"WinWidth", popups.WinWidth);
    popups.WinHeight = ini.ReadInteger(L"WinHeight", popups.WinHeight);
    // Values outside the enumerations are kept; the popup manager tames them.
    popups.TrayMsgPos = static_cast<TTrayMsgPos>(ini.ReadInteger(L"TrayMsgPos", popups.TrayMsgPos));
    popups.TrayMsgAnimate = static_cast<TTrayMsgAnimate>(ini.ReadInteger(L"TrayMsgAnimate", popups.TrayMsgAnimate));
    popups.Rows = ini.ReadInteger(L"Rows", popups.Rows);
    popups.Displacement = ini.ReadInteger(L"Displacement", popups.Displacement);
    settings.FCloseTMWOnStart = ini.ReadBool(L"CloseTMWOnStart", settings.FCloseTMWOnStart);
    settings.FCallerIDOnly = ini.ReadBool(L"CallerIDOnly", settings.FCallerIDOnly);
    settings.FDefaultCountryCode = ini.ReadString(L"DefaultCountryCode", settings.FDefaultCountryCode);
    settings.FDefaultCityCode = ini.ReadString(L"DefaultCityCode", settings.FDefaultCityCode);
    ReadIniPrefixList(ini, L"CityPrefixes", settings.FCityPrefixes);
    settings.FUseCityPrefixForIncoming = ini.ReadBool(L"UseCityPrefixForIncoming", settings.FUseCityPrefixForIncoming);
    ReadIniPrefixList(ini, L"InternationalCarrierCode", settings.FWorldPrefixes);
    ReadIniPrefixList(ini, L"LongDistanceCarrierCode", settings.FCountryPrefixes);
    ReadIniList(ini, L"Channels", settings.FChannels);
    settings.FServerName = ini.ReadString(L"Server", settings.FServerName);
    settings.FCityCodesDir = ini.ReadString(L"AreaCodesPath", settings.FCityCodesDir);
    settings.FAbonentPhoneDir = ini.ReadString(L"AbonentPhonePath", settings.FAbonentPhoneDir);
    settings.FActive = ini.ReadBool(L"Active", false);
    settings.FFontName = ini.ReadString(L"FontName", settings.FFontName);
    settings.FFontSize = ini.ReadInteger(L"FontSize", settings.FFontSize);
    popups.IsPhoneShowed = ini.ReadBool(L"IsNumberShowed", popups.IsPhoneShowed);
    popups.IsNameShowed = ini.ReadBool(L"IsNameShowed", popups.IsNameShowed);
    popups.IsRegionShowed = ini.ReadBool(L"IsRegionShowed", popups.IsRegionShowed);
    popups.IsCommentShowed = ini.ReadBool(L"IsCommentShowed", popups.IsCommentShowed);
    popups.IsPhoneBold = ini.ReadBool(L"IsPhoneBold", popups.IsPhoneBold);
    popups.IsNameBold = ini.ReadBool(L"IsNameBold", popups.IsNameBold);
    popups.IsRegionBold = ini.ReadBool(L"IsRegionBold", popups.IsRegionBold);
    popups.IsCommentBold = ini.ReadBool(L"IsCommentBold", popups.IsCommentBold);
    settings.FUseRemoteDB = ini.ReadBool(L"UseRemoteDB", settings.FUseRemoteDB);
    settings.FDBAsClient = ini.ReadBool(L"DBAsClient", settings.FDBAsClient);
    settings.FDBServerAddress = ini.ReadString(L"DBServerAddress", settings.FDBServerAddress);
    settings.FDBPort = ini.ReadInteger(L"DBPort", settings.FDBPort);
    settings.FDBAllowedClients = ini.ReadString(L"DBAllowedClients", settings.FDBAllowedClients);
}

bool ReadAutoRun(const TSettingsLocation& where) {
    const UniqueRegKey key = OpenKey(where.RegistryRoot, where.RunKeyPath, KEY_QUERY_VALUE);
    return key && RegistryValueExists(key.get(), where.ExeFileName());
}

std::vector<std::wstring> LoadSettings(const TSettingsLocation& where, TMainFormSettings& settings,
                                       TTrayMsgWinsSettings& popups) {
    auto errors = ReadRecorderKey(where, settings);
    ReadIniSettings(where, settings, popups);
    settings.FAutoRun = ReadAutoRun(where);
    return errors;
}

void SaveDBParams(const TSettingsLocation& where, const TMainFormSettings& settings) {
    TIniWriter ini(where.IniPath, kSection);
    ini.WriteBool(L"Active", settings.FActive);
    ini.WriteString(L"Server", settings.FServerName);
    ini.WriteString(L"AreaCodesPath", settings.FCityCodesDir);
    ini.WriteString(L"AbonentPhonePath", settings.FAbonentPhoneDir);
    ini.WriteBool(L"UseRemoteDB", settings.FUseRemoteDB);
    ini.WriteBool(L"DBAsClient", settings.FDBAsClient);
    ini.WriteString(L"DBServerAddress", settings.FDBServerAddress);
    ini.WriteInteger(L"DBPort", settings.FDBPort);
    ini.WriteString(L"DBAllowedClients", settings.FDBAllowedClients);
}

void SaveParams(const TSettingsLocation& where, const TMainFormSettings& settings, const TTrayMsgWinsSettings& popups,
                const TShownConnection& shown) {
    TIniWriter ini(where.IniPath, kSection);
    ini.WriteBool(L"Active", shown.Active);
    ini.WriteString(L"Server", shown.Server);
    ini.WriteString(L"AreaCodesPath", shown.AreaCodesPath);
    ini.WriteString(L"AbonentPhonePath", shown.AbonentPhonePath);
    WriteIniList(ini, L"Channels", settings.FChannels);
    ini.WriteInteger(L"WinWidth", popups.WinWidth);
    ini.WriteInteger(L"WinHeight", popups.WinHeight);
    ini.WriteInteger(L"TrayMsgPos", popups.TrayMsgPos);
    ini.WriteInteger(L"TrayMsgAnimate", popups.TrayMsgAnimate);
    ini.WriteInteger(L"Rows", popups.Rows);
    ini.WriteInteger(L"Displacement", popups.Displacement);
    ini.WriteBool(L"CloseTMWOnStart", settings.FCloseTMWOnStart);
    ini.WriteBool(L"CallerIDOnly", settings.FCallerIDOnly);
    ini.WriteString(L"DefaultCountryCode", settings.FDefaultCountryCode);
    ini.WriteString(L"DefaultCityCode", settings.FDefaultCityCode);
    WriteIniList(ini, L"CityPrefixes", settings.FCityPrefixes);
    ini.WriteBool(L"UseCityPrefixForIncoming", settings.FUseCityPrefixForIncoming);
    WriteIniList(ini, L"InternationalCarrierCode", settings.FWorldPrefixes);
    WriteIniList(ini, L"LongDistanceCarrierCode", settings.FCountryPrefixes);
    ini.WriteString(L"FontName", QuotedIniText(settings.FFontName));
    ini.WriteInteger(L"FontSize", settings.FFontSize);
    ini.WriteBool(L"IsNumberShowed", popups.IsPhoneShowed);
    ini.WriteBool(L"IsNameShowed", popups.IsNameShowed);
    ini.WriteBool(L"IsRegionShowed", popups.IsRegionShowed);
    ini.WriteBool(L"IsCommentShowed", popups.IsCommentShowed);
    ini.WriteBool(L"IsPhoneBold", popups.IsPhoneBold);
    ini.WriteBool(L"IsNameBold", popups.IsNameBold);
    ini.WriteBool(L"IsRegionBold", popups.IsRegionBold);
    ini.WriteBool(L"IsCommentBold", popups.IsCommentBold);
    WriteAutoRun(where, settings.FAutoRun);
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
