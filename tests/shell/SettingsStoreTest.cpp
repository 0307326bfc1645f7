#include "AppError.h"
#include "DpapiText.h"
#include "IniEncoding.h"
#include "ListText.h"
#include "RegistryValues.h"
#include "SettingsStore.h"
#include "SettingsTable.h"
#include "TextConvert.h"
#include "TestFolders.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>

namespace {
using List = std::vector<std::wstring>;
using Snapshot = std::vector<std::pair<std::wstring, std::wstring>>;

// Each entry in angle brackets: no entries and one empty entry differ.
std::wstring Join(const List& list) {
    std::wstring text;
    for (const auto& entry : list) text += L"<" + entry + L">";
    return text;
}
std::wstring Text(bool value) { return value ? L"true" : L"false"; }
std::wstring Text(int value) { return std::to_wstring(value); }
std::wstring Text(const std::wstring& value) { return value; }
std::wstring Text(const List& value) { return Join(value); }

// Every setting by its INI key, so that a difference names the setting.
Snapshot Describe(const TMainFormSettings& s, const TTrayMsgWinsSettings& p) {
    return {
        {L"WinWidth", Text(p.WinWidth)},
        {L"WinHeight", Text(p.WinHeight)},
        {L"TrayMsgPos", Text(static_cast<int>(p.TrayMsgPos))},
        {L"TrayMsgAnimate", Text(static_cast<int>(p.TrayMsgAnimate))},
        {L"Rows", Text(p.Rows)},
        {L"Displacement", Text(p.Displacement)},
        {L"PopupMonitor", Text(p.Monitor)},
        {L"CloseTMWOnStart", Text(s.FCloseTMWOnStart)},
        {L"CallerIDOnly", Text(s.FCallerIDOnly)},
        {L"DefaultCountryCode", Text(s.FDefaultCountryCode)},
        {L"DefaultCityCode", Text(s.FDefaultCityCode)},
        {L"CityPrefixes", Text(s.FCityPrefixes)},
        {L"UseCityPrefixForIncoming", Text(s.FUseCityPrefixForIncoming)},
        {L"InternationalCarrierCode", Text(s.FWorldPrefixes)},
        {L"LongDistanceCarrierCode", Text(s.FCountryPrefixes)},
        {L"Channels", Text(s.FChannels)},
        {L"Server", Text(s.FServerName)},
        {L"AreaCodesPath", Text(s.FCityCodesDir)},
        {L"AbonentPhonePath", Text(s.FAbonentPhoneDir)},
        {L"Active", Text(s.FActive)},
        {L"FontName", Text(s.FFontName)},
        {L"FontSize", Text(s.FFontSize)},
        {L"IsNumberShowed", Text(p.IsPhoneShowed)},
        {L"IsNameShowed", Text(p.IsNameShowed)},
        {L"IsRegionShowed", Text(p.IsRegionShowed)},
        {L"IsCommentShowed", Text(p.IsCommentShowed)},
        {L"IsPhoneBold", Text(p.IsPhoneBold)},
        {L"IsNameBold", Text(p.IsNameBold)},
        {L"IsRegionBold", Text(p.IsRegionBold)},
        {L"IsCommentBold", Text(p.IsCommentBold)},
        {L"UseRemoteDB", Text(s.FUseRemoteDB)},
        {L"DBAsClient", Text(s.FDBAsClient)},
        {L"DBServerAddress", Text(s.FDBServerAddress)},
        {L"DBPort", Text(s.FDBPort)},
        {L"DBAllowedClients", Text(s.FDBAllowedClients)},
        {L"JournalDays", Text(s.FJournalDays)},
        {L"JournalMaxCalls", Text(s.FJournalMaxCalls)},
        {L"MissedCallBalloon", Text(s.FMissedCallBalloon)},
        {L"CrmUrlTemplate", Text(s.FCrmUrlTemplate)},
        {L"CrmOpenMode", Text(static_cast<int>(s.FCrmOpenMode))},
        {L"CallbackUrlTemplate", Text(s.FCallbackUrlTemplate)},
        {L"CallbackPrefix", Text(s.FCallbackPrefix)},
        {L"QuietHours", Text(s.FQuietHours)},
        {L"QuietHoursFrom", Text(s.FQuietHoursFrom)},
        {L"QuietHoursTo", Text(s.FQuietHoursTo)},
        {L"QuietWhenBusy", Text(s.FQuietWhenBusy)},
        {L"LdapServers", Text(s.FLdapServers)},
        {L"LdapBase", Text(s.FLdapBase)},
        {L"LdapFilter", Text(s.FLdapFilter)},
        {L"LdapPhoneAttributes", Text(s.FLdapPhoneAttributes)},
        {L"LdapNameAttribute", Text(s.FLdapNameAttribute)},
        {L"LdapCommentAttributes", Text(s.FLdapCommentAttributes)},
        {L"LdapBindDN", Text(s.FLdapBindDN)},
        {L"LdapPassword", Text(s.FLdapPassword)},
        {L"LdapUseWindowsLogin", Text(s.FLdapUseWindowsLogin)},
        {L"LdapAllowPlainBind", Text(s.FLdapAllowPlainBind)},
        {L"LdapSyncMinutes", Text(s.FLdapSyncMinutes)},
        {L"LookupUrlTemplate", Text(s.LookupUrlTemplate)},
        {L"LookupNamePath", Text(s.LookupNamePath)},
        {L"LookupCommentPath", Text(s.LookupCommentPath)},
        {L"LookupTimeoutMs", Text(s.LookupTimeoutMs)},
        {L"LookupHeader", Text(s.LookupHeader)},
        {L"SqlConnection", Text(s.FSqlConnection)},
        {L"SqlPassword", Text(s.FSqlPassword)},
        {L"SqlTable", Text(s.FSqlTable)},
        {L"SqlSyncSeconds", Text(s.FSqlSyncSeconds)},
        {L"(autorun)", Text(s.FAutoRun)},
    };
}

std::wstring Field(const Snapshot& snapshot, const std::wstring& key) {
    for (const auto& [name, value] : snapshot)
        if (name == key) return value;
    ADD_FAILURE() << "no setting for the key";
    return {};
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD done = 0;
    ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
}

void WriteUtf16File(const std::wstring& path, const std::wstring& text) { WriteBytes(path, EncodeUtf16LeWithBom(text)); }

// The key names of the section, in the file's order.
List KeysInFile(const std::wstring& path, const std::wstring& section = L"Main") {
    List keys;
    const std::wstring text = DecodeIniBytes(ReadBytes(path));
    bool inSection = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty() && line[0] == L'[') {
            inSection = line == L"[" + section + L"]";
        } else if (inSection && line.find(L'=') != std::wstring::npos) {
            keys.push_back(line.substr(0, line.find(L'=')));
        }
    }
    return keys;
}

std::wstring IniValue(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
    wchar_t buffer[256] = {};
    ::GetPrivateProfileStringW(section, key, L"<missing>", buffer, 256, path.c_str());
    return buffer;
}

// A temporary settings file and private registry keys in place of the
// recording product's key and the autostart key; all removed afterwards.
class SettingsSandbox : public ::testing::Test {
public:
    SettingsSandbox() {
        static std::atomic<int> counter{0};
        base_ = L"Software\\KordavinTest\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(counter++);
        where_ = TSettingsLocation::ForExecutable(folder_.file(L"Информатор Kordavin.exe"));
        where_.RecorderKeyPath = base_ + L"\\rv";
        where_.RunKeyPath = base_ + L"\\Run";
        // No policy of the test machine may reach these tests.
        where_.MachinePolicy = {HKEY_CURRENT_USER, base_ + L"\\MachinePolicy"};
        where_.UserPolicy = {HKEY_CURRENT_USER, base_ + L"\\UserPolicy"};
    }
    ~SettingsSandbox() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KordavinTest");  // only once it is empty
    }

    UniqueRegKey Key(const std::wstring& path) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, &key, nullptr));
        return UniqueRegKey(key);
    }
    void SetRecorderString(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
        ::RegSetValueExW(Key(where_.RecorderKeyPath).get(), name, 0, type,
                         reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    void SetRecorderDword(const wchar_t* name, DWORD value) {
        ::RegSetValueExW(Key(where_.RecorderKeyPath).get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof value);
    }
    // The autostart value's type and text, or nothing when it is absent.
    std::optional<std::pair<DWORD, std::wstring>> RunValue() {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, where_.RunKeyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return std::nullopt;
        UniqueRegKey owner(key);
        const auto value = QueryRegistryText(key, where_.ExeFileName());
        if (!value) return std::nullopt;
        return std::make_pair(value->Type, value->Text);
    }

    // Loads into fresh built-in defaults.
    Snapshot Load(std::vector<std::wstring>* errors = nullptr) {
        settings_ = TMainFormSettings();
        popups_ = TTrayMsgWinsSettings();
        auto found = LoadSettings(where_, settings_, popups_);
        if (errors) *errors = found;
        else EXPECT_TRUE(found.empty());
        return Describe(settings_, popups_);
    }
    void Save(const TShownConnection& shown) {
        SaveDBParams(where_, settings_);
        SaveParams(where_, settings_, popups_, shown);
    }
    void Save() { Save({settings_.FActive, settings_.FServerName, settings_.FCityCodesDir, settings_.FAbonentPhoneDir}); }

    TempFolder folder_;
    std::wstring base_;
    TSettingsLocation where_;
    TMainFormSettings settings_;
    TTrayMsgWinsSettings popups_;
};

const Snapshot kDefaults = Describe(TMainFormSettings(), TTrayMsgWinsSettings());

const List kFileKeyOrder = {
    L"Active", L"Server", L"AreaCodesPath", L"AbonentPhonePath", L"UseRemoteDB", L"DBAsClient", L"DBServerAddress",
    L"DBPort", L"DBAllowedClients", L"Channels", L"WinWidth", L"WinHeight", L"TrayMsgPos", L"TrayMsgAnimate", L"Rows", L"Displacement",
    L"PopupMonitor",
    L"CloseTMWOnStart", L"CallerIDOnly", L"DefaultCountryCode", L"DefaultCityCode", L"CityPrefixes",
    L"UseCityPrefixForIncoming", L"InternationalCarrierCode", L"LongDistanceCarrierCode", L"FontName", L"FontSize",
    L"IsNumberShowed", L"IsNameShowed", L"IsRegionShowed", L"IsCommentShowed", L"IsPhoneBold", L"IsNameBold",
    L"IsRegionBold", L"IsCommentBold", L"JournalDays", L"JournalMaxCalls", L"MissedCallBalloon", L"CrmUrlTemplate",
    L"CrmOpenMode", L"CallbackUrlTemplate", L"CallbackPrefix", L"QuietHours", L"QuietHoursFrom",
    L"QuietHoursTo", L"QuietWhenBusy", L"LdapServers", L"LdapBase", L"LdapFilter", L"LdapPhoneAttributes", L"LdapNameAttribute",
    L"LdapCommentAttributes", L"LdapBindDN", L"LdapPassword", L"LdapUseWindowsLogin", L"LdapAllowPlainBind",
    L"LdapSyncMinutes",
    L"SqlConnection", L"SqlPassword", L"SqlTable", L"SqlSyncSeconds",
    L"LookupUrlTemplate", L"LookupNamePath", L"LookupCommentPath", L"LookupTimeoutMs", L"LookupHeader"};
}  // namespace

TEST(SettingsLocation, IniFileIsTheExecutablesPathWithIniExtension) {
    const struct {
        std::wstring exe, ini, name;
    } cases[] = {
        {L"C:\\Program Files\\Kordavin\\Informer.exe", L"C:\\Program Files\\Kordavin\\Informer.ini", L"Informer.exe"},
        {L"C:\\Apps.v2\\Informer", L"C:\\Apps.v2\\Informer.ini", L"Informer"},
        {L"C:\\A\\in.for.mer.EXE", L"C:\\A\\in.for.mer.ini", L"in.for.mer.EXE"},
        {L"\\\\server\\share\\Информатор.exe", L"\\\\server\\share\\Информатор.ini", L"Информатор.exe"},
    };
    for (const auto& c : cases) {
        const auto where = TSettingsLocation::ForExecutable(c.exe);
        EXPECT_EQ(c.ini, where.IniPath);
        EXPECT_EQ(c.name, where.ExeFileName());
        EXPECT_EQ(L"Software\\Vimbrel\\Kordavin\\3.00\\rv", where.RecorderKeyPath);
        EXPECT_EQ(L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", where.RunKeyPath);
    }
}

TEST_F(SettingsSandbox, WithoutFileAndKeysTheSettingsAreTheBuiltInDefaults) {
    EXPECT_EQ(kDefaults, Load());
    EXPECT_EQ(L"<810><00>", Field(kDefaults, L"InternationalCarrierCode"));
    EXPECT_EQ(L"false", Field(kDefaults, L"Active"));
    EXPECT_EQ(L"32456", Field(kDefaults, L"DBPort"));
    EXPECT_EQ(L"10", Field(kDefaults, L"FontSize"));
}

TEST_F(SettingsSandbox, RegistryOverridesDefaultsAndTheIniFileOverridesBothKeyByKey) {
    const struct {
        const wchar_t* registryName;
        std::function<void(SettingsSandbox&)> setRegistry;
        const wchar_t* iniKey;
        const wchar_t* iniLine;
        std::wstring fromRegistry, fromIni;
    } cases[] = {
        {L"DefaultCountryCode", [](auto& t) { t.SetRecorderString(L"DefaultCountryCode", L"380"); },
         L"DefaultCountryCode", L"DefaultCountryCode=375", L"380", L"375"},
        {L"DefaultCityCode", [](auto& t) { t.SetRecorderString(L"DefaultCityCode", L"812"); }, L"DefaultCityCode",
         L"DefaultCityCode=343", L"812", L"343"},
        {L"CityPrefix", [](auto& t) { t.SetRecorderString(L"CityPrefix", L" 9 ,\"99 \""); }, L"CityPrefixes",
         L"CityPrefixes=\"5,55\"", L"<9><99>", L"<5><55>"},
        {L"UseCityPrefixForIncoming", [](auto& t) { t.SetRecorderDword(L"UseCityPrefixForIncoming", 0); },
         L"UseCityPrefixForIncoming", L"UseCityPrefixForIncoming=1", L"false", L"true"},
        {L"InternationalCarrierCode", [](auto& t) { t.SetRecorderString(L"InternationalCarrierCode", L"00,810,"); },
         L"InternationalCarrierCode", L"InternationalCarrierCode=\"9810\"", L"<00><810><>", L"<9810>"},
        {L"LongDistanceCarrierCode",
         [](auto& t) { t.SetRecorderString(L"LongDistanceCarrierCode", L"7", REG_EXPAND_SZ); },
         L"LongDistanceCarrierCode", L"LongDistanceCarrierCode=\"6, 60\"", L"<7>", L"<6><60>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "registry value " << c.registryName);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
        ::DeleteFileW(where_.IniPath.c_str());
        c.setRegistry(*this);
        Snapshot expected = kDefaults;
        for (auto& [key, value] : expected)
            if (key == c.iniKey) value = c.fromRegistry;
        EXPECT_EQ(expected, Load()) << "registry only";

        WriteUtf16File(where_.IniPath, std::wstring(L"[Main]\r\n") + c.iniLine + L"\r\n");
        for (auto& [key, value] : expected)
            if (key == c.iniKey) value = c.fromIni;
        EXPECT_EQ(expected, Load()) << "registry and INI file";
    }
}

TEST_F(SettingsSandbox, OnceAppliedTheIniFileHidesLaterRegistryChanges) {
    SetRecorderString(L"DefaultCityCode", L"812");
    EXPECT_EQ(L"812", Field(Load(), L"DefaultCityCode"));
    Save();
    SetRecorderString(L"DefaultCityCode", L"999");
    EXPECT_EQ(L"812", Field(Load(), L"DefaultCityCode"));
}

TEST_F(SettingsSandbox, StoredFormsAreReadAsTheyAreDefined) {
    const struct {
        std::wstring line;
        const wchar_t* key;
        std::wstring expected;
    } cases[] = {
        {L"TrayMsgPos=0x2", L"TrayMsgPos", L"2"},
        {L"TrayMsgAnimate=7", L"TrayMsgAnimate", L"7"},  // outside the enumeration, kept
        {L"Rows=abc", L"Rows", L"4"},
        {L"Rows=", L"Rows", L"4"},
        {L"rows = 7 ", L"Rows", L"7"},
        {L"WinWidth=$10", L"WinWidth", L"16"},
        {L"WinHeight=-5", L"WinHeight", L"-5"},
        {L"Displacement=99999999999", L"Displacement", L"182"},
        {L"DBPort=0X7E58", L"DBPort", L"32344"},
        {L"FontSize=\"12\"", L"FontSize", L"12"},
        {L"CloseTMWOnStart=2", L"CloseTMWOnStart", L"true"},
        {L"CallerIDOnly=abc", L"CallerIDOnly", L"false"},
        {L"CallerIDOnly=true", L"CallerIDOnly", L"false"},
        {L"IsNumberShowed=-1", L"IsNumberShowed", L"true"},
        {L"IsNameShowed=0x0", L"IsNameShowed", L"false"},
        {L"Active=1", L"Active", L"true"},
        {L"Server=  \"  my server  \"  ", L"Server", L"  my server  "},
        {L"DBServerAddress=  host name\t", L"DBServerAddress", L"host name"},
        {L"DBAllowedClients= 192.168.1.0/24, 10.0.0.7 ", L"DBAllowedClients", L"192.168.1.0/24, 10.0.0.7"},
        {L"DefaultCityCode='812'", L"DefaultCityCode", L"812"},
        {L"CrmUrlTemplate= https://crm.example/?p={number}&n={name} ", L"CrmUrlTemplate",
         L"https://crm.example/?p={number}&n={name}"},
        {L"CrmUrlTemplate=https://crm.example/?q=\"{number}\"", L"CrmUrlTemplate", L"https://crm.example/?q=\"{number}\""},
        {L"CrmOpenMode=0x2", L"CrmOpenMode", L"2"},
        {L"CrmOpenMode=abc", L"CrmOpenMode", L"0"},
        {L"LookupTimeoutMs=0x10", L"LookupTimeoutMs", L"16"},
        {L"LookupNamePath= /data/0/name ", L"LookupNamePath", L"/data/0/name"},
        // A header in plain text, or protected by someone else, is no header.
        {L"LookupHeader=Authorization: Bearer 123", L"LookupHeader", L""},
        {L"LookupHeader=AQAAANCMnd8BFdERjHoAwE/Cl+s=", L"LookupHeader", L""},
        {L"DefaultCityCode=", L"DefaultCityCode", L""},
        {L"FontName=\"Times New Roman\"", L"FontName", L"Times New Roman"},
        {L"Channels=\"\"K 1\",K2\"", L"Channels", L"<K 1><K2>"},
        {L"Channels=\"\"", L"Channels", L""},
        {L"Channels=\"\"\"\"", L"Channels", L"<>"},
        {L"Channels=\"\" 5 \",6\"", L"Channels", L"< 5 ><6>"},
        {L"CityPrefixes=\"\" 5 \",6\"", L"CityPrefixes", L"<5><6>"},
        {L"InternationalCarrierCode=810, 00", L"InternationalCarrierCode", L"<810><00>"},
        {L"InternationalCarrierCode=\"8 10\"", L"InternationalCarrierCode", L"<8><10>"},
        {L"LongDistanceCarrierCode=\"8,\"", L"LongDistanceCarrierCode", L"<8><>"},
        {L"LongDistanceCarrierCode=\"810,,00\"", L"LongDistanceCarrierCode", L"<810><><00>"},
    };
    for (const auto& c : cases) {
        WriteUtf16File(where_.IniPath, L"[Main]\r\n" + c.line + L"\r\n");
        Snapshot expected = kDefaults;
        for (auto& [key, value] : expected)
            if (key == c.key) value = c.expected;
        EXPECT_EQ(expected, Load()) << "line of " << c.line.size() << " characters";
    }
}

TEST_F(SettingsSandbox, AFreshFileHoldsEveryKeyInTheOrderOfWritingAsUtf16) {
    Save();
    EXPECT_EQ(kFileKeyOrder, KeysInFile(where_.IniPath));
    EXPECT_EQ("\xFF\xFE", ReadBytes(where_.IniPath).substr(0, 2));
    EXPECT_NE(std::wstring::npos, DecodeIniBytes(ReadBytes(where_.IniPath)).find(L"\r\nChannels=\"\"\r\n"))
        << "an empty list is stored as two double quotes";
    EXPECT_EQ(kDefaults, Load());
    // Saving again changes values in place and adds nothing.
    settings_.FDBPort = 1;
    Save();
    EXPECT_EQ(kFileKeyOrder, KeysInFile(where_.IniPath));
}

TEST_F(SettingsSandbox, EverySettingRoundTripsWithCyrillicAndAwkwardText) {
    settings_.FChannels = {L"Канал 1", L"K\"2\"", L"a,b", L"", L"Линия"};
    settings_.FDefaultCountryCode = L"380";
    settings_.FDefaultCityCode = L"44";
    settings_.FCityPrefixes = {L"9", L""};
    settings_.FWorldPrefixes = {L"00"};
    settings_.FCountryPrefixes = {L""};
    settings_.FUseCityPrefixForIncoming = false;
    settings_.FCloseTMWOnStart = settings_.FCallerIDOnly = true;
    settings_.FServerName = L"СЕРВЕР-ЗАПИСИ";
    settings_.FCityCodesDir = L"C:\\Данные\\Коды городов";
    settings_.FAbonentPhoneDir = L"\\\\сервер\\Общая папка\\PQR";
    settings_.FActive = true;
    settings_.FFontName = L"  Шрифт \"Без засечек\" ";
    settings_.FFontSize = 18;
    settings_.FUseRemoteDB = settings_.FDBAsClient = true;
    settings_.FDBServerAddress = L"база.пример.рф";
    settings_.FDBPort = -1;
    settings_.FDBAllowedClients = L"10.0.0.0/8,192.168.5.7";
    settings_.FCrmUrlTemplate = L"https://crm.example/карточка?q=\"{number}\" {name}&x=%2F";
    settings_.FCrmOpenMode = comOnAnswer;
    settings_.FLdapServers = L"ldaps://dc1.пример.рф:636 ldap://dc2";
    settings_.FLdapBase = L"OU=Сотрудники,DC=пример,DC=рф";
    settings_.FLdapFilter = L"(&(objectCategory=person)(|(telephoneNumber=*)(mobile=*)))";
    settings_.FLdapPhoneAttributes = L"telephoneNumber, ipPhone";
    settings_.FLdapNameAttribute = L"cn";
    settings_.FLdapCommentAttributes = L"";
    settings_.FLdapBindDN = L"CN=Информатор,OU=Службы,DC=пример,DC=рф";
    settings_.FLdapPassword = ProtectForUser(L"пароль с пробелом ");
    settings_.FLdapUseWindowsLogin = true;
    settings_.FLdapAllowPlainBind = true;
    settings_.FLdapSyncMinutes = 240;
    settings_.LookupUrlTemplate = L"https://crm.example/api/люди?tel={number}&line={channel}";
    settings_.LookupNamePath = L"/data/0/имя";
    settings_.LookupCommentPath = L"/data/0/company";
    settings_.LookupTimeoutMs = 2500;
    settings_.LookupHeader = L"Authorization: Bearer токен=";
    settings_.FSqlConnection = L"Driver={PostgreSQL Unicode};Server=бд1;Port=5432;Database=phones;Uid=informer;";
    settings_.FSqlPassword = ProtectForUser(L"пароль; с точкой с запятой");
    settings_.FSqlTable = L"Телефоны";
    settings_.FSqlSyncSeconds = 5;
    settings_.FAutoRun = true;
    popups_ = {tmpLeftTop, tmaHorizontal, 300, 200, 0, 9, false, false, false, false, true, true, true, true};
    const Snapshot saved = Describe(settings_, popups_);
    Save();
    EXPECT_EQ(saved, Load());
}

TEST_F(SettingsSandbox, TheDirectoryPasswordsAreInTheFileOnlyEncryptedForThisUser) {
    const struct {
        std::wstring TMainFormSettings::*field;
        const wchar_t* key;
    } cases[] = {{&TMainFormSettings::FLdapPassword, L"LdapPassword"},
                 {&TMainFormSettings::FSqlPassword, L"SqlPassword"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.key)));
        settings_ = TMainFormSettings();
        settings_.*c.field = ProtectForUser(L"тайный пароль");
        Save();
        EXPECT_EQ(std::wstring::npos, DecodeIniBytes(ReadBytes(where_.IniPath)).find(L"тайный"));
        EXPECT_EQ(settings_.*c.field, Field(Load(), c.key)) << "kept as it was made";
        std::wstring password;
        EXPECT_TRUE(UnprotectForUser(Field(Load(), c.key), password));
        EXPECT_EQ(L"тайный пароль", password);
    }
}

TEST_F(SettingsSandbox, SaveParamsStoresTheConnectionAsTheWindowShowsIt) {
    settings_.FActive = false;
    settings_.FServerName = L"field";
    Save({true, L"Сервер в окне", L"C:\\area", L"C:\\abonent"});
    const Snapshot loaded = Load();
    EXPECT_EQ(L"true", Field(loaded, L"Active"));
    EXPECT_EQ(L"Сервер в окне", Field(loaded, L"Server"));
    EXPECT_EQ(L"C:\\area", Field(loaded, L"AreaCodesPath"));
    EXPECT_EQ(L"C:\\abonent", Field(loaded, L"AbonentPhonePath"));
}

TEST_F(SettingsSandbox, AutostartValueIsWrittenDeletedOrLeftAbsent) {
    const std::wstring expectedData = L"\"" + where_.ExePath + L"\"";
    const struct {
        bool before, autoRun;
    } cases[] = {{false, true}, {true, true}, {true, false}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "before " << c.before << ", autorun " << c.autoRun);
        if (c.before) WriteAutoRun(where_, true);
        else ::RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());  // not even the key
        EXPECT_EQ(c.before, ReadAutoRun(where_));
        settings_.FAutoRun = c.autoRun;
        ASSERT_NO_THROW(Save());
        const auto value = RunValue();
        EXPECT_EQ(c.autoRun, value.has_value());
        if (value) {
            EXPECT_EQ(std::make_pair(DWORD{REG_SZ}, expectedData), *value);
        }
        EXPECT_EQ(c.autoRun ? L"true" : L"false", Field(Load(), L"(autorun)"));
    }
    // Any value of that name counts, whatever its data.
    const DWORD one = 1;
    ::RegSetValueExW(Key(where_.RunKeyPath).get(), where_.ExeFileName().c_str(), 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&one), sizeof one);
    EXPECT_TRUE(ReadAutoRun(where_));
}

TEST_F(SettingsSandbox, WrongTypedRegistryValuesAreReportedAndTheRestIsLoaded) {
    SetRecorderString(L"UseCityPrefixForIncoming", L"0");
    SetRecorderDword(L"DefaultCityCode", 812);
    const BYTE multi[] = {'8', 0, 0, 0, 0, 0};
    ::RegSetValueExW(Key(where_.RecorderKeyPath).get(), L"CityPrefix", 0, REG_MULTI_SZ, multi, sizeof multi);
    SetRecorderString(L"DefaultCountryCode", L"380");
    SetRecorderString(L"LongDistanceCarrierCode", L"7");
    WriteUtf16File(where_.IniPath, L"[Main]\r\nRows=9\r\n");
    WriteAutoRun(where_, true);

    std::vector<std::wstring> errors;
    const Snapshot loaded = Load(&errors);
    ASSERT_EQ(3u, errors.size());
    const struct {
        const wchar_t* name;
        const wchar_t* expected;
    } reported[] = {{L"'DefaultCityCode'", L"REG_SZ"}, {L"'CityPrefix'", L"REG_SZ"},
                    {L"'UseCityPrefixForIncoming'", L"REG_DWORD"}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_NE(std::wstring::npos, errors[i].find(reported[i].name)) << i;
        EXPECT_NE(std::wstring::npos, errors[i].find(reported[i].expected)) << i;
    }
    Snapshot expected = kDefaults;
    for (auto& [key, value] : expected) {
        if (key == L"DefaultCountryCode") value = L"380";
        if (key == L"LongDistanceCarrierCode") value = L"<7>";
        if (key == L"Rows") value = L"9";
        if (key == L"(autorun)") value = L"true";
    }
    EXPECT_EQ(expected, loaded);
}

TEST_F(SettingsSandbox, AnUnwritableFileIsReportedAndNothingElseIsWritten) {
    const std::wstring original = L"[Main]\r\nServer=old\r\nUnknown=kept\r\n";
    WriteUtf16File(where_.IniPath, original);
    const std::string before = ReadBytes(where_.IniPath);

    const struct {
        const char* name;
        std::function<std::wstring()> prepare;  // the path to write; may hold the file
    } cases[] = {
        {"folder missing", [&] { return folder_.file(L"нет такой папки\\Informer.ini"); }},
        {"file in use", [&] { return where_.IniPath; }},
        {"path is a folder", [&] { return folder_.path(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        where_.IniPath = c.prepare();
        UniqueFileHandle holder;
        if (std::string(c.name) == "file in use")
            holder.reset(::CreateFileW(where_.IniPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        settings_.FAutoRun = true;
        settings_.FServerName = L"new";
        const auto expectError = [&](const std::function<void()>& save) {
            try {
                save();
                ADD_FAILURE() << "no error";
            } catch (const AppError& error) {
                EXPECT_EQ(L"Unable to write to " + where_.IniPath, error.message());
            }
        };
        expectError([&] { SaveDBParams(where_, settings_); });
        expectError([&] { SaveParams(where_, settings_, popups_, {}); });
        EXPECT_FALSE(RunValue().has_value()) << "the autostart value comes after the file";
        holder.reset();
        where_.IniPath = TSettingsLocation::ForExecutable(where_.ExePath).IniPath;
        EXPECT_EQ(before, ReadBytes(where_.IniPath));
        EXPECT_EQ(L"old", Field(Load(), L"Server")) << "nothing of the failed save lingers";
    }
}

TEST_F(SettingsSandbox, AReadOnlyFileIsReported) {
    WriteUtf16File(where_.IniPath, L"[Main]\r\nServer=old\r\n");
    ::SetFileAttributesW(where_.IniPath.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        UniqueFileHandle probe(
            ::CreateFileW(where_.IniPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (probe) {
            ::SetFileAttributesW(where_.IniPath.c_str(), FILE_ATTRIBUTE_NORMAL);
            GTEST_SKIP() << "this system lets us write read-only files (Wine run as root)";
        }
    }
    EXPECT_THROW(SaveDBParams(where_, settings_), AppError);
    ::SetFileAttributesW(where_.IniPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(L"old", Field(Load(), L"Server"));
}

TEST_F(SettingsSandbox, HandEditedFilesInAnyUnicodeFormReadAndAreKeptWholeOnSave) {
    const std::wstring text =
        L"; написано вручную\r\n[Other]\r\nX=Икс\r\n[Main]\r\nServer=Сервер-1\r\nRows=7\r\nUnknown=Неизвестный\r\n";
    std::string utf16le;
    std::string utf16be;
    for (wchar_t c : text) {
        utf16le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        utf16be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    const std::string utf8 = WideToUtf8(text);
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"UTF-16LE with BOM", "\xFF\xFE" + utf16le}, {"UTF-16LE", utf16le},       {"UTF-16BE with BOM", "\xFE\xFF" + utf16be},
        {"UTF-16BE", utf16be},                       {"UTF-8 with BOM", "\xEF\xBB\xBF" + utf8}, {"UTF-8", utf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(where_.IniPath, c.bytes);
        Snapshot loaded = Load();
        EXPECT_EQ(L"Сервер-1", Field(loaded, L"Server"));
        EXPECT_EQ(L"7", Field(loaded, L"Rows"));
        settings_.FChannels = {L"Канал"};
        Save();
        EXPECT_EQ("\xFF\xFE", ReadBytes(where_.IniPath).substr(0, 2));
        EXPECT_EQ(L"Икс", IniValue(where_.IniPath, L"Other", L"X"));
        EXPECT_EQ(L"Неизвестный", IniValue(where_.IniPath, L"Main", L"Unknown"));
        loaded = Load();
        EXPECT_EQ(L"Сервер-1", Field(loaded, L"Server"));
        EXPECT_EQ(L"<Канал>", Field(loaded, L"Channels"));
    }
}

TEST_F(SettingsSandbox, BadValuesReadAsDefinedWithoutHarm) {
    const std::wstring longText(10000, L'я');
    std::wstring longList;
    for (int i = 0; i < 2000; ++i) longList += L"K" + std::to_wstring(i) + L",";
    WriteUtf16File(where_.IniPath, L"[Main]\r\nServer=" + longText + L"\r\nFontName=\"" + longText +
                                       L"\"\r\nChannels=\"" + longList + L"\"\r\nDefaultCityCode=\"812\r\n"
                                       L"LongDistanceCarrierCode=\"8,\"0\r\nRows=-3\r\nWinWidth=4294967296\r\n");
    const Snapshot loaded = Load();
    EXPECT_EQ(std::wstring(2047, L'я'), Field(loaded, L"Server"));
    EXPECT_EQ(std::wstring(2047, L'я'), Field(loaded, L"FontName"));
    const List channels = ReadListText(longList.substr(0, 2047));
    EXPECT_EQ(Join(channels), Field(loaded, L"Channels"));
    EXPECT_EQ(L"\"812", Field(loaded, L"DefaultCityCode"));
    EXPECT_EQ(L"<8,><0>", Field(loaded, L"LongDistanceCarrierCode"));
    EXPECT_EQ(L"-3", Field(loaded, L"Rows"));
    EXPECT_EQ(L"182", Field(loaded, L"WinWidth"));
}

TEST_F(SettingsSandbox, LineBreaksInValuesCannotAddKeys) {
    settings_.FDBServerAddress = L"host\r\nDBPort=1";
    settings_.FChannels = {L"K\n1"};
    settings_.FDBPort = 5000;
    Save();
    const Snapshot loaded = Load();
    EXPECT_EQ(L"5000", Field(loaded, L"DBPort"));
    EXPECT_EQ(L"host  DBPort=1", Field(loaded, L"DBServerAddress"));
    EXPECT_EQ(L"<K 1>", Field(loaded, L"Channels"));
    EXPECT_EQ(kFileKeyOrder, KeysInFile(where_.IniPath));
}

TEST_F(SettingsSandbox, TheCrmLookupsOwnSaveWritesOnlyItsKeysAndTheHeaderOnlyProtected) {
    settings_.FDBPort = 1;
    settings_.LookupUrlTemplate = L"http://127.0.0.1:8080/?n={number}";
    settings_.LookupHeader = L"X-Api-Key: секрет";
    SaveCrmNames(where_, settings_);
    const List lookupKeys(kFileKeyOrder.end() - 5, kFileKeyOrder.end());
    EXPECT_EQ(lookupKeys, KeysInFile(where_.IniPath));
    const std::wstring file = DecodeIniBytes(ReadBytes(where_.IniPath));
    EXPECT_EQ(std::wstring::npos, file.find(L"секрет"));
    EXPECT_EQ(std::wstring::npos, file.find(L"X-Api-Key"));
    const Snapshot loaded = Load();
    EXPECT_EQ(L"X-Api-Key: секрет", Field(loaded, L"LookupHeader"));
    EXPECT_EQ(L"http://127.0.0.1:8080/?n={number}", Field(loaded, L"LookupUrlTemplate"));
    EXPECT_EQ(L"32456", Field(loaded, L"DBPort")) << "the other keys are not written";
}

TEST_F(SettingsSandbox, TheQuietHoursDialogsOwnSaveWritesOnlyItsKeys) {
    settings_.FDBPort = 1;
    settings_.FQuietHours = true;
    settings_.FQuietHoursFrom = L"21:30";
    SaveQuietHours(where_, settings_);
    EXPECT_EQ((List{L"QuietHours", L"QuietHoursFrom", L"QuietHoursTo", L"QuietWhenBusy"}), KeysInFile(where_.IniPath));
    const Snapshot loaded = Load();
    EXPECT_EQ(L"true", Field(loaded, L"QuietHours"));
    EXPECT_EQ(L"21:30", Field(loaded, L"QuietHoursFrom"));
    EXPECT_EQ(L"32456", Field(loaded, L"DBPort")) << "the other keys are not written";
}

TEST(SettingsTable, EachSettingIsOneRowWithItsOwnKeyFieldAndControl) {
    TMainFormSettings main;
    TTrayMsgWinsSettings popups;
    const TSettingsRef fields{main, popups};
    const Snapshot described = Describe(main, popups);
    const auto rows = SettingsTable();
    ASSERT_EQ(described.size(), rows.size()) << "every setting has a row";
    for (size_t i = 0; i < rows.size(); ++i) {
        const TSettingRow& row = rows[i];
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(&row, FindSettingRow(row.Key));
        // A setting kept only in the INI file (the call journal's) has no control at all.
        EXPECT_EQ(row.Control == TSettingControl::None, row.ControlId == 0) << "each other setting has its control";
        for (size_t j = 0; j < i && row.ControlId != 0; ++j) EXPECT_NE(rows[j].ControlId, row.ControlId);
        // The row reaches the field that the snapshot names by the same key:
        // a changed value shows under that key and nowhere else.
        const TSettingValue before = row.Get(fields);
        TSettingValue changed = before;
        std::visit([](auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) v = !v;
            else if constexpr (std::is_same_v<T, int>) v += 7;
            else if constexpr (std::is_same_v<T, std::wstring>) v += L"x";
            else v.push_back(L"x");
        }, changed);
        row.Set(fields, changed);
        Snapshot expected = described;
        std::wstring key = row.Key;
        for (auto& [name, value] : expected)
            if (name == key) value = std::visit([](const auto& v) { return Text(v); }, changed);
        EXPECT_EQ(expected, Describe(main, popups));
        row.Set(fields, before);
    }
}

// Each dialog copies its own part's rows and finds a control's row only
// among them: a control id of one dialog never reaches another's setting.
TEST(SettingsTable, EachRowBelongsToThePartThatEditsItAndIsFoundOnlyThere) {
    const struct {
        const wchar_t* key;
        TSettingsPart part;
    } cases[] = {
        {L"Server", TSettingsPart::Main},           {L"WinWidth", TSettingsPart::Main},
        {L"LookupUrlTemplate", TSettingsPart::CrmNames}, {L"LookupTimeoutMs", TSettingsPart::CrmNames},
        {L"LdapServers", TSettingsPart::OrgDirectory}, {L"LdapAllowPlainBind", TSettingsPart::OrgDirectory},
        {L"LdapPassword", TSettingsPart::OrgDirectory}, {L"QuietHoursFrom", TSettingsPart::QuietHours},
        {L"SqlConnection", TSettingsPart::SqlDirectory}, {L"SqlPassword", TSettingsPart::SqlDirectory},
        {L"SqlTable", TSettingsPart::SqlDirectory},      {L"SqlSyncSeconds", TSettingsPart::SqlDirectory},
    };
    for (const auto& c : cases) {
        const TSettingRow* row = FindSettingRow(c.key);
        ASSERT_NE(nullptr, row) << testing::PrintToString(std::wstring(c.key));
        EXPECT_EQ(c.part, row->Part) << testing::PrintToString(std::wstring(c.key));
    }
    const TSettingsPart parts[] = {TSettingsPart::Main, TSettingsPart::CrmNames, TSettingsPart::OrgDirectory,
                                   TSettingsPart::QuietHours, TSettingsPart::SqlDirectory};
    for (const TSettingRow& row : SettingsTable()) {
        if (row.ControlId == 0) continue;
        for (const TSettingsPart part : parts)
            EXPECT_EQ(part == row.Part ? &row : nullptr, FindSettingRowByControl(row.ControlId, part))
                << testing::PrintToString(std::wstring(row.Key));
    }
}

TEST_F(SettingsSandbox, EachSaveWritesItsOwnKeysInTheTablesOrder) {
    SaveDBParams(where_, settings_);
    const List dbKeys(kFileKeyOrder.begin(), kFileKeyOrder.begin() + 9);
    EXPECT_EQ(dbKeys, KeysInFile(where_.IniPath));
    ::DeleteFileW(where_.IniPath.c_str());
    SaveParams(where_, settings_, popups_, {});
    List paramKeys(kFileKeyOrder.begin(), kFileKeyOrder.begin() + 4);
    paramKeys.insert(paramKeys.end(), kFileKeyOrder.begin() + 9, kFileKeyOrder.end());
    EXPECT_EQ(paramKeys, KeysInFile(where_.IniPath));
}
