// The read against servers that never answer, or never stop paging: the worker
// stops without waiting for them, and a read past any real directory's size
// fails and leaves the cached names whole.
#include "OrgDirectoryNumbers.h"
#include "FakeLdapServer.h"
#include "LdapReader.h"
#include "OrgDirectory.h"
#include "OrgDirectorySync.h"
#include "TestFolders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

TOrgDirectorySettings SettingsFor(const TFakeLdapServer& server) {
    TOrgDirectorySettings settings;
    settings.FLdapServers = server.Url();
    settings.FLdapBase = L"dc=fake,dc=test";
    return settings;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = TClock::now() + limit;
    while (!done()) {
        if (TClock::now() >= until) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A server stuck in the bind, or in the search: Stop returns at once and the
// read itself ends soon after, abandoning its request. Before, Stop joined a
// worker that waited up to 30 s a page, or for ever in the bind.
TEST(OrgDirectoryHostile, StopNeverWaitsForAServerThatDoesNotAnswer) {
    for (const auto mode : {TFakeLdapServer::TMode::Silent, TFakeLdapServer::TMode::BindOnly}) {
        SCOPED_TRACE(static_cast<int>(mode));
        TFakeLdapServer server(mode);
        ASSERT_TRUE(server.Listening());
        TempFolder folder;
        TOrgDirectory directory(folder.file(L"OrgDirectory.db"));
        directory.Start(SettingsFor(server), TDiallingSettings{});
        ASSERT_TRUE(WaitFor([&] { return server.Connections() > 0; }, 10s));
        std::this_thread::sleep_for(300ms);
        const auto before = TClock::now();
        directory.Stop();
        const auto took = TClock::now() - before;
        EXPECT_LT(took, 3s) << "Stop waited for the network";
        std::printf("Stop with a %s server: %lld ms\n", mode == TFakeLdapServer::TMode::Silent ? "silent" : "bind-only",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        EXPECT_FALSE(directory.LastSync().Error) << "a stopped read records nothing";

        // The read by itself: cut short within a slice of its wait, its request abandoned.
        std::stop_source stop;
        TLdapSearch search;
        search.Base = L"dc=fake,dc=test";
        search.Filter = L"(cn=*)";
        search.Attributes = {L"cn"};
        auto read = std::async(std::launch::async, [&] {
            return ReadLdapEntries({server.Url()}, {}, search, [](TLdapValues&) {}, stop.get_token());
        });
        const int connected = server.Connections();
        ASSERT_TRUE(WaitFor([&] { return server.Connections() > connected; }, 10s));
        std::this_thread::sleep_for(300ms);
        stop.request_stop();
        ASSERT_EQ(read.wait_for(3s), std::future_status::ready) << "the read did not see the stop";
        EXPECT_EQ(read.get().Kind, TOrgDirectoryFailure::Cancelled);
        EXPECT_TRUE(WaitFor([&] { return server.Abandons() > 0; }, 3s)) << "the request was not abandoned";
    }
}

class OrgDirectoryPaging : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_THROW(cache_.Open(folder_.file(L"OrgDirectory.db")));
        // The names of a good read first: a failed one must leave them whole.
        TFakeLdapServer good(TFakeLdapServer::TMode::FreshCookies, {10, 20, 3});
        const TOrgSyncStatus status = SyncOrgDirectory(SettingsFor(good), TDiallingSettings{}, cache_, Quick());
        ASSERT_FALSE(status.Error) << static_cast<int>(status.Error.Kind);
        ASSERT_EQ(status.Entries, 30);
        ASSERT_EQ(good.PagesServed(), 3);
    }
    static TOrgReadOptions Quick() {
        TOrgReadOptions options;
        options.TimeoutSeconds = 5;
        return options;
    }
    void ExpectCacheWhole() {
        const TOrgSyncStatus status = cache_.Status();
        EXPECT_EQ(status.Entries, 30);
        TOrgName found;
        const std::vector<std::wstring> numbers = OrgDirectoryNumbers(L"1000010", TDiallingSettings{});
        ASSERT_EQ(numbers.size(), 1u);
        EXPECT_TRUE(cache_.Lookup(numbers[0], found));
        EXPECT_EQ(found.Name, L"Person 10");
    }

    TempFolder folder_;
    TOrgDirectoryCache cache_;
};

TEST_F(OrgDirectoryPaging, ARepeatedCookieEndsTheReadAsAFailure) {
    TFakeLdapServer server(TFakeLdapServer::TMode::SameCookie, {50, 2000, 0});
    const TOrgSyncStatus status = SyncOrgDirectory(SettingsFor(server), TDiallingSettings{}, cache_, Quick());
    EXPECT_EQ(status.Error.Kind, TOrgDirectoryFailure::PagesRepeated);
    EXPECT_EQ(server.PagesServed(), 2) << "the second page repeats the first with its cookie";
    ExpectCacheWhole();
}

// A server that pages for ever with new cookies meets each of the limits.
TEST_F(OrgDirectoryPaging, EachLimitEndsAnEndlessReadAsAFailure) {
    struct TCase {
        TLdapLimits limits;
        TOrgDirectoryFailure kind;
    };
    const TCase cases[] = {
        {{5, 500'000, 1ull << 30, 600}, TOrgDirectoryFailure::TooManyPages},
        {{10'000, 120, 1ull << 30, 600}, TOrgDirectoryFailure::TooManyEntries},
        {{10'000, 500'000, 1'000'000, 600}, TOrgDirectoryFailure::TooMuchData},
        {{10'000, 500'000, 1ull << 30, 1}, TOrgDirectoryFailure::TookTooLong},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        TFakeLdapServer server(TFakeLdapServer::TMode::FreshCookies, {50, 2000, 0});
        TOrgReadOptions options = Quick();
        options.Limits = c.limits;
        const auto before = TClock::now();
        const TOrgSyncStatus status = SyncOrgDirectory(SettingsFor(server), TDiallingSettings{}, cache_, options);
        EXPECT_LT(TClock::now() - before, 30s);
        EXPECT_EQ(status.Error.Kind, c.kind);
        ExpectCacheWhole();
    }
    // The defaults hold a directory of 200,000 people: 1,000 a page as Active
    // Directory sends them, with 600 bytes of the requested texts each.
    const TLdapLimits defaults;
    EXPECT_GE(defaults.MaxPages, 200'000u / 1'000 * 10);
    EXPECT_GE(defaults.MaxEntries, 200'000u * 2);
    EXPECT_GE(defaults.MaxBytes, 200'000ull * 600);
}

TEST_F(OrgDirectoryPaging, TheCheckReadsOnePageOnly) {
    TFakeLdapServer server(TFakeLdapServer::TMode::FreshCookies, {50, 20, 0});
    const TOrgCheckResult check = CheckOrgDirectory(SettingsFor(server), TDiallingSettings{}, Quick());
    EXPECT_FALSE(check.Error) << static_cast<int>(check.Error.Kind);
    EXPECT_EQ(check.Entries, 50);
    EXPECT_TRUE(check.More);
    EXPECT_EQ(server.PagesServed(), 1);
}

}  // namespace
