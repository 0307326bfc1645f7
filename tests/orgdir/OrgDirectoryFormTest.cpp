// The organisation's directory's settings dialog, driven through its real
// window against a throw-away OpenLDAP server, and the words it and the
// diagnostics use.
#include "DiagnosticsForm.h"
#include "DiagnosticsRes.h"
#include "DpapiText.h"
#include "FakeLdapServer.h"
#include "FreePort.h"
#include "MessagePump.h"
#include "OrgDirectoryForm.h"
#include "OrgDirectoryPart.h"
#include "OrgDirectoryRes.h"
#include "OrgDirectoryTexts.h"
#include "SlapdServer.h"
#include "TestFolders.h"
#include "WindowText.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

namespace {

TEST(OrgDirectoryTexts, EveryFailureHasItsOwnWords) {
    std::set<std::wstring> seen;
    for (int kind = static_cast<int>(TOrgDirectoryFailure::NotConfigured);
         kind <= static_cast<int>(TOrgDirectoryFailure::TlsRequired); ++kind) {
        const std::wstring text = OrgDirectoryErrorText({static_cast<TOrgDirectoryFailure>(kind), 0, {}, {}});
        EXPECT_FALSE(text.empty()) << kind;
        EXPECT_TRUE(seen.insert(text).second) << kind;
        EXPECT_EQ(text.find(L'%'), std::wstring::npos) << kind;
    }
    EXPECT_EQ(OrgDirectoryErrorText({}), L"");
    TOrgCheckResult onePage;
    onePage.Entries = 500;
    onePage.Numbers = 730;
    onePage.More = true;
    EXPECT_EQ(OrgCheckResultText(onePage),
              L"Сервер отвечает. На первой странице записей с номерами: 500 (номеров: 730); всего их больше.");
    EXPECT_EQ(OrgDirectoryErrorText({TOrgDirectoryFailure::BindRefused, 49, L"ldap://dc1", L"Invalid\ncredentials"}),
              L"сервер не принял имя пользователя и пароль (ldap://dc1). Ответ сервера: Invalid credentials");
}

TEST(OrgDirectoryTexts, TheLastSyncSaysWhatIsInUse) {
    TOrgSyncStatus good;
    good.AttemptTime = 1'700'000'000'000;
    good.DurationMs = 1250;
    good.CacheTime = good.AttemptTime;
    good.Entries = 120;
    good.Numbers = 245;
    TOrgSyncStatus failed = good;
    failed.AttemptTime += 3'600'000;
    failed.Error = {TOrgDirectoryFailure::ServerUnreachable, 81, L"ldap://dc1", L""};
    TOrgSyncStatus failedEmpty;
    failedEmpty.AttemptTime = good.AttemptTime;
    failedEmpty.Error = {TOrgDirectoryFailure::NoSuchBase, 32, L"", L""};
    const struct {
        TOrgSyncStatus status;
        bool enabled;
        std::vector<std::wstring> parts;
    } cases[] = {
        {good, false, {L"Справочник организации: не используется"}},
        {{}, true, {L"Справочник организации: ещё не прочитан"}},
        {good, true, {L"прочитан", L"за 1,2 с", L"записей 120, номеров 245"}},
        {failed, true, {L"ошибка чтения", L"ни один сервер не ответил (ldap://dc1)", L"в работе имена от",
                        L"(записей 120, номеров 245)"}},
        {failedEmpty, true, {L"база поиска на сервере не найдена", L"имён из справочника нет"}},
    };
    for (const auto& c : cases) {
        const std::wstring text = OrgSyncStatusText(c.status, c.enabled);
        for (const std::wstring& part : c.parts)
            EXPECT_NE(text.find(part), std::wstring::npos) << testing::PrintToString(text) << " lacks "
                                                           << testing::PrintToString(part);
        EXPECT_EQ(text.find(L'%'), std::wstring::npos) << testing::PrintToString(text);
    }
}

std::wstring Staff() {
    return LdifPerson(L"ivanov", {{L"cn", L"Иван Иванов"},
                                  {L"telephoneNumber", L"+7 (495) 111-22-33"},
                                  {L"mobile", L"8 916 123 45 67"},
                                  {L"title", L"Инженер"}}) +
           LdifPerson(L"reception", {{L"cn", L"Приёмная"}, {L"telephoneNumber", L"100"}}) +
           LdifPerson(L"nophone", {{L"cn", L"Без телефона"}, {L"title", L"Архивариус"}}) +
           LdifPerson(L"reader", {{L"userPassword", L"reader-secret"}});
}

class OrgDirectoryFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TSlapdServer::Available()) GTEST_SKIP() << "slapd runs on the Linux side of Wine only";
        std::string why;
        // The password goes over StartTLS, as it must.
        ASSERT_TRUE(server.Start(Staff(), 0, why, TSlapdSecurity::Tls)) << why;
        TOrgDirectorySettings current;
        current.FLdapServers = server.Url();
        current.FLdapBase = TSlapdServer::kSuffix;
        current.FLdapBindDN = PersonDn(L"reader");
        current.FLdapPassword = ProtectForUser(L"reader-secret");
        current.FLdapSyncMinutes = 30;
        current.FLdapAllowPlainBind = true;
        stored = current.FLdapPassword;
        dialog = TOrgDirectoryForm::Show(::GetModuleHandleW(nullptr), nullptr, current, TDiallingSettings{},
                                         [this](const TOrgDirectorySettings& settings) { applied = settings; });
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        TOrgDirectoryForm::CloseAll();
        PumpPending();
    }
    std::wstring Text(int id) const { return WindowText(::GetDlgItem(dialog, id)); }
    void SetText(int id, const std::wstring& text) { ::SetDlgItemTextW(dialog, id, text.c_str()); }
    void Click(int id) {
        ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        PumpPending();
    }
    // The check's result, once the button is enabled again.
    std::wstring CheckResult() {
        Click(IDC_ORGDIR_CHECK);
        EXPECT_TRUE(PumpUntil([&] { return ::IsWindowEnabled(::GetDlgItem(dialog, IDC_ORGDIR_CHECK)) != FALSE; },
                              30000));
        return Text(IDC_ORGDIR_RESULT);
    }

    TSlapdServer server;
    HWND dialog = nullptr;
    std::wstring stored;
    std::optional<TOrgDirectorySettings> applied;
};

TEST_F(OrgDirectoryFormTest, ShowsTheSettingsInRussianWithThePasswordMasked) {
    EXPECT_EQ(WindowText(dialog), L"Справочник организации (LDAP)");
    EXPECT_EQ(Text(IDC_ORGDIR_CHECK), L"Про&верить");
    EXPECT_EQ(Text(IDC_ORGDIR_SERVERS), server.Url());
    EXPECT_EQ(Text(IDC_ORGDIR_BASE), TSlapdServer::kSuffix);
    EXPECT_EQ(Text(IDC_ORGDIR_PHONES), L"telephoneNumber,mobile,ipPhone,homePhone,otherTelephone");
    EXPECT_EQ(Text(IDC_ORGDIR_NAME), L"displayName");
    EXPECT_EQ(Text(IDC_ORGDIR_COMMENTS), L"title,department,company");
    EXPECT_EQ(Text(IDC_ORGDIR_MINUTES), L"30");
    EXPECT_NE(::SendMessageW(::GetDlgItem(dialog, IDC_ORGDIR_PASSWORD), EM_GETPASSWORDCHAR, 0, 0), 0);
    // The Windows login takes no name and password of its own.
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_ORGDIR_BINDDN)));
    Click(IDC_ORGDIR_WINDOWS_LOGIN);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_ORGDIR_BINDDN)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_ORGDIR_PASSWORD)));
}

TEST_F(OrgDirectoryFormTest, TheCheckCountsEntriesWithNumbersOrSaysWhyInPlainWords) {
    const std::wstring nobody = L"ldap://127.0.0.1:" + std::to_wstring(FreePort());
    const struct {
        int control;
        std::wstring text;
        std::wstring expected;
    } cases[] = {
        {0, L"", L"Найдено записей с номерами: 2 (номеров: 3)."},
        {IDC_ORGDIR_PASSWORD, L"wrong", L"Справочник не прочитан: сервер не принял имя пользователя и пароль"},
        {IDC_ORGDIR_BASE, L"ou=nowhere,dc=kordavin,dc=test", L"Справочник не прочитан: база поиска на сервере не найдена"},
        {IDC_ORGDIR_SERVERS, nobody, L"Справочник не прочитан: ни один сервер не ответил"},
        {IDC_ORGDIR_SERVERS, L"http://127.0.0.1", L"Справочник не прочитан: адрес сервера должен начинаться"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        std::wstring before;
        if (c.control != 0) {
            before = Text(c.control);
            SetText(c.control, c.text);
        }
        const std::wstring result = CheckResult();
        EXPECT_EQ(result.substr(0, c.expected.size()), c.expected) << testing::PrintToString(result);
        if (c.control != 0) SetText(c.control, before);
    }
    EXPECT_FALSE(applied.has_value()) << "the check applies nothing";
}

TEST_F(OrgDirectoryFormTest, OkHandsOverTheSettingsWithThePasswordEncrypted) {
    SetText(IDC_ORGDIR_COMMENTS, L" title, o ");
    SetText(IDC_ORGDIR_MINUTES, L"15");
    Click(IDC_ORGDIR_OK);
    ASSERT_TRUE(applied.has_value());
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(applied->FLdapServers, server.Url());
    EXPECT_EQ(applied->FLdapCommentAttributes, L"title, o");
    EXPECT_EQ(applied->FLdapSyncMinutes, 15);
    EXPECT_EQ(applied->FLdapPassword, stored) << "an unchanged password keeps its stored form";
    EXPECT_TRUE(applied->FLdapAllowPlainBind) << "an administrator's choice without a control stays";

    dialog = TOrgDirectoryForm::Show(::GetModuleHandleW(nullptr), nullptr, *applied, TDiallingSettings{},
                                     [this](const TOrgDirectorySettings& settings) { applied = settings; });
    SetText(IDC_ORGDIR_PASSWORD, L"new secret");
    Click(IDC_ORGDIR_OK);
    ASSERT_TRUE(applied.has_value());
    EXPECT_EQ(applied->FLdapPassword.find(L"new secret"), std::wstring::npos) << "never in plain text";
    std::wstring password;
    EXPECT_TRUE(UnprotectForUser(applied->FLdapPassword, password));
    EXPECT_EQ(password, L"new secret");
}

// A check against a server that never answers: the dialog closes at once and
// the check is told to stop (it abandons its request), instead of reading on
// alone until the server's time-out.
TEST_F(OrgDirectoryFormTest, ClosingTheDialogCancelsARunningCheck) {
    TFakeLdapServer silent(TFakeLdapServer::TMode::BindOnly);
    ASSERT_TRUE(silent.Listening());
    SetText(IDC_ORGDIR_SERVERS, silent.Url());
    // Anonymous: a password would first wait for StartTLS, which this server never answers.
    SetText(IDC_ORGDIR_BINDDN, L"");
    SetText(IDC_ORGDIR_PASSWORD, L"");
    Click(IDC_ORGDIR_CHECK);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_ORGDIR_CHECK)));
    ASSERT_TRUE(PumpUntil([&] { return silent.Connections() > 0; }, 10000));
    PumpFor(300);
    const ULONGLONG before = ::GetTickCount64();
    Click(IDC_ORGDIR_CANCEL);
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_LT(::GetTickCount64() - before, 1000u);
    EXPECT_TRUE(PumpUntil([&] { return silent.Abandons() > 0; }, 3000)) << "the check read on";
    EXPECT_FALSE(applied.has_value());
}

TEST_F(OrgDirectoryFormTest, APeriodOutOfRangeIsRefusedWithTheReason) {
    SetText(IDC_ORGDIR_MINUTES, L"0");
    EXPECT_EQ(CheckResult(), L"Период обновления — целое число минут от 1 до 10080.");
}

// The controller's parts as the diagnostics window reads them: the
// organisation's directory alone.
class OrgDirectoryOnly final : public INameSourceParts {
public:
    explicit OrgDirectoryOnly(const INameSourcePart& part) : part_(part) {}
    const INameSourcePart* NameSourcePart(TSettingsPart part) const override {
        return part == TSettingsPart::OrgDirectory ? &part_ : nullptr;
    }

private:
    const INameSourcePart& part_;
};

// A failed sync is only told by the diagnostics window, in words, while it is open.
TEST(OrgDirectoryDiagnostics, TheWindowShowsWhyTheLastSyncFailed) {
    TempFolder folder;
    TEventDiagnostics diagnostics;
    TOrgDirectoryPart directory(folder.file(L"OrgDirectory.db"));
    const OrgDirectoryOnly parts(directory);
    HWND window = TDiagnosticsForm::Show(::GetModuleHandleW(nullptr), diagnostics, &parts);
    ASSERT_NE(nullptr, window);
    // The organisation's directory is the only name source with a line: the first.
    const auto line = [&] { return WindowText(::GetDlgItem(window, IDC_DIAG_SOURCE_FIRST)); };
    PumpPending();
    EXPECT_EQ(L"Справочник организации: не используется", line());

    TMainFormSettings settings;
    settings.FLdapServers = L"ldap://127.0.0.1:" + std::to_wstring(FreePort());
    settings.FLdapBase = L"dc=kordavin,dc=test";
    directory.Apply(settings);
    EXPECT_TRUE(PumpUntil([&] { return line().find(L"ни один сервер не ответил") != std::wstring::npos; }, 30000))
        << testing::PrintToString(line());
    EXPECT_NE(line().find(L"имён из справочника нет"), std::wstring::npos) << testing::PrintToString(line());
    TDiagnosticsForm::CloseAll();
    PumpPending();
    directory.Stop();
}

}  // namespace
