// The settings without a window: a part edited in a dialog is applied keeping
// what a policy fixes, only that part's fields change, its rows are stored and
// the listeners are told.
#include "SettingsModel.h"
#include "TestFolders.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

std::wstring IniValue(const std::wstring& path, const wchar_t* key) {
    wchar_t buffer[512] = {};
    ::GetPrivateProfileStringW(L"Main", key, L"<missing>", buffer, 512, path.c_str());
    return buffer;
}

// A settings file of the test's own and private registry keys for the policies.
class SettingsModel : public ::testing::Test {
public:
    SettingsModel() {
        static std::atomic<int> counter{0};
        base_ = L"Software\\KordavinTest\\model-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(counter++);
        where_ = TSettingsLocation::ForExecutable(folder_.file(L"KordavinInformer.exe"));
        where_.RecorderKeyPath = base_ + L"\\rv";
        where_.RunKeyPath = base_ + L"\\Run";
        where_.MachinePolicy = {HKEY_CURRENT_USER, base_ + L"\\MachinePolicy"};
        where_.UserPolicy = {HKEY_CURRENT_USER, base_ + L"\\UserPolicy"};
    }
    ~SettingsModel() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KordavinTest");  // only once it is empty
    }
    void SetPolicy(const wchar_t* name, const std::wstring& value) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, where_.UserPolicy.Path.c_str(), 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr));
        UniqueRegKey owned(key);
        ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

protected:
    TempFolder folder_;
    std::wstring base_;
    TSettingsLocation where_;
};

TEST_F(SettingsModel, APartIsAppliedAloneKeepingWhatAPolicyFixesAndItsRowsAreStored) {
    SetPolicy(L"LookupUrlTemplate", L"https://crm.example/find?p={number}");
    SetPolicy(L"LdapBase", L"dc=corp,dc=example");
    SetPolicy(L"SqlTable", L"OfficePhones");

    const struct {
        TSettingsPart part;
        bool lookupTaken, ldapTaken, mainTaken, sqlTaken;
        const wchar_t* storedTimeout;  // every row of the file is written but for the CRM names' own save
    } cases[] = {
        {TSettingsPart::CrmNames, true, false, false, false, L"2500"},
        {TSettingsPart::OrgDirectory, false, true, false, false, L"1500"},
        {TSettingsPart::SqlDirectory, false, false, false, true, L"1500"},
        {TSettingsPart::Main, true, true, true, true, L"2500"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.part));
        ::DeleteFileW(where_.IniPath.c_str());
        TTrayMsgWinsSettings popups;
        TSettingsModel model(where_, popups);
        std::vector<TSettingsPart> told;
        model.AddListener([&](TSettingsPart part, const TMainFormSettings& settings) {
            told.push_back(part);
            EXPECT_EQ(model.Settings().LookupTimeoutMs, settings.LookupTimeoutMs) << "told once applied";
        });
        EXPECT_TRUE(model.Load(TMainFormSettings{}).empty());
        ASSERT_EQ(L"https://crm.example/find?p={number}", model.Settings().LookupUrlTemplate);

        TMainFormSettings edited = model.Settings();
        edited.LookupUrlTemplate = L"https://mine.example/{number}";
        edited.LookupTimeoutMs = 2500;
        edited.FLdapBase = L"dc=mine";
        edited.FLdapServers = L"ldap://dc1.corp.example";
        edited.FDefaultCityCode = L"343";
        edited.FSqlConnection = L"Driver={PostgreSQL Unicode};Server=db1;";
        edited.FSqlTable = L"MyPhones";
        model.Apply(c.part, edited, {false, L"", L"", L""});

        const TMainFormSettings& applied = model.Settings();
        EXPECT_EQ(std::vector<TSettingsPart>{c.part}, told);
        EXPECT_EQ(L"https://crm.example/find?p={number}", applied.LookupUrlTemplate) << "fixed by the policy";
        EXPECT_EQ(L"dc=corp,dc=example", applied.FLdapBase) << "fixed by the policy";
        EXPECT_EQ(c.lookupTaken ? 2500 : 1500, applied.LookupTimeoutMs);
        EXPECT_EQ(c.ldapTaken ? L"ldap://dc1.corp.example" : L"", applied.FLdapServers);
        EXPECT_EQ(c.mainTaken ? L"343" : L"495", applied.FDefaultCityCode);
        EXPECT_EQ(c.sqlTaken ? L"Driver={PostgreSQL Unicode};Server=db1;" : L"", applied.FSqlConnection);
        EXPECT_EQ(L"OfficePhones", applied.FSqlTable) << "fixed by the policy";

        const std::wstring ini = where_.IniPath;
        EXPECT_EQ(c.storedTimeout, IniValue(ini, L"LookupTimeoutMs"));
        EXPECT_EQ(L"<missing>", IniValue(ini, L"LookupUrlTemplate")) << "a fixed setting is never written";
        EXPECT_EQ(L"<missing>", IniValue(ini, L"LdapBase"));
        EXPECT_EQ(L"<missing>", IniValue(ini, L"SqlTable"));
        if (c.part != TSettingsPart::CrmNames)
            EXPECT_EQ(c.ldapTaken ? L"ldap://dc1.corp.example" : L"", IniValue(ini, L"LdapServers"));
        else
            EXPECT_EQ(L"<missing>", IniValue(ini, L"LdapServers")) << "the CRM names store their own rows only";
    }
}

TEST_F(SettingsModel, ARenamedChannelFollowsInTheAppliedListWithoutBeingStored) {
    TTrayMsgWinsSettings popups;
    TSettingsModel model(where_, popups);
    TMainFormSettings defaults;
    defaults.FChannels = {L"K1", L"K2"};
    model.Load(defaults);
    model.ChannelRenamed({L"K1", L"Линия 2"});
    EXPECT_EQ((std::vector<std::wstring>{L"K1", L"Линия 2"}), model.Settings().FChannels);
    EXPECT_EQ(L"<missing>", IniValue(where_.IniPath, L"Channels"));
}

}  // namespace
