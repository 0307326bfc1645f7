// Where settings come from besides the user's own file: policies an administrator
// sets in the registry, and the defaults file beside a program whose folder the
// user cannot write.
#include "IniEncoding.h"
#include "SettingsStore.h"
#include "SettingsTable.h"
#include "TestFolders.h"
#include "UniqueHandle.h"
#include "WritableFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <set>

namespace {

std::wstring IniValue(const std::wstring& path, const wchar_t* key) {
    wchar_t buffer[512] = {};
    ::GetPrivateProfileStringW(L"Main", key, L"<missing>", buffer, 512, path.c_str());
    return buffer;
}

void WriteIni(const std::wstring& path, const std::wstring& lines) {
    const std::string bytes = EncodeUtf16LeWithBom(L"[Main]\r\n" + lines);
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD done = 0;
    ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Private registry keys for the two policy places, the recording product's key
// and the autostart key; a program folder and a user folder of the test's own.
class SettingsSources : public ::testing::Test {
public:
    SettingsSources() {
        static std::atomic<int> counter{0};
        base_ = L"Software\\KordavinTest\\sources-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(counter++);
        where_ = TSettingsLocation::ForExecutable(program_.file(L"KordavinInformer.exe"));
        Sandbox(where_);
    }
    ~SettingsSources() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KordavinTest");  // only once it is empty
    }

    void Sandbox(TSettingsLocation& where) const {
        where.RecorderKeyPath = base_ + L"\\rv";
        where.RunKeyPath = base_ + L"\\Run";
        where.MachinePolicy = {HKEY_CURRENT_USER, base_ + L"\\MachinePolicy"};
        where.UserPolicy = {HKEY_CURRENT_USER, base_ + L"\\UserPolicy"};
    }
    // The program installed for the whole computer: its folder is not writable.
    TSettingsLocation PerMachine() const {
        TSettingsLocation where = TSettingsLocation::ForProgram(where_.ExePath, false, userFolder_);
        Sandbox(where);
        return where;
    }

    UniqueRegKey Key(const std::wstring& path) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, &key, nullptr));
        return UniqueRegKey(key);
    }
    void SetDword(const TRegistryPlace& place, const wchar_t* name, DWORD value) {
        ::RegSetValueExW(Key(place.Path).get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof value);
    }
    void SetString(const TRegistryPlace& place, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) {
        ::RegSetValueExW(Key(place.Path).get(), name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    bool AutoRunValueExists() { return ReadAutoRun(where_); }

    std::vector<std::wstring> Load(const TSettingsLocation& where) {
        settings_ = TMainFormSettings();
        popups_ = TTrayMsgWinsSettings();
        sources_ = TSettingsSources();
        return LoadSettings(where, settings_, popups_, &sources_);
    }
    void Save(const TSettingsLocation& where) {
        SaveDBParams(where, settings_, &sources_);
        SaveParams(where, settings_, popups_,
                   {settings_.FActive, settings_.FServerName, settings_.FCityCodesDir, settings_.FAbonentPhoneDir},
                   &sources_);
    }
    std::set<std::wstring> Enforced() const { return sources_.Enforced.Keys; }

    TempFolder program_;
    TempFolder user_;
    std::wstring userFolder_ = user_.file(L"KordavinInformer");
    std::wstring base_;
    TSettingsLocation where_;
    TMainFormSettings settings_;
    TTrayMsgWinsSettings popups_;
    TSettingsSources sources_;
};

}  // namespace

TEST(SettingsTable, EveryEnforceableSettingHasAPolicyValueOfAReadableKind) {
    std::set<std::wstring> names;
    for (const auto& row : SettingsTable()) {
        if (!row.PolicyValue) continue;
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.Key)));
        EXPECT_TRUE(names.insert(row.PolicyValue).second) << "one setting per policy value";
        EXPECT_EQ(&row, FindSettingRowByPolicy(row.PolicyValue));
        const bool readable = row.Store == TSettingStore::Bool || row.Store == TSettingStore::Integer ||
                              row.Store == TSettingStore::Text || std::wstring(row.Key) == L"(autorun)";
        EXPECT_TRUE(readable) << "a policy is a number or a plain text";
    }
    for (const wchar_t* name : {L"Active", L"Server", L"AreaCodesPath", L"AbonentPhonePath", L"UseRemoteDB",
                                L"DBAsClient", L"DBServerAddress", L"DBPort", L"DBAllowedClients", L"CrmUrlTemplate",
                                L"CrmOpenMode", L"JournalDays", L"JournalMaxCalls", L"MissedCallBalloon", L"AutoRun"})
        EXPECT_TRUE(names.count(name)) << testing::PrintToString(std::wstring(name));
    EXPECT_EQ(nullptr, FindSettingRowByPolicy(L"FontName")) << "the popups' look stays the user's";
}

TEST_F(SettingsSources, PoliciesOverrideTheIniFileAndTheComputersPolicyWins) {
    WriteIni(where_.IniPath, L"Server=mine\r\nDBPort=4000\r\nJournalDays=30\r\nCrmOpenMode=1\r\nActive=0\r\n"
                             L"FontSize=12\r\n");
    SetString(where_.UserPolicy, L"Server", L"recorder-user");
    SetString(where_.MachinePolicy, L"Server", L"recorder-machine");
    SetDword(where_.UserPolicy, L"DBPort", 5000);
    SetDword(where_.MachinePolicy, L"JournalDays", 7);
    SetDword(where_.UserPolicy, L"CrmOpenMode", 2);
    SetDword(where_.MachinePolicy, L"Active", 1);
    SetDword(where_.UserPolicy, L"FontSize", 16);  // no policy of the program: ignored
    EXPECT_TRUE(Load(where_).empty());

    EXPECT_EQ(L"recorder-machine", settings_.FServerName);
    EXPECT_EQ(5000, settings_.FDBPort);
    EXPECT_EQ(7, settings_.FJournalDays);
    EXPECT_EQ(comOnAnswer, settings_.FCrmOpenMode);
    EXPECT_TRUE(settings_.FActive);
    EXPECT_EQ(12, settings_.FFontSize);
    EXPECT_EQ((std::set<std::wstring>{L"Server", L"DBPort", L"JournalDays", L"CrmOpenMode", L"Active"}), Enforced());
}

TEST_F(SettingsSources, ABadPolicyValueIsReportedAndFixesNothing) {
    WriteIni(where_.IniPath, L"DBPort=4000\r\nServer=mine\r\nJournalMaxCalls=500\r\n");
    SetString(where_.MachinePolicy, L"DBPort", L"5000");      // text where a number belongs
    SetDword(where_.MachinePolicy, L"Server", 1);             // number where a text belongs
    SetDword(where_.MachinePolicy, L"JournalMaxCalls", 0x80000000u);  // beyond the signed range
    SetDword(where_.UserPolicy, L"Server", 2);
    SetString(where_.UserPolicy, L"Server", L"from-user");  // the user's policy still fixes it
    const auto errors = Load(where_);
    EXPECT_EQ(3u, errors.size());
    EXPECT_EQ(4000, settings_.FDBPort);
    EXPECT_EQ(500, settings_.FJournalMaxCalls);
    EXPECT_EQ(L"from-user", settings_.FServerName);
    EXPECT_EQ((std::set<std::wstring>{L"Server"}), Enforced());
}

TEST_F(SettingsSources, AnExpandablePolicyTextIsExpandedFromTheEnvironment) {
    ::SetEnvironmentVariableW(L"KORDAVIN_TEST_SHARE", L"\\\\files\\phones");
    SetString(where_.MachinePolicy, L"AreaCodesPath", L"%KORDAVIN_TEST_SHARE%\\codes", REG_EXPAND_SZ);
    SetString(where_.MachinePolicy, L"AbonentPhonePath", L"%KORDAVIN_TEST_SHARE%\\pqr");  // REG_SZ: as written
    SetString(where_.MachinePolicy, L"Server", L"%KORDAVIN_TEST_NOT_SET%", REG_EXPAND_SZ);
    EXPECT_TRUE(Load(where_).empty());
    ::SetEnvironmentVariableW(L"KORDAVIN_TEST_SHARE", nullptr);
    EXPECT_EQ(L"\\\\files\\phones\\codes", settings_.FCityCodesDir);
    EXPECT_EQ(L"%KORDAVIN_TEST_SHARE%\\pqr", settings_.FAbonentPhoneDir);
    EXPECT_EQ(L"%KORDAVIN_TEST_NOT_SET%", settings_.FServerName) << "a name that is not set stays as written";
}

TEST_F(SettingsSources, ASaveNeverWritesAnEnforcedSettingAndTheFileKeepsTheUsersValue) {
    WriteIni(where_.IniPath, L"CrmUrlTemplate=https://mine.example/{number}\r\nDBPort=4000\r\nCallerIDOnly=0\r\n");
    SetString(where_.UserPolicy, L"CrmUrlTemplate", L"https://crm.example/card?phone={number}");
    SetDword(where_.MachinePolicy, L"DBPort", 5000);
    ASSERT_TRUE(Load(where_).empty());
    settings_.FCallerIDOnly = true;
    Save(where_);
    EXPECT_EQ(L"https://mine.example/{number}", IniValue(where_.IniPath, L"CrmUrlTemplate"));
    EXPECT_EQ(L"4000", IniValue(where_.IniPath, L"DBPort"));
    EXPECT_EQ(L"1", IniValue(where_.IniPath, L"CallerIDOnly")) << "the user's own settings are saved";

    // Once the policy is gone, the user's own value is back.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, where_.UserPolicy.Path.c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, where_.MachinePolicy.Path.c_str());
    ASSERT_TRUE(Load(where_).empty());
    EXPECT_EQ(L"https://mine.example/{number}", settings_.FCrmUrlTemplate);
    EXPECT_EQ(4000, settings_.FDBPort);
}

TEST_F(SettingsSources, AnEnforcedAutostartIsMadeSoAtLoadingAndASaveLeavesIt) {
    const struct {
        DWORD policy;
        bool before;
    } cases[] = {{1, false}, {0, true}, {1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "policy " << c.policy << ", autostart before " << c.before);
        WriteAutoRun(where_, c.before);
        SetDword(where_.UserPolicy, L"AutoRun", c.policy);
        ASSERT_TRUE(Load(where_).empty());
        EXPECT_EQ(c.policy != 0, settings_.FAutoRun);
        EXPECT_EQ(c.policy != 0, AutoRunValueExists());
        settings_.FAutoRun = !settings_.FAutoRun;  // as if the window had sent another value
        Save(where_);
        EXPECT_EQ(c.policy != 0, AutoRunValueExists());
    }
}

TEST(SettingsLocation, AProgramInAFolderItCannotWriteKeepsItsUsersSettingsInTheirOwnFile) {
    const auto portable = TSettingsLocation::ForProgram(L"D:\\Tools\\KordavinInformer.exe", true, L"C:\\U\\K");
    EXPECT_EQ(L"D:\\Tools\\KordavinInformer.ini", portable.IniPath);
    EXPECT_EQ(L"", portable.DefaultsIniPath);

    const auto installed =
        TSettingsLocation::ForProgram(L"C:\\Program Files\\Kordavin Informer\\KordavinInformer.exe", false,
                                      L"C:\\Users\\op\\AppData\\Roaming\\KordavinInformer");
    EXPECT_EQ(L"C:\\Users\\op\\AppData\\Roaming\\KordavinInformer\\KordavinInformer.ini", installed.IniPath);
    EXPECT_EQ(L"C:\\Program Files\\Kordavin Informer\\KordavinInformer.ini", installed.DefaultsIniPath);
    EXPECT_EQ(L"C:\\Program Files\\Kordavin Informer\\KordavinInformer.exe", installed.ExePath);
}

TEST(WritableFolder, AFolderThatTakesFilesIsToldFromOneThatCannot) {
    TempFolder folder;
    EXPECT_TRUE(FolderAcceptsNewFiles(folder.path()));
    EXPECT_FALSE(FolderAcceptsNewFiles(folder.file(L"missing")));
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(folder.path()))) << "the probe leaves no file behind";
}

TEST_F(SettingsSources, TheFoldersFileGivesDefaultsAndTheUsersChangesGoToTheirOwnFile) {
    const TSettingsLocation where = PerMachine();
    const std::wstring folderFile = L"Active=1\r\nServer=recorder\r\nDefaultCityCode=812\r\nRows=3\r\n";
    WriteIni(where.DefaultsIniPath, folderFile);
    ASSERT_TRUE(Load(where).empty());
    EXPECT_TRUE(settings_.FActive) << "the folder's file says so and the user's has no word on it";
    EXPECT_EQ(L"recorder", settings_.FServerName);
    EXPECT_EQ(L"812", settings_.FDefaultCityCode);
    EXPECT_EQ(3, popups_.Rows);

    settings_.FDefaultCityCode = L"343";
    popups_.Rows = 5;
    Save(where);
    EXPECT_EQ(L"343", IniValue(where.IniPath, L"DefaultCityCode"));
    EXPECT_EQ(L"5", IniValue(where.IniPath, L"Rows"));
    for (const wchar_t* unchanged : {L"Active", L"Server", L"FontSize", L"DBPort"})
        EXPECT_EQ(L"<missing>", IniValue(where.IniPath, unchanged))
            << "not the user's change: " << testing::PrintToString(std::wstring(unchanged));
    EXPECT_EQ(L"812", IniValue(where.DefaultsIniPath, L"DefaultCityCode")) << "the folder's file is never written";
    EXPECT_EQ(L"<missing>", IniValue(where.DefaultsIniPath, L"CallerIDOnly"));

    // A later change of the defaults reaches what the user left alone; the user's own value wins.
    WriteIni(where.DefaultsIniPath, L"Active=1\r\nServer=recorder2\r\nDefaultCityCode=495\r\nRows=3\r\n");
    ASSERT_TRUE(Load(where).empty());
    EXPECT_EQ(L"recorder2", settings_.FServerName);
    EXPECT_EQ(L"343", settings_.FDefaultCityCode);
    EXPECT_EQ(5, popups_.Rows);

    // Set back to the default, a setting the user's file holds stays there.
    popups_.Rows = 3;
    Save(where);
    EXPECT_EQ(L"3", IniValue(where.IniPath, L"Rows"));
}

TEST_F(SettingsSources, WithoutAFoldersFileTheUsersFileIsMadeInItsOwnNewFolder) {
    const TSettingsLocation where = PerMachine();
    ASSERT_FALSE(FileExists(userFolder_));
    ASSERT_TRUE(Load(where).empty());
    EXPECT_FALSE(settings_.FActive);
    settings_.FActive = true;
    Save(where);
    EXPECT_EQ(L"1", IniValue(where.IniPath, L"Active"));
    EXPECT_FALSE(FileExists(where.DefaultsIniPath));
    ASSERT_TRUE(Load(where).empty());
    EXPECT_TRUE(settings_.FActive);
}
