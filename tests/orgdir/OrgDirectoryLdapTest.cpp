// The read, the sync and the background worker against a real OpenLDAP server.
#include "DpapiText.h"
#include "FakeLdapServer.h"
#include "FreePort.h"
#include "LdapReader.h"
#include "OrgDirectory.h"
#include "OrgDirectorySync.h"
#include "SlapdServer.h"
#include "TestFolders.h"

#include <windows.h>
#include <winldap.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>

namespace {

const TDiallingSettings kDialling;

std::wstring Staff() {
    return LdifPerson(L"ivanov", {{L"cn", L"Иван Иванов"},
                                  {L"displayName", L"Иванов Иван Петрович"},
                                  {L"telephoneNumber", L"+7 (495) 111-22-33"},
                                  {L"telephoneNumber", L"2233"},
                                  {L"mobile", L"8 916 123 45 67"},
                                  {L"title", L"Инженер"},
                                  {L"departmentNumber", L"12"},
                                  {L"o", L"ООО Кордавин"}}) +
           LdifPerson(L"petrova", {{L"cn", L"Анна Петрова"},
                                   {L"telephoneNumber", L"8 495 222 33 44 доб. 123"},
                                   {L"homePhone", L"333-44-55"},
                                   {L"title", L"Бухгалтер"}}) +
           LdifPerson(L"reception", {{L"cn", L"Приёмная"}, {L"telephoneNumber", L"100"}}) +
           LdifPerson(L"nophone", {{L"cn", L"Без телефона"}, {L"title", L"Архивариус"}}) +
           LdifPerson(L"notanumber", {{L"cn", L"Неизвестный"}, {L"telephoneNumber", L"уточняется"}}) +
           LdifPerson(L"reader", {{L"userPassword", L"reader-secret"}, {L"telephoneNumber", L"999"}});
}

// OpenLDAP has no department or company attribute: departmentNumber and o stand in.
TOrgDirectorySettings SettingsFor(const TSlapdServer& server) {
    TOrgDirectorySettings settings;
    settings.FLdapServers = server.Url();
    settings.FLdapBase = TSlapdServer::kSuffix;
    settings.FLdapCommentAttributes = L"title,departmentNumber,o";
    return settings;
}

TOrgReadOptions QuickOptions() {
    TOrgReadOptions options;
    options.TimeoutSeconds = 5;
    return options;
}

class OrgDirectoryLdapTest : public testing::Test {
protected:
    void SetUp() override {
        if (!TSlapdServer::Available()) GTEST_SKIP() << "slapd runs on the Linux side of Wine only";
    }
    void StartServer(const std::wstring& ldif, int sizeLimit = 0, TSlapdSecurity security = TSlapdSecurity::Plain) {
        std::string why;
        ASSERT_TRUE(server_.Start(ldif, sizeLimit, why, security)) << why;
    }
    void OpenCache() { ASSERT_NO_THROW(cache_.Open(folder_.file(L"OrgDirectory.db"))); }
    void ExpectName(const std::wstring& number, const std::wstring& name, const std::wstring& comment) {
        TOrgName found;
        ASSERT_TRUE(cache_.Lookup(number, found)) << testing::PrintToString(number);
        EXPECT_EQ(found.Name, name);
        EXPECT_EQ(found.Comment, comment);
    }

    TSlapdServer server_;
    TempFolder folder_;
    TOrgDirectoryCache cache_;
};

TEST_F(OrgDirectoryLdapTest, NumbersInEveryWrittenFormFindTheirPeople) {
    ASSERT_NO_FATAL_FAILURE(StartServer(Staff()));
    ASSERT_NO_FATAL_FAILURE(OpenCache());
    const TOrgSyncStatus status = SyncOrgDirectory(SettingsFor(server_), kDialling, cache_, QuickOptions());
    ASSERT_FALSE(status.Error) << testing::PrintToString(status.Error.Detail);
    EXPECT_EQ(status.Entries, 4);  // ivanov, petrova, reception, reader
    EXPECT_EQ(status.Numbers, 7);
    EXPECT_GT(status.CacheTime, 0);

    // A multi-valued telephoneNumber and a mobile: every number finds the person.
    for (const wchar_t* number : {L"74951112233", L"2233", L"79161234567"})
        ExpectName(number, L"Иванов Иван Петрович", L"Инженер, 12, ООО Кордавин");
    // No displayName: cn. An extension is cut; a local number completed with the codes.
    ExpectName(L"74952223344", L"Анна Петрова", L"Бухгалтер");
    ExpectName(L"74953334455", L"Анна Петрова", L"Бухгалтер");
    ExpectName(L"100", L"Приёмная", L"");
    TOrgName found;
    EXPECT_FALSE(cache_.Lookup(L"7495222334412", found));
}

TEST_F(OrgDirectoryLdapTest, PagingFetchesEveryEntryPastTheServerSizeLimit) {
    std::wstring ldif;
    constexpr int kPeople = 47;
    for (int i = 0; i < kPeople; ++i)
        ldif += LdifPerson(L"p" + std::to_wstring(i),
                           {{L"cn", L"Сотрудник " + std::to_wstring(i)}, {L"telephoneNumber", std::to_wstring(5000 + i)}});
    ASSERT_NO_FATAL_FAILURE(StartServer(ldif, 10));
    ASSERT_NO_FATAL_FAILURE(OpenCache());
    // A page smaller than the limit, as Active Directory sends 1,000 of many thousands.
    TOrgReadOptions options = QuickOptions();
    options.PageSize = 7;
    const TOrgSyncStatus status = SyncOrgDirectory(SettingsFor(server_), kDialling, cache_, options);
    ASSERT_FALSE(status.Error) << testing::PrintToString(status.Error.Detail);
    EXPECT_EQ(status.Entries, kPeople);
    ExpectName(L"5000", L"Сотрудник 0", L"");
    ExpectName(L"5046", L"Сотрудник 46", L"");

    // The limit is real: without paging the server stops after 10 entries.
    LDAP* ld = ldap_initW(const_cast<PWCHAR>(L"127.0.0.1"), static_cast<ULONG>(server_.Port()));
    ASSERT_NE(ld, nullptr);
    ULONG version = LDAP_VERSION3;
    ldap_set_optionW(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ASSERT_EQ(ldap_simple_bind_sW(ld, nullptr, nullptr), static_cast<ULONG>(LDAP_SUCCESS));
    LDAPMessage* result = nullptr;
    std::wstring base = TSlapdServer::kSuffix;
    const ULONG code = ldap_search_ext_sW(ld, base.data(), LDAP_SCOPE_SUBTREE, const_cast<PWCHAR>(L"(telephoneNumber=*)"),
                                          nullptr, 0, nullptr, nullptr, nullptr, 0, &result);
    EXPECT_EQ(code, static_cast<ULONG>(LDAP_SIZELIMIT_EXCEEDED));
    if (result) ldap_msgfree(result);
    ldap_unbind(ld);
}

TEST_F(OrgDirectoryLdapTest, ChangedEntryIsSeenAfterTheNextSync) {
    ASSERT_NO_FATAL_FAILURE(StartServer(Staff()));
    ASSERT_NO_FATAL_FAILURE(OpenCache());
    const TOrgDirectorySettings settings = SettingsFor(server_);
    ASSERT_FALSE(SyncOrgDirectory(settings, kDialling, cache_, QuickOptions()).Error);
    ExpectName(L"74952223344", L"Анна Петрова", L"Бухгалтер");

    std::string why;
    ASSERT_TRUE(server_.Modify(L"dn: " + PersonDn(L"petrova") +
                                   L"\nchangetype: modify\nreplace: telephoneNumber\ntelephoneNumber: +7 495 777-88-99\n"
                                   L"-\nreplace: title\ntitle: Главный бухгалтер\n-\n",
                               why))
        << why;
    ASSERT_FALSE(SyncOrgDirectory(settings, kDialling, cache_, QuickOptions()).Error);
    TOrgName found;
    EXPECT_FALSE(cache_.Lookup(L"74952223344", found)) << "the old number is gone";
    ExpectName(L"74957778899", L"Анна Петрова", L"Главный бухгалтер");
    ExpectName(L"74953334455", L"Анна Петрова", L"Главный бухгалтер");
}

TEST_F(OrgDirectoryLdapTest, StoppedServerKeepsTheCachedNamesAndTellsWhy) {
    ASSERT_NO_FATAL_FAILURE(StartServer(Staff()));
    ASSERT_NO_FATAL_FAILURE(OpenCache());
    const TOrgDirectorySettings settings = SettingsFor(server_);
    const TOrgSyncStatus good = SyncOrgDirectory(settings, kDialling, cache_, QuickOptions());
    ASSERT_FALSE(good.Error);
    std::string why;
    ASSERT_TRUE(server_.Stop(why)) << why;

    const TOrgSyncStatus failed = SyncOrgDirectory(settings, kDialling, cache_, QuickOptions());
    EXPECT_EQ(failed.Error.Kind, TOrgDirectoryFailure::ServerUnreachable);
    EXPECT_EQ(failed.Error.Server, server_.Url());
    EXPECT_NE(failed.Error.LdapCode, 0u);
    EXPECT_FALSE(failed.Error.Detail.empty());
    EXPECT_EQ(failed.CacheTime, good.CacheTime);
    EXPECT_EQ(failed.Entries, good.Entries);
    EXPECT_GE(failed.AttemptTime, good.AttemptTime);
    ExpectName(L"74951112233", L"Иванов Иван Петрович", L"Инженер, 12, ООО Кордавин");

    // The names and the reason are on disk for the next start.
    TOrgDirectoryCache reopened;
    reopened.Open(folder_.file(L"OrgDirectory.db"));
    TOrgName found;
    EXPECT_TRUE(reopened.Lookup(L"2233", found));
    EXPECT_EQ(reopened.Status().Error.Kind, TOrgDirectoryFailure::ServerUnreachable);

    // Back again: the next sync succeeds and clears the error.
    ASSERT_TRUE(server_.Restart(why)) << why;
    EXPECT_FALSE(SyncOrgDirectory(settings, kDialling, cache_, QuickOptions()).Error);
}

TEST_F(OrgDirectoryLdapTest, BindWithTheStoredPasswordAndAWrongOne) {
    ASSERT_NO_FATAL_FAILURE(StartServer(Staff(), 0, TSlapdSecurity::Tls));
    ASSERT_NO_FATAL_FAILURE(OpenCache());
    TOrgDirectorySettings settings = SettingsFor(server_);
    settings.FLdapBindDN = PersonDn(L"reader");
    settings.FLdapPassword = ProtectForUser(L"reader-secret");
    ASSERT_FALSE(SyncOrgDirectory(settings, kDialling, cache_, QuickOptions()).Error);
    ExpectName(L"100", L"Приёмная", L"");

    struct Case {
        std::wstring storedPassword;
        TOrgDirectoryFailure kind;
        ULONG code;
    };
    const Case cases[] = {
        {ProtectForUser(L"wrong"), TOrgDirectoryFailure::BindRefused, LDAP_INVALID_CREDENTIALS},
        // A name without a password would pass as anonymous on many servers.
        {L"", TOrgDirectoryFailure::BindRefused, LDAP_INAPPROPRIATE_AUTH},
        {L"AAAAbm90IGEgYmxvYg==", TOrgDirectoryFailure::PasswordUnreadable, 0},
    };
    for (const Case& c : cases) {
        settings.FLdapPassword = c.storedPassword;
        const TOrgSyncStatus status = SyncOrgDirectory(settings, kDialling, cache_, QuickOptions());
        EXPECT_EQ(status.Error.Kind, c.kind) << testing::PrintToString(c.storedPassword);
        EXPECT_EQ(status.Error.LdapCode, c.code);
        ExpectName(L"100", L"Приёмная", L"");
    }
}

// A password goes over ldap:// only after StartTLS, unless an administrator
// allows it in plain text. The Tls and PlainRefusing servers refuse a password
// that comes unencrypted, so a bind they accept went encrypted.
TEST_F(OrgDirectoryLdapTest, APasswordTravelsEncryptedOrNotAtAll) {
    using S = TSlapdSecurity;
    const std::wstring ldif = Staff();
    TSlapdServer servers[3];
    const S securities[] = {S::Tls, S::Plain, S::PlainRefusing};
    for (int i = 0; i < 3; ++i) {
        std::string why;
        ASSERT_TRUE(servers[i].Start(ldif, 0, why, securities[i])) << why;
    }
    TSlapdServer& tls = servers[0];
    TSlapdServer& plain = servers[1];
    TSlapdServer& refusing = servers[2];
    struct Case {
        std::wstring url;
        bool password, allowPlain;
        TOrgDirectoryFailure kind;
    };
    const Case cases[] = {
        {tls.Url(), true, false, TOrgDirectoryFailure::None},
        {tls.SecureUrl(), true, false, TOrgDirectoryFailure::None},
        {tls.Url(), true, true, TOrgDirectoryFailure::None},
        // No StartTLS: no password is sent, and the reason says so.
        {plain.Url(), true, false, TOrgDirectoryFailure::StartTlsRefused},
        {plain.Url(), true, true, TOrgDirectoryFailure::None},
        {plain.Url(), false, false, TOrgDirectoryFailure::None},
        {refusing.Url(), true, false, TOrgDirectoryFailure::StartTlsRefused},
        // Allowed, but the server wants encryption first, as Active Directory does.
        {refusing.Url(), true, true, TOrgDirectoryFailure::TlsRequired},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.url) + (c.password ? " with a password" : " anonymous") +
                     (c.allowPlain ? ", plain allowed" : ""));
        TOrgDirectorySettings settings = SettingsFor(tls);
        settings.FLdapServers = c.url;
        if (c.password) {
            settings.FLdapBindDN = PersonDn(L"reader");
            settings.FLdapPassword = ProtectForUser(L"reader-secret");
        }
        settings.FLdapAllowPlainBind = c.allowPlain;
        const TOrgCheckResult check = CheckOrgDirectory(settings, kDialling, QuickOptions());
        EXPECT_EQ(check.Error.Kind, c.kind) << testing::PrintToString(check.Error.Detail);
        EXPECT_EQ(check.Entries, c.kind == TOrgDirectoryFailure::None ? 4 : 0);
        if (c.kind != TOrgDirectoryFailure::None) {
            EXPECT_EQ(check.Error.Server, c.url);
            EXPECT_NE(check.Error.LdapCode, 0u);
        }
    }
}

// Windows' StartTLS call has no time-out of its own: a server that takes the
// request and never answers ends it at the time-out, or at once when stopped.
TEST(OrgDirectoryStartTls, AServerThatNeverAnswersItHoldsTheReadNoLongerThanTheTimeoutOrTheStop) {
    using namespace std::chrono_literals;
    TFakeLdapServer silent(TFakeLdapServer::TMode::BindOnly);
    ASSERT_TRUE(silent.Listening());
    const std::wstring server = silent.Url();
    const TLdapCredentials credentials{L"cn=reader,dc=fake,dc=test", L"secret"};
    const auto open = [&](const std::stop_token& stop) {
        LdapSession session;
        return OpenLdapConnection(server, *ParseLdapServer(server), credentials, 2, session, stop);
    };
    const auto started = std::chrono::steady_clock::now();
    const TOrgDirectoryError timedOut = open({});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(timedOut.Kind, TOrgDirectoryFailure::ServerUnreachable);
    EXPECT_EQ(timedOut.LdapCode, static_cast<unsigned long>(LDAP_TIMEOUT));
    EXPECT_GE(took, 1900ms);
    EXPECT_LT(took, 10s);

    std::stop_source stop;
    auto stopped = std::async(std::launch::async, [&] { return open(stop.get_token()); });
    const int connected = silent.Connections();
    for (int i = 0; i < 500 && silent.Connections() == connected; ++i) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(300ms);
    stop.request_stop();
    ASSERT_EQ(stopped.wait_for(1s), std::future_status::ready) << "StartTLS did not see the stop";
    EXPECT_EQ(stopped.get().Kind, TOrgDirectoryFailure::Cancelled);
}

TEST_F(OrgDirectoryLdapTest, ServerListBaseAndFilterFailuresAreReasons) {
    ASSERT_NO_FATAL_FAILURE(StartServer(Staff()));
    const std::wstring nobody = L"ldap://127.0.0.1:" + std::to_wstring(FreePort());
    struct Case {
        std::wstring servers, base, filter;
        TOrgDirectoryFailure kind;
        int64_t entries;
    };
    const std::wstring base = TSlapdServer::kSuffix;
    const Case cases[] = {
        // The first server is down, the second answers.
        {nobody + L" " + server_.Url(), base, L"", TOrgDirectoryFailure::None, 4},
        {nobody, base, L"", TOrgDirectoryFailure::ServerUnreachable, 0},
        {server_.Url() + L" dc1.corp.local", base, L"", TOrgDirectoryFailure::BadServerAddress, 0},
        {L"", base, L"", TOrgDirectoryFailure::NotConfigured, 0},
        {server_.Url(), L"ou=nowhere," + base, L"", TOrgDirectoryFailure::NoSuchBase, 0},
        {server_.Url(), base, L"(telephoneNumber=*", TOrgDirectoryFailure::BadFilter, 0},
        {server_.Url(), base, L"(title=Инженер)", TOrgDirectoryFailure::None, 1},
    };
    for (const Case& c : cases) {
        TOrgDirectorySettings settings = SettingsFor(server_);
        settings.FLdapServers = c.servers;
        settings.FLdapBase = c.base;
        settings.FLdapFilter = c.filter;
        const TOrgCheckResult check = CheckOrgDirectory(settings, kDialling, QuickOptions());
        EXPECT_EQ(check.Error.Kind, c.kind) << testing::PrintToString(c.servers + L" " + c.base + L" " + c.filter)
                                            << ": "
                                            << testing::PrintToString(check.Error.Detail);
        EXPECT_EQ(check.Entries, c.entries);
    }
}

TEST_F(OrgDirectoryLdapTest, ReadCutHalfWayIsAFailureNotAShorterDirectory) {
    std::wstring ldif;
    for (int i = 0; i < 30; ++i)
        ldif += LdifPerson(L"p" + std::to_wstring(i), {{L"telephoneNumber", std::to_wstring(7000 + i)}});
    ASSERT_NO_FATAL_FAILURE(StartServer(ldif));
    TLdapSearch search;
    search.Base = TSlapdServer::kSuffix;
    search.Filter = L"(telephoneNumber=*)";
    search.Attributes = {L"telephoneNumber"};
    search.PageSize = 5;
    search.TimeoutSeconds = 5;
    int seen = 0;
    std::string why;
    const TOrgDirectoryError error = ReadLdapEntries({server_.Url()}, {}, search, [&](TLdapValues&) {
        if (++seen == 5) {
            EXPECT_TRUE(server_.Stop(why)) << why;
        }
    });
    EXPECT_EQ(error.Kind, TOrgDirectoryFailure::Interrupted) << testing::PrintToString(error.Detail);
    EXPECT_LT(seen, 30);

    std::stop_source cancel;
    cancel.request_stop();
    ASSERT_TRUE(server_.Restart(why)) << why;
    EXPECT_EQ(ReadLdapEntries({server_.Url()}, {}, search, [](TLdapValues&) {}, cancel.get_token()).Kind,
              TOrgDirectoryFailure::Cancelled);
}

// A corrected password is tried at once, not at the next retry minutes later;
// the same settings again start nothing.
TEST_F(OrgDirectoryLdapTest, ACorrectedPasswordSyncsAtOnce) {
    ASSERT_NO_FATAL_FAILURE(StartServer(Staff()));
    std::mutex lock;
    std::condition_variable synced;
    std::vector<TOrgSyncStatus> syncs;
    const TOrgDirectory::TSynced onSynced = [&](const TOrgSyncStatus& status) {
        const std::lock_guard held(lock);
        syncs.push_back(status);
        synced.notify_all();
    };
    auto waitForSyncs = [&](size_t count) {
        std::unique_lock held(lock);
        return synced.wait_for(held, std::chrono::seconds(20), [&] { return syncs.size() >= count; });
    };
    TOrgDirectory directory(folder_.file(L"OrgDirectory.db"), QuickOptions());
    TOrgDirectorySettings settings = SettingsFor(server_);
    settings.FLdapBindDN = PersonDn(L"reader");
    // The throw-away server has no certificate for StartTLS.
    settings.FLdapAllowPlainBind = true;
    settings.FLdapPassword = ProtectForUser(L"mistyped");
    directory.Start(settings, kDialling, onSynced);
    ASSERT_TRUE(waitForSyncs(1));
    EXPECT_EQ(syncs[0].Error.Kind, TOrgDirectoryFailure::BindRefused);

    directory.Start(settings, kDialling, onSynced);
    Sleep(500);
    EXPECT_EQ(syncs.size(), 1u) << "unchanged settings wait for the retry";

    settings.FLdapPassword = ProtectForUser(L"reader-secret");
    directory.Start(settings, kDialling, onSynced);
    ASSERT_TRUE(waitForSyncs(2)) << "the corrected password waited for the retry";
    EXPECT_FALSE(syncs[1].Error) << static_cast<int>(syncs[1].Error.Kind);
    directory.Stop();
}

// The worker: names after the first sync, a change after SyncNow, off without a server.
TEST_F(OrgDirectoryLdapTest, BackgroundSyncAtStartAndOnDemand) {
    ASSERT_NO_FATAL_FAILURE(StartServer(Staff()));
    std::mutex lock;
    std::condition_variable synced;
    int syncs = 0;
    TOrgDirectory directory(folder_.file(L"OrgDirectory.db"), QuickOptions());
    auto waitForSyncs = [&](int count) {
        std::unique_lock held(lock);
        return synced.wait_for(held, std::chrono::seconds(30), [&] { return syncs >= count; });
    };
    const TOrgDirectory::TSynced onSynced = [&](const TOrgSyncStatus&) {
        const std::lock_guard held(lock);
        ++syncs;
        synced.notify_all();
    };
    directory.Start(SettingsFor(server_), kDialling, onSynced);
    ASSERT_TRUE(waitForSyncs(1));
    TOrgName found;
    ASSERT_TRUE(directory.Lookup(L"74952223344", found));
    EXPECT_EQ(found.Name, L"Анна Петрова");
    EXPECT_FALSE(directory.LastSync().Error);

    std::string why;
    ASSERT_TRUE(server_.Modify(L"dn: " + PersonDn(L"reception") +
                                   L"\nchangetype: modify\nreplace: cn\ncn: Ресепшн\n-\n",
                               why))
        << why;
    directory.SyncNow();
    ASSERT_TRUE(waitForSyncs(2));
    ASSERT_TRUE(directory.Lookup(L"100", found));
    EXPECT_EQ(found.Name, L"Ресепшн");

    // Settings without a server turn the names off; the next start brings them back
    // from the cache at once, with no sync due.
    directory.Start(TOrgDirectorySettings{}, kDialling);
    EXPECT_FALSE(directory.Enabled());
    EXPECT_FALSE(directory.Lookup(L"100", found));
    directory.Stop();

    TOrgDirectory again(folder_.file(L"OrgDirectory.db"), QuickOptions());
    ASSERT_TRUE(server_.Stop(why)) << why;
    again.Start(SettingsFor(server_), kDialling);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!again.Lookup(L"100", found) && std::chrono::steady_clock::now() < deadline) Sleep(10);
    EXPECT_EQ(found.Name, L"Ресепшн");
    EXPECT_FALSE(again.LastSync().Error) << "no sync was due, so none failed";
    again.Stop();
}

}  // namespace
