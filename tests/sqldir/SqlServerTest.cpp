// The subscriber directory's table through ODBC against real PostgreSQL and
// MariaDB servers, each made by the package's own script.
#include "OdbcDirectoryServer.h"
#include "OdbcStatement.h"
#include "SqlRawConnection.h"
#include "SqlTestServer.h"

#include "BenchmarkClock.h"
#include "FreePort.h"
#include "LoopbackListener.h"
#include "TextConvert.h"
#include "DirectoryTextLimit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <thread>

namespace {

std::string Describe(const TSqlError& error) {
    static const char* const kNames[] = {"None",           "Driver", "Unreachable", "Login", "NoTable",
                                         "MissingColumns", "Permission", "Lost",    "Other"};
    return std::string(kNames[static_cast<int>(error.Kind)]) + " " + testing::PrintToString(error.State) + " " +
           testing::PrintToString(error.Detail);
}

TSqlChange Change(const std::wstring& phone, const std::wstring& name, const std::wstring& comment = L"",
                  bool deleted = false) {
    TSqlChange change;
    change.Phone = phone;
    change.Name = name;
    change.Comment = comment;
    change.Deleted = deleted;
    change.ChangedBy = L"CORP\\operator on PC-1";
    change.ChangedAtUnixMs = 1765432109876;  // 2025-12-11 05:48:29.876 UTC
    return change;
}

std::vector<TSqlRow> ReadAll(ISqlDirectoryServer& server, int64_t since = 0) {
    std::vector<TSqlRow> rows;
    const TSqlError error = server.ReadChanges(since, [&](const TSqlRow& row) {
        rows.push_back(row);
        return true;
    });
    EXPECT_FALSE(error) << Describe(error);
    return rows;
}

class SqlServerTest : public testing::TestWithParam<TSqlServerKind> {
protected:
    void SetUp() override { KORDAVIN_START_SQL_SERVER(server_); }

    bool IsPostgres() const { return GetParam() == TSqlServerKind::PostgreSql; }
    std::wstring Table() const {
        return IsPostgres() ? L"\"KordavinAbonentPhones\"" : L"KordavinAbonentPhones";
    }
    // Runs statements as the server's superuser; the output's lines.
    std::vector<std::string> Superuser(const std::wstring& sql) {
        std::string output;
        EXPECT_TRUE(server_.Execute(sql, output)) << output;
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < output.size()) {
            size_t end = output.find('\n', start);
            if (end == std::string::npos) end = output.size();
            if (end > start) lines.push_back(output.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

    TSqlTestServer server_{GetParam()};
};

std::string KindName(const testing::TestParamInfo<TSqlServerKind>& info) { return TSqlTestServer::Name(info.param); }

}  // namespace

TEST_P(SqlServerTest, TextsRoundTripToTheDirectorysLimit) {
    TOdbcDirectoryServer server(server_.Settings());
    const TSqlError opened = server.Open();
    ASSERT_FALSE(opened) << Describe(opened);
    EXPECT_FALSE(server.DbmsName().empty());

    std::wstring longest(static_cast<size_t>(kMaxDirectoryTextBytes) / 2, L'ж');
    for (size_t i = 0; i < longest.size(); i += 97) longest[i] = static_cast<wchar_t>(L'A' + i % 26);
    // Characters outside the BMP (surrogate pairs), also across the places
    // where a read in chunks of a few thousand characters may cut.
    for (size_t at : {size_t{1000}, size_t{4095}, size_t{8190}, size_t{16381}, size_t{65535}}) {
        longest[at] = 0xD83D;
        longest[at + 1] = 0xDE00;
    }
    const std::vector<TSqlChange> changes = {
        Change(L"+74951234567", L"Пётр Ёлкин «ООО Ёж»", L"перезвонить\r\nпосле 15:00; 'кавычки' \"и\" \\ %_"),
        Change(L"84012223344", L"", L""),
        Change(L"+78005553535", longest, longest),
    };
    const TSqlError written = server.WriteChanges(changes);
    ASSERT_FALSE(written) << Describe(written);

    std::map<std::wstring, TSqlRow> rows;
    for (const TSqlRow& row : ReadAll(server)) rows[row.Phone] = row;
    ASSERT_EQ(rows.size(), changes.size());
    for (const TSqlChange& change : changes) {
        const TSqlRow& row = rows[change.Phone];
        EXPECT_EQ(row.Name, change.Name) << testing::PrintToString(change.Phone);
        EXPECT_EQ(row.Comment, change.Comment) << testing::PrintToString(change.Phone);
        EXPECT_FALSE(row.Deleted);
        EXPECT_GT(row.Stamp, 0);
    }
    // Who and when, as given (UTC), not as the server's clock says.
    const auto who = Superuser(L"SELECT ChangedBy, ChangedAt FROM " + Table() + L" WHERE Phone = '84012223344';");
    ASSERT_EQ(who.size(), 1u);
    EXPECT_NE(who[0].find("CORP\\operator on PC-1"), std::string::npos) << who[0];
    EXPECT_NE(who[0].find("2025-12-11 05:48:29.876"), std::string::npos) << who[0];
}

TEST_P(SqlServerTest, LastSaveWinsDeletesLeaveMarkersAndChangesComeInStampOrder) {
    TOdbcDirectoryServer server(server_.Settings());
    ASSERT_FALSE(server.Open());
    ASSERT_FALSE(server.WriteChanges({Change(L"101", L"Первый"), Change(L"102", L"Второй"), Change(L"103", L"Третий")}));
    const std::vector<TSqlRow> first = ReadAll(server);
    ASSERT_EQ(first.size(), 3u);
    const int64_t seen = first.back().Stamp;

    // In one batch and in two calls, the last save of a number wins.
    ASSERT_FALSE(server.WriteChanges({Change(L"101", L"Иванов"), Change(L"101", L"Иванова", L"вторая")}));
    ASSERT_FALSE(server.WriteChanges({Change(L"102", L"", L"", true)}));
    ASSERT_FALSE(server.WriteChanges({Change(L"104", L"Новый")}));

    const std::vector<TSqlRow> later = ReadAll(server, seen);
    ASSERT_EQ(later.size(), 3u);
    EXPECT_EQ(later[0].Phone, L"101");
    EXPECT_EQ(later[0].Name, L"Иванова");
    EXPECT_EQ(later[0].Comment, L"вторая");
    EXPECT_EQ(later[1].Phone, L"102");
    EXPECT_TRUE(later[1].Deleted);
    EXPECT_EQ(later[2].Phone, L"104");
    for (size_t i = 0; i < later.size(); ++i) {
        EXPECT_GT(later[i].Stamp, i == 0 ? seen : later[i - 1].Stamp);
    }
    // A deleted number comes back with a save.
    ASSERT_FALSE(server.WriteChanges({Change(L"102", L"Вернулся")}));
    const std::vector<TSqlRow> back = ReadAll(server, later.back().Stamp);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_FALSE(back[0].Deleted);
    EXPECT_EQ(back[0].Name, L"Вернулся");
    EXPECT_EQ(ReadAll(server).size(), 4u);

    // The reader stops when asked, without an error.
    int calls = 0;
    EXPECT_FALSE(server.ReadChanges(0, [&](const TSqlRow&) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

TEST_P(SqlServerTest, ReadsPageByPageWithoutLosingOrRepeatingRows) {
    TOdbcServerOptions options;
    options.PageRows = 7;
    TOdbcDirectoryServer server(server_.Settings(), options);
    ASSERT_FALSE(server.Open());
    std::vector<TSqlChange> changes;
    for (int i = 0; i < 50; ++i) changes.push_back(Change(L"2000" + std::to_wstring(i), L"Абонент " + std::to_wstring(i)));
    ASSERT_FALSE(server.WriteChanges(changes));
    const std::vector<TSqlRow> rows = ReadAll(server);
    ASSERT_EQ(rows.size(), 50u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].Phone, changes[i].Phone);
        if (i > 0) {
            EXPECT_GT(rows[i].Stamp, rows[i - 1].Stamp);
        }
    }
    EXPECT_EQ(ReadAll(server, rows[20].Stamp).size(), 29u);
}

// Eight workstations, each on its own connection, saving 1,000 numbers at once,
// half of them the same numbers as their neighbours'.
TEST_P(SqlServerTest, EightWorkstationsSavingAtOnceStoreEveryNumberOnce) {
    constexpr int kWorkstations = 8, kNumbers = 1000, kBatch = 50;
    std::atomic<int> failures{0};
    std::vector<std::string> reasons(kWorkstations);
    const double started = NowMicroseconds();
    std::vector<std::thread> threads;
    for (int w = 0; w < kWorkstations; ++w) {
        threads.emplace_back([&, w] {
            TOdbcDirectoryServer server(server_.Settings());
            std::vector<TSqlChange> batch;
            for (int i = 0; i < kNumbers; ++i) {
                // Numbers w*500 .. w*500+999: each overlaps the next workstation's by 500.
                batch.push_back(Change(L"7" + std::to_wstring(1000000 + w * 500 + i),
                                       L"Станция " + std::to_wstring(w)));
                if (batch.size() == kBatch) {
                    const TSqlError error = server.WriteChanges(batch);
                    if (error) {
                        ++failures;
                        reasons[w] = Describe(error);
                    }
                    batch.clear();
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const double seconds = (NowMicroseconds() - started) / 1e6;
    std::printf("%s: 8 connections x 1,000 saves in batches of %d: %.2f s, %.0f saves/s\n",
                TSqlTestServer::Name(GetParam()), kBatch, seconds, kWorkstations * kNumbers / seconds);
    EXPECT_EQ(failures.load(), 0) << reasons[0] << reasons[1] << reasons[7];

    TOdbcDirectoryServer reader(server_.Settings());
    const std::vector<TSqlRow> rows = ReadAll(reader);
    std::set<std::wstring> phones;
    std::set<int64_t> stamps;
    for (const TSqlRow& row : rows) {
        phones.insert(row.Phone);
        stamps.insert(row.Stamp);
        EXPECT_EQ(row.Name.rfind(L"Станция ", 0), 0u);
    }
    EXPECT_EQ(rows.size(), static_cast<size_t>((kWorkstations - 1) * 500 + kNumbers));
    EXPECT_EQ(phones.size(), rows.size());
    EXPECT_EQ(stamps.size(), rows.size());

    // 1,000 point reads of single numbers, for the figures.
    TSqlRawConnection raw(server_);
    TOdbcStatement select(raw.Handle(), L"SELECT AbonentName FROM " + Table() + L" WHERE Phone = ?", 30);
    const double reading = NowMicroseconds();
    int found = 0;
    for (int i = 0; i < 1000; ++i) {
        select.BindText(1, L"7" + std::to_wstring(1000000 + i * 4));
        select.Execute();
        while (select.Fetch()) found += select.Text(1).empty() ? 0 : 1;
    }
    std::printf("%s: 1,000 point selects: %.0f ms\n", TSqlTestServer::Name(GetParam()),
                (NowMicroseconds() - reading) / 1000);
    EXPECT_EQ(found, 1000);
}

TEST_P(SqlServerTest, WrongPasswordMissingTableHostileNamesAndNoServerAreRefusedInWords) {
    TOdbcDirectoryServer owner(server_.Settings());
    ASSERT_FALSE(owner.WriteChanges({Change(L"100", L"Остаётся")}));

    std::wstring elsewhere = server_.ConnectionString();
    const std::wstring port = L"Port=" + std::to_wstring(server_.Port()) + L";";
    elsewhere.replace(elsewhere.find(port), port.size(), L"Port=" + std::to_wstring(FreePort()) + L";");
    std::wstring noDatabase = server_.ConnectionString();
    noDatabase.replace(noDatabase.find(L"Database=phones;"), 16, L"Database=nosuchdb;");
    std::wstring noDriver = server_.ConnectionString();
    noDriver.replace(noDriver.find(L"Unicode}"), 8, L"Nowhere}");
    struct Case {
        const char* what;
        std::wstring connection, password, table;
        TSqlErrorKind kind;
        std::wstring detail;  // empty: any
    };
    const std::wstring table = L"KordavinAbonentPhones";
    const Case cases[] = {
        {"wrong password", server_.ConnectionString(), L"not-the-password", table, TSqlErrorKind::Login, L""},
        {"no password", server_.ConnectionString(), L"", table, TSqlErrorKind::Login, L""},
        {"missing table", server_.ConnectionString(), server_.Password(), L"NoSuchTable", TSqlErrorKind::NoTable,
         L"NoSuchTable"},
        {"statement in the name", server_.ConnectionString(), server_.Password(),
         table + L"; DROP TABLE " + table, TSqlErrorKind::NoTable, table + L"; DROP TABLE " + table},
        {"quote in the name", server_.ConnectionString(), server_.Password(), table + L"\" --",
         TSqlErrorKind::NoTable, table + L"\" --"},
        {"no such driver", noDriver, server_.Password(), table, TSqlErrorKind::Driver, L""},
        {"nothing on the port", elsewhere, server_.Password(), table, TSqlErrorKind::Unreachable, L""},
        // The server answered: no reason to try again later. MariaDB does not tell
        // a missing database from one the account may not use.
        {"no such database", noDatabase, server_.Password(), table,
         IsPostgres() ? TSqlErrorKind::Other : TSqlErrorKind::Login, L""},
    };
    for (const Case& c : cases) {
        TSqlDirectorySettings settings;
        settings.Connection = c.connection;
        settings.Password = c.password;
        settings.Table = c.table;
        TOdbcDirectoryServer server(settings);
        const double started = NowMicroseconds();
        const TSqlError error = server.Open();
        std::printf("%s, %s: %s\n", TSqlTestServer::Name(GetParam()), c.what, Describe(error).c_str());
        EXPECT_LT((NowMicroseconds() - started) / 1e6, 20.0) << c.what;
        EXPECT_EQ(error.Kind, c.kind) << c.what << ": " << Describe(error);
        if (!c.detail.empty()) {
            EXPECT_EQ(error.Detail, c.detail) << c.what;
        }
        // Reading and writing open first and give the same reason.
        EXPECT_EQ(server.WriteChanges({Change(L"100", L"Чужое")}).Kind, c.kind) << c.what;
        EXPECT_EQ(server.ReadChanges(0, [](const TSqlRow&) { return true; }).Kind, c.kind) << c.what;
    }
    const std::vector<TSqlRow> rows = ReadAll(owner);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Name, L"Остаётся");
}

TEST_P(SqlServerTest, MissingColumnsAreNamedAndAWriteWithoutRightsIsRefused) {
    TOdbcDirectoryServer server(server_.Settings());
    ASSERT_FALSE(server.Open());
    Superuser(L"ALTER TABLE " + Table() + L" DROP COLUMN AbonentComment; ALTER TABLE " + Table() +
              L" DROP COLUMN ChangedAt;");
    // Also on a connection that stood before the column went.
    const TSqlError missing = server.Open();
    EXPECT_EQ(missing.Kind, TSqlErrorKind::MissingColumns) << Describe(missing);
    EXPECT_EQ(missing.Detail, L"AbonentComment, ChangedAt");
    EXPECT_EQ(TOdbcDirectoryServer(server_.Settings()).Open().Detail, L"AbonentComment, ChangedAt");

    Superuser(L"ALTER TABLE " + Table() + L" ADD COLUMN AbonentComment TEXT; ALTER TABLE " + Table() +
              L" ADD COLUMN ChangedAt " + (IsPostgres() ? L"timestamp(3)" : L"DATETIME(3)") + L";");
    ASSERT_FALSE(server.Open());
    Superuser(IsPostgres() ? L"REVOKE INSERT, UPDATE ON " + Table() + L" FROM kb;"
                           : L"REVOKE INSERT, UPDATE ON phones.KordavinAbonentPhones FROM 'kb'@'%';");
    TOdbcDirectoryServer reader(server_.Settings());
    EXPECT_FALSE(reader.Open());
    const TSqlError refused = reader.WriteChanges({Change(L"400", L"Нельзя")});
    EXPECT_EQ(refused.Kind, TSqlErrorKind::Permission) << Describe(refused);
    EXPECT_TRUE(ReadAll(reader).empty());
}

// A save blocked on a row another session holds, whose connection the server
// then ends: none of the batch stays, and the next call connects anew.
TEST_P(SqlServerTest, AConnectionEndedInsideATransactionIsLostWithNothingHalfStored) {
    TOdbcDirectoryServer server(server_.Settings());
    ASSERT_FALSE(server.WriteChanges({Change(L"300", L"Старое")}));
    TSqlRawConnection blocker(server_);
    blocker.BeginTransaction();
    blocker.Run(L"SELECT Phone FROM " + Table() + L" WHERE Phone = '300' FOR UPDATE");

    TSqlError lost;
    std::thread writer([&] {
        lost = server.WriteChanges({Change(L"301", L"Первый"), Change(L"302", L"Второй"), Change(L"300", L"Новое")});
    });
    const std::wstring waiting =
        IsPostgres() ? L"SELECT pid FROM pg_stat_activity WHERE usename = 'kb' AND wait_event_type = 'Lock';"
                     : L"SELECT trx_mysql_thread_id FROM information_schema.INNODB_TRX WHERE trx_state = 'LOCK WAIT';";
    std::vector<std::string> session;
    for (int i = 0; i < 200 && session.empty(); ++i) {
        session = Superuser(waiting);
        if (session.empty()) ::Sleep(50);
    }
    ASSERT_EQ(session.size(), 1u) << "the save never waited for the held row";
    Superuser(IsPostgres() ? L"SELECT pg_terminate_backend(" + Utf8ToWide(session[0]) + L");"
                           : L"KILL CONNECTION " + Utf8ToWide(session[0]) + L";");
    writer.join();
    blocker.Rollback();
    std::printf("%s: the session ended: %s\n", TSqlTestServer::Name(GetParam()), Describe(lost).c_str());
    EXPECT_EQ(lost.Kind, TSqlErrorKind::Lost) << Describe(lost);

    const auto stored = Superuser(L"SELECT Phone, AbonentName FROM " + Table() + L" ORDER BY Phone;");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].substr(0, 3), "300");
    EXPECT_NE(stored[0].find("Старое"), std::string::npos) << stored[0];

    const TSqlError again = server.Open();
    EXPECT_FALSE(again) << Describe(again);
    EXPECT_FALSE(server.WriteChanges({Change(L"301", L"Первый"), Change(L"302", L"Второй"), Change(L"300", L"Новое")}));
    const std::vector<TSqlRow> rows = ReadAll(server);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].Phone, L"300");
    EXPECT_EQ(rows[2].Name, L"Новое");
}

// A save waiting on a row another session holds gives up when the query's time
// is up: the server is busy, so a reason to try later, and none of the batch stays.
TEST_P(SqlServerTest, ASaveHeldUpPastTheQueryTimeoutIsTriedLaterWithNothingHalfStored) {
    TOdbcServerOptions options;
    options.QuerySeconds = 2;
    TOdbcDirectoryServer server(server_.Settings(), options);
    ASSERT_FALSE(server.WriteChanges({Change(L"600", L"Старое")}));
    TSqlRawConnection blocker(server_);
    blocker.BeginTransaction();
    blocker.Run(L"SELECT Phone FROM " + Table() + L" WHERE Phone = '600' FOR UPDATE");

    const double started = NowMicroseconds();
    const TSqlError busy = server.WriteChanges({Change(L"601", L"Первый"), Change(L"600", L"Новое")});
    const double seconds = (NowMicroseconds() - started) / 1e6;
    blocker.Rollback();
    std::printf("%s: held up: %s after %.1f s\n", TSqlTestServer::Name(GetParam()), Describe(busy).c_str(), seconds);
    EXPECT_TRUE(busy.Kind == TSqlErrorKind::Unreachable || busy.Kind == TSqlErrorKind::Lost) << Describe(busy);
    EXPECT_LT(seconds, 20.0);
    const auto stored = Superuser(L"SELECT Phone, AbonentName FROM " + Table() + L" ORDER BY Phone;");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_NE(stored[0].find("Старое"), std::string::npos) << stored[0];

    EXPECT_FALSE(server.WriteChanges({Change(L"601", L"Первый"), Change(L"600", L"Новое")}));
    const std::vector<TSqlRow> rows = ReadAll(server);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].Name, L"Новое");
}

TEST_P(SqlServerTest, AStoppedServerIsUnreachableWithinTheTimeoutsAndAgainThereWhenBack) {
    TOdbcServerOptions options;
    options.LoginSeconds = 5;
    options.QuerySeconds = 10;
    TOdbcDirectoryServer server(server_.Settings(), options);
    ASSERT_FALSE(server.WriteChanges({Change(L"500", L"До остановки")}));
    std::string why;
    ASSERT_TRUE(server_.Stop(why)) << why;

    double started = NowMicroseconds();
    const TSqlError broken = server.ReadChanges(0, [](const TSqlRow&) { return true; });
    EXPECT_TRUE(broken.Kind == TSqlErrorKind::Lost || broken.Kind == TSqlErrorKind::Unreachable) << Describe(broken);
    started = NowMicroseconds();
    const TSqlError down = server.Open();
    std::printf("%s: stopped: %s, then %s\n", TSqlTestServer::Name(GetParam()), Describe(broken).c_str(),
                Describe(down).c_str());
    EXPECT_EQ(down.Kind, TSqlErrorKind::Unreachable) << Describe(down);
    EXPECT_EQ(server.WriteChanges({Change(L"501", L"Во время")}).Kind, TSqlErrorKind::Unreachable);
    EXPECT_LT((NowMicroseconds() - started) / 1e6, 15.0);

    ASSERT_TRUE(server_.Restart(why)) << why;
    const TSqlError back = server.Open();
    ASSERT_FALSE(back) << Describe(back);
    const std::vector<TSqlRow> rows = ReadAll(server);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Name, L"До остановки");
}

// A server that takes the connection and never says a word (hung, or
// something else on its port): the login's timeout ends the wait.
TEST_P(SqlServerTest, ASilentServerIsUnreachableWithinTheLoginTimeout) {
    const WinsockSession winsock;
    uint16_t silentPort = 0;
    const UniqueSocket silent = ListenOnLoopback(silentPort);
    std::wstring connection = server_.ConnectionString();
    const std::wstring port = L"Port=" + std::to_wstring(server_.Port()) + L";";
    connection.replace(connection.find(port), port.size(), L"Port=" + std::to_wstring(silentPort) + L";");
    TSqlDirectorySettings settings = server_.Settings();
    settings.Connection = connection;
    TOdbcServerOptions options;
    options.LoginSeconds = 3;
    options.QuerySeconds = 5;
    TOdbcDirectoryServer server(settings, options);
    const double started = NowMicroseconds();
    const TSqlError error = server.Open();
    const double seconds = (NowMicroseconds() - started) / 1e6;
    std::printf("%s: a silent server: %s after %.1f s\n", TSqlTestServer::Name(GetParam()), Describe(error).c_str(),
                seconds);
    EXPECT_EQ(error.Kind, TSqlErrorKind::Unreachable) << Describe(error);
    EXPECT_LT(seconds, 20.0);
}

INSTANTIATE_TEST_SUITE_P(Servers, SqlServerTest, testing::Values(TSqlServerKind::PostgreSql, TSqlServerKind::MariaDb),
                         KindName);
