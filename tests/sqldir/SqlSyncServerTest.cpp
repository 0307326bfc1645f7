// The SQL subscriber directory's sync against real PostgreSQL and MariaDB
// servers: workstations with replicas of their own sharing one table.
#include "OdbcDirectoryServer.h"
#include "SqlChanges.h"
#include "SqlDirectory.h"
#include "SqlTestServer.h"
#include "TestFolders.h"
#include "pqrUnit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return done();
}

std::string Describe(const TSqlDirectoryStatus& status) {
    return "error kind " + std::to_string(static_cast<int>(status.LastError.Kind)) + " " +
           testing::PrintToString(status.LastError.Detail) + ", waiting " + std::to_string(status.Waiting) +
           ", replica " + testing::PrintToString(status.ReplicaError);
}

// One workstation of the office: its own replica, its own connection.
class TStation {
public:
    TStation(const std::wstring& root, const TSqlDirectorySettings& settings) {
        TSqlDirectoryOptions options;
        options.MaxRetrySeconds = 1;
        FDirectory = std::make_unique<TSqlDirectory>(
            root, [](const TSqlDirectorySettings& given) { return MakeOdbcDirectoryServer(given); }, options);
        FDirectory->Apply(settings);
    }
    TSqlDirectory& operator*() { return *FDirectory; }
    TSqlDirectory* operator->() { return FDirectory.get(); }

    // A good sync that began after this call.
    ::testing::AssertionResult Sync(std::chrono::milliseconds limit = 60s) {
        const int64_t before = FDirectory->Status().LastSyncUnixMs;
        // Two syncs may end within one millisecond.
        std::this_thread::sleep_for(2ms);
        FDirectory->SyncNow();
        if (WaitFor(
                [&] {
                    const TSqlDirectoryStatus status = FDirectory->Status();
                    return status.LastSyncUnixMs > before && !status.LastError;
                },
                limit))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << Describe(FDirectory->Status());
    }
    ::testing::AssertionResult Sent(std::chrono::milliseconds limit = 60s) {
        if (WaitFor([&] { return FDirectory->Status().Waiting == 0; }, limit)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << Describe(FDirectory->Status());
    }
    std::pair<std::wstring, std::wstring> Lookup(const std::wstring& phone) {
        TPQRDataModule module(FDirectory->ReplicaFolder(), FDirectory->ReplicaFolder() + L"\\none");
        module.Open();
        std::wstring name, comment;
        module.AbonentAndCommentByPhone(phone, name, comment, std::chrono::steady_clock::now() + 2s);
        return {name, comment};
    }

private:
    std::unique_ptr<TSqlDirectory> FDirectory;
};

std::pair<std::wstring, std::wstring> Found(const std::wstring& name, const std::wstring& comment = {}) {
    return {name, comment};
}

class SqlSyncServerTest : public testing::TestWithParam<TSqlServerKind> {
protected:
    void SetUp() override { KORDAVIN_START_SQL_SERVER(FServer); }
    // A count of the server's rows, asked as its superuser.
    long Count(const std::wstring& where) {
        const std::wstring table =
            GetParam() == TSqlServerKind::PostgreSql ? L"\"KordavinAbonentPhones\"" : L"`KordavinAbonentPhones`";
        std::string output;
        EXPECT_TRUE(FServer.Execute(L"SELECT count(*) FROM " + table + L" WHERE " + where + L";", output)) << output;
        return std::strtol(output.c_str(), nullptr, 10);
    }
    TSqlTestServer FServer{GetParam()};
};

std::string KindName(const testing::TestParamInfo<TSqlServerKind>& info) { return TSqlTestServer::Name(info.param); }

TEST_P(SqlSyncServerTest, SavesReachTheOtherWorkstationAndWaitOutAStoppedServerAcrossARestart) {
    TempFolder rootA, rootB;
    auto a = std::make_unique<TStation>(rootA.path(), FServer.Settings());
    TStation b(rootB.path(), FServer.Settings());
    ASSERT_TRUE(a->Sync());
    ASSERT_TRUE(b.Sync());

    (*a)->Save(Change(L"74951112233", L"Иванов Иван «Ёлка»", L"Отдел связи"));
    (*a)->Save(Change(L"74959990000", L"Удаляемый"));
    ASSERT_TRUE(a->Sent());
    ASSERT_TRUE(b.Sync());
    EXPECT_EQ(b.Lookup(L"74951112233"), Found(L"Иванов Иван «Ёлка»", L"Отдел связи"));
    EXPECT_EQ(b.Lookup(L"74959990000"), Found(L"Удаляемый"));
    (*a)->Save(Deletion(L"74959990000"));
    ASSERT_TRUE(a->Sent());
    ASSERT_TRUE(b.Sync());
    EXPECT_EQ(b.Lookup(L"74959990000"), Found(L""));
    EXPECT_EQ(b->Status().Rows, 1u);

    std::string why;
    ASSERT_TRUE(FServer.Stop(why)) << why;
    (*a)->Save(Change(L"78121234567", L"Петрова Анна", L"первая запись"));
    (*a)->Save(Change(L"78121234567", L"Петрова Анна", L"вторая запись"));
    ASSERT_TRUE(WaitFor([&] { return (*a)->Status().LastError.Kind != TSqlErrorKind::None; }, 60s));
    EXPECT_EQ((*a)->Status().Waiting, 2u);
    EXPECT_EQ(a->Lookup(L"78121234567"), Found(L"Петрова Анна", L"вторая запись"));
    EXPECT_EQ(b.Lookup(L"74951112233"), Found(L"Иванов Иван «Ёлка»", L"Отдел связи"));

    // The program is restarted while the server is still down.
    a.reset();
    a = std::make_unique<TStation>(rootA.path(), FServer.Settings());
    EXPECT_EQ((*a)->Status().Waiting, 2u);
    ASSERT_TRUE(FServer.Restart(why)) << why;
    ASSERT_TRUE(a->Sent(90s));
    ASSERT_TRUE(b.Sync(90s));
    EXPECT_EQ(b.Lookup(L"78121234567"), Found(L"Петрова Анна", L"вторая запись"));
    EXPECT_EQ(Count(L"Deleted = 0"), 2);
    EXPECT_EQ(Count(L"Deleted <> 0"), 1);
}

// The server's side of 8 x 1,000 saves at once is tested on its connections;
// here the saves go through each workstation's outbox and replica, which costs
// two local transactions a save, so fewer of them.
TEST_P(SqlSyncServerTest, EightWorkstationsSavingAtOnceThroughTheirOutboxesStoreEveryNumberOnce) {
    constexpr int kStations = 8, kEach = 250;
    std::vector<std::unique_ptr<TempFolder>> roots;
    std::vector<std::unique_ptr<TStation>> stations;
    for (int s = 0; s < kStations; ++s) {
        roots.push_back(std::make_unique<TempFolder>());
        stations.push_back(std::make_unique<TStation>(roots.back()->path(), FServer.Settings()));
    }
    std::vector<std::thread> threads;
    std::atomic<int> failed{0};
    for (int s = 0; s < kStations; ++s)
        threads.emplace_back([&, s] {
            for (int i = 0; i < kEach; ++i) {
                try {
                    (**stations[static_cast<size_t>(s)])
                        .Save(Change(L"7" + std::to_wstring(s) + std::to_wstring(100000 + i),
                                     L"Абонент " + std::to_wstring(s) + L"-" + std::to_wstring(i)));
                } catch (...) {
                    ++failed;
                }
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failed.load(), 0);
    for (auto& station : stations) ASSERT_TRUE(station->Sent(180s));
    EXPECT_EQ(Count(L"Deleted = 0"), kStations * kEach);
    ASSERT_TRUE(stations[0]->Sync(120s));
    EXPECT_EQ((*stations[0])->Status().Rows, static_cast<size_t>(kStations * kEach));
    EXPECT_EQ(stations[0]->Lookup(L"77100249"), Found(L"Абонент 7-249"));
}

INSTANTIATE_TEST_SUITE_P(Servers, SqlSyncServerTest,
                         testing::Values(TSqlServerKind::PostgreSql, TSqlServerKind::MariaDb), KindName);

}  // namespace
