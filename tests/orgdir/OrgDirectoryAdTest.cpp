// The organisation's directory against a real Active Directory domain controller
// (Samba on the Linux side of Wine, provisioned by the test): it takes passwords
// only over TLS, answers a search from the domain's root with a reference to
// another partition, pages, and keeps disabled accounts.
//
// Wine's wldap32 does not check the server's certificate: the self-signed one of
// the throw-away domain is taken, where Windows would refuse it (TlsFailed for
// StartTLS, no connection for ldaps://) unless this computer trusts its issuer.
#include "DpapiText.h"
#include "LdapConnection.h"
#include "OrgDirectorySync.h"
#include "OrgDirectoryTexts.h"
#include "ProcessRunner.h"
#include "SlapdServer.h"
#include "TestFolders.h"

#include <windows.h>
#include <winldap.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace {

const TDiallingSettings kDialling;
constexpr wchar_t kBase[] = L"DC=corp,DC=test";
constexpr wchar_t kBindName[] = L"informer@corp.test";
constexpr wchar_t kPassword[] = L"Us3r-secret!";
constexpr int kUnavailable = 77;

std::wstring ScriptPath() { return ProgramFolder() + L"\\orgdir-data\\samba-control.sh"; }

// The domain CORP.TEST of samba-control.sh, on 127.0.0.1; stopped when the object goes.
class TSambaDomainController {
public:
    TSambaDomainController() = default;
    ~TSambaDomainController() {
        std::string ignored;
        if (started_) Run(L"stop", ignored, 30000);
    }
    TSambaDomainController(const TSambaDomainController&) = delete;
    TSambaDomainController& operator=(const TSambaDomainController&) = delete;

    // 0 when it runs, kUnavailable when Samba cannot run here; `log` tells why and how long it took.
    int Start(std::string& log) {
        started_ = true;  // stopped in the end even when the start fails half-way
        return Run(L"start", log, 150000);
    }

private:
    int Run(const std::wstring& command, std::string& log, unsigned timeoutMs) {
        const std::wstring arguments = command + L" " + QuoteArgument(UnixPath(folder_.path()));
        return RunLinuxScript(ScriptPath(), arguments, folder_.path(), timeoutMs, log);
    }

    TempFolder folder_;
    bool started_ = false;
};

TOrgDirectorySettings DomainSettings(const std::wstring& servers) {
    TOrgDirectorySettings settings;
    settings.FLdapServers = servers;
    settings.FLdapBase = kBase;
    settings.FLdapBindDN = kBindName;
    settings.FLdapPassword = ProtectForUser(kPassword);
    return settings;
}

TOrgReadOptions SmallPages() {
    TOrgReadOptions options;
    // One person a page: the read has to follow the domain controller's cookies.
    // Small pages also keep Wine working: its TLS loses the connection ("Server
    // Down") when Samba sends a page of ten entries or more in one go, which
    // slapd over TLS and Samba's answers to Linux clients do not show.
    options.PageSize = 1;
    options.TimeoutSeconds = 10;
    return options;
}

// The references a search from the domain's root brings, counted on a session of our own.
int ReferencesFromTheRoot() {
    LdapSession session(::ldap_sslinitW(const_cast<PWCHAR>(L"127.0.0.1"), 636, 1));
    if (!session) return -1;
    ULONG version = LDAP_VERSION3;
    ::ldap_set_optionW(session.get(), LDAP_OPT_PROTOCOL_VERSION, &version);
    ::ldap_set_optionW(session.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    std::wstring name = kBindName, password = kPassword, base = kBase, filter = L"(telephoneNumber=*)", cn = L"cn";
    PWCHAR attributes[] = {cn.data(), nullptr};
    if (::ldap_simple_bind_sW(session.get(), name.data(), password.data()) != LDAP_SUCCESS) return -1;
    LDAPMessage* result = nullptr;
    const ULONG code = ::ldap_search_ext_sW(session.get(), base.data(), LDAP_SCOPE_SUBTREE, filter.data(), attributes,
                                            0, nullptr, nullptr, nullptr, 0, &result);
    const LdapMessage owned(result);
    if (code != LDAP_SUCCESS || !owned) return -1;
    return static_cast<int>(::ldap_count_references(session.get(), owned.get()));
}

TEST(ActiveDirectory, TakesPasswordsOverTlsOnlyAndGivesEnabledPeopleWithTheirNumbers) {
    if (!TSlapdServer::Available()) GTEST_SKIP() << "Samba runs on the Linux side of Wine only";
    TSambaDomainController domain;
    std::string log;
    const auto starting = std::chrono::steady_clock::now();
    const int started = domain.Start(log);
    if (started == kUnavailable) GTEST_SKIP() << log;
    ASSERT_EQ(started, 0) << log;
    std::printf("Samba AD DC provisioned and started in %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - starting)
                                           .count()));
    for (size_t line = 0, end; line < log.size(); line = end + 1) {
        end = log.find('\n', line);
        if (end == std::string::npos) end = log.size();
        const std::string text = log.substr(line, end - line);
        if (text.size() > 3 && text.compare(text.size() - 3, 3, " ms") == 0) std::printf("  %s\n", text.c_str());
    }

    // Its answer from the domain's root holds a reference (to the configuration
    // partition, named by the domain's DNS name): the reads below go on past it.
    EXPECT_GE(ReferencesFromTheRoot(), 1);

    for (const wchar_t* servers : {L"ldaps://127.0.0.1", L"ldap://127.0.0.1"}) {
        SCOPED_TRACE(testing::PrintToString(servers));
        TempFolder folder;
        TOrgDirectoryCache cache;
        cache.Open(folder.file(L"OrgDirectory.db"));
        const TOrgSyncStatus status = SyncOrgDirectory(DomainSettings(servers), kDialling, cache, SmallPages());
        ASSERT_FALSE(status.Error) << testing::PrintToString(OrgDirectoryErrorText(status.Error));
        // ivanov and sidorov: petrova is disabled, the others have no number. Two
        // pages, which Samba hands out with one and the same cookie.
        EXPECT_EQ(status.Entries, 2);
        EXPECT_EQ(status.Numbers, 4);
        for (const wchar_t* number : {L"74951112233", L"79161234567", L"2233"}) {
            TOrgName found;
            ASSERT_TRUE(cache.Lookup(number, found)) << testing::PrintToString(number);
            EXPECT_EQ(found.Name, L"Иван Иванов");
            EXPECT_EQ(found.Comment, L"Инженер, Отдел связи, ООО Кордавин");
        }
        TOrgName found;
        EXPECT_TRUE(cache.Lookup(L"74953334455", found));
        EXPECT_EQ(found.Name, L"Пётр Сидоров");
        EXPECT_FALSE(cache.Lookup(L"74952223344", found)) << "a disabled account";
    }

    // A filter of one's own is taken as written: it may want disabled accounts.
    TOrgDirectorySettings ownFilter = DomainSettings(L"ldaps://127.0.0.1");
    ownFilter.FLdapFilter = L"(telephoneNumber=*)";
    TOrgReadOptions onePage = SmallPages();
    onePage.PageSize = 100;  // the check reads one page
    EXPECT_EQ(CheckOrgDirectory(ownFilter, kDialling, onePage).Entries, 3);

    // A simple bind without TLS: refused by the domain controller, and said in words.
    TLdapCredentials credentials{kBindName, kPassword};
    const std::wstring plain = L"ldap://127.0.0.1";
    LdapSession session;
    // No password given to the set-up: it makes no StartTLS, as for an anonymous bind.
    ASSERT_FALSE(OpenLdapConnection(plain, *ParseLdapServer(plain), {}, 10, session));
    const TOrgDirectoryError refused = BindLdapConnection(plain, session.get(), credentials);
    EXPECT_EQ(refused.Kind, TOrgDirectoryFailure::TlsRequired);
    EXPECT_EQ(refused.LdapCode, static_cast<unsigned long>(LDAP_STRONG_AUTH_REQUIRED));
    EXPECT_EQ(OrgDirectoryErrorText(refused).rfind(L"сервер принимает пароль только по защищённому соединению", 0), 0u)
        << testing::PrintToString(OrgDirectoryErrorText(refused));
}

}  // namespace
