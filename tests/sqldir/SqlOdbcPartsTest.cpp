// The window-free parts of the ODBC side: the table name, the password in the
// connection string, and the drivers' diagnostics as reasons.
#include "OdbcConnectionString.h"
#include "OdbcDirectoryServer.h"
#include "SqlErrorMapping.h"
#include "SqlTableName.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

namespace {

// Whether `needle` is anywhere in the process's own writable memory but at `skip`:
// the heap's freed blocks keep what they held.
bool InProcessMemory(const std::wstring& needle, const wchar_t* skip) {
    const auto* first = reinterpret_cast<const char*>(needle.data());
    const size_t bytes = needle.size() * sizeof(wchar_t);
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof(region)) == sizeof(region);
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        const bool readable = region.State == MEM_COMMIT && region.Type == MEM_PRIVATE &&
                              (region.Protect & (PAGE_READWRITE | PAGE_EXECUTE_READWRITE)) != 0 &&
                              (region.Protect & PAGE_GUARD) == 0;
        if (!readable || region.RegionSize < bytes) continue;
        const auto* begin = static_cast<const char*>(region.BaseAddress);
        const auto* end = begin + region.RegionSize;
        for (const char* found = begin; (found = std::search(found, end, first, first + bytes)) != end; ++found)
            if (found != reinterpret_cast<const char*>(skip)) return true;
    }
    return false;
}

}  // namespace

TEST(SqlTableName, OnlyPlainNamesAreQuotedAndUsed) {
    struct Case {
        const wchar_t* name;
        const wchar_t* quote;
        const wchar_t* quoted;
    };
    const Case plain[] = {
        {L"KordavinAbonentPhones", L"\"", L"\"KordavinAbonentPhones\""},
        {L"KordavinAbonentPhones", L"`", L"`KordavinAbonentPhones`"},
        {L"dbo.Phones_2", L"\"", L"\"dbo\".\"Phones_2\""},
        {L"_t1", L" ", L"_t1"},
    };
    for (const Case& c : plain) EXPECT_EQ(QuotedTableName(c.name, c.quote), std::optional<std::wstring>(c.quoted));
    // Whatever the driver's quote: nothing but a plain name ever goes into SQL text.
    const wchar_t* const refused[] = {L"",       L"1table",          L"a.b.c",     L".a",  L"a.",
                                      L"t; DROP TABLE x", L"t\" OR \"1", L"t`x", L"t--", L"t/*x*/",
                                      L"Телефоны", L"a b",            L"t\n"};
    for (const wchar_t* name : refused) {
        EXPECT_FALSE(IsPlainTableName(name)) << testing::PrintToString(std::wstring(name));
        for (const wchar_t* quote : {L"\"", L"`", L" "}) EXPECT_EQ(QuotedTableName(name, quote), std::nullopt);
    }
    EXPECT_FALSE(IsPlainTableName(std::wstring(129, L'a')));
    EXPECT_TRUE(IsPlainTableName(std::wstring(128, L'a')));
}

TEST(OdbcConnectionString, PasswordIsAppendedInBracesWithBracesDoubled) {
    struct Case {
        const wchar_t* connection;
        const wchar_t* password;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"Driver={PostgreSQL Unicode};Server=db1;Uid=informer;", L"secret",
         L"Driver={PostgreSQL Unicode};Server=db1;Uid=informer;Pwd={secret};"},
        {L"Driver={MariaDB Unicode};Uid=informer", L"a;b=c", L"Driver={MariaDB Unicode};Uid=informer;Pwd={a;b=c};"},
        {L"Uid=x;  ", L"p}w{d}", L"Uid=x;Pwd={p}}w{d}}};"},
        {L"Uid=x;", L"Пароль ё", L"Uid=x;Pwd={Пароль ё};"},
        {L"Uid=x;", L"", L"Uid=x;"},
    };
    for (const Case& c : cases) EXPECT_EQ(ConnectionStringWithPassword(c.connection, c.password), c.expected);
}

// The string with the password is the one the caller wipes after the connect:
// no copy of it may stay behind in memory the heap has taken back.
TEST(OdbcConnectionString, PasswordLeavesNoCopyBehind) {
    const std::wstring password = L"kordavin-never-kept-" + std::to_wstring(::GetTickCount64());
    std::wstring needle;
    needle.reserve(password.size() + 5);
    needle.append(L"Pwd={").append(password);
    for (const wchar_t* connection : {L"Driver={PostgreSQL Unicode};Server=db1;Uid=informer;", L"Uid=x  "}) {
        std::wstring text = ConnectionStringWithPassword(connection, password);
        ASSERT_NE(text.find(needle), std::wstring::npos);
        ::SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    }
    EXPECT_FALSE(InProcessMemory(needle, needle.data()));
}

// The server keeps the password for connecting again, and not past its end.
TEST(OdbcDirectoryServer, ForgetsThePasswordWhenItGoes) {
    TSqlDirectorySettings settings;
    settings.Connection = L"Driver={Kordavin Nowhere};";
    settings.Password.reserve(64);
    settings.Password.append(L"kordavin-forgotten-password-").append(std::to_wstring(::GetTickCount64()));
    // The heap writes its own bookkeeping over the start of a block it takes back.
    const std::wstring needle = settings.Password.substr(16);
    { TOdbcDirectoryServer server(std::move(settings)); }
    EXPECT_FALSE(InProcessMemory(needle, needle.data()));
}

TEST(OdbcConnectionString, DriversGetTheirOwnTimeoutsAndKeepalives) {
    struct Case {
        const wchar_t* connection;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"Driver={MariaDB ODBC 3.1 Driver};Server=db1;Uid=informer;",
         L"Driver={MariaDB ODBC 3.1 Driver};Server=db1;Uid=informer;CONN_TIMEOUT=10;READ_TIMEOUT=30;WRITE_TIMEOUT=30;"},
        {L"DRIVER={MariaDB Unicode};Server=db1",
         L"DRIVER={MariaDB Unicode};Server=db1;CONN_TIMEOUT=10;READ_TIMEOUT=30;WRITE_TIMEOUT=30;"},
        {L"Driver={MySQL ODBC 8.0 Unicode Driver};Server=db1;",
         L"Driver={MySQL ODBC 8.0 Unicode Driver};Server=db1;READTIMEOUT=30;WRITETIMEOUT=30;"},
        {L"Driver={MariaDB Unicode};Server=db1;Read_Timeout=5;", L"Driver={MariaDB Unicode};Server=db1;Read_Timeout=5;"},
        {L"Driver={PostgreSQL Unicode};Server=mariadb-host;",
         L"Driver={PostgreSQL Unicode};Server=mariadb-host;KeepaliveTime=30;KeepaliveInterval=10;"},
        {L"Driver={PostgreSQL Unicode};Server=db1;KeepaliveTime=60;", L"Driver={PostgreSQL Unicode};Server=db1;KeepaliveTime=60;"},
        {L"Driver={ODBC Driver 18 for SQL Server};Server=mysql1;Database=phones;",
         L"Driver={ODBC Driver 18 for SQL Server};Server=mysql1;Database=phones;"},
        {L"DSN=phones;", L"DSN=phones;"},
    };
    for (const Case& c : cases) EXPECT_EQ(ConnectionStringWithTimeouts(c.connection, 10, 30), c.expected);
}

// What the drivers said under Wine (PostgreSQL Unicode, MariaDB Unicode) and
// what SQL Server's driver is documented to say.
TEST(SqlErrorMapping, DriversDiagnosticsBecomeReasons) {
    struct Case {
        const wchar_t* state;
        long native;
        const wchar_t* message;
        TOdbcPhase phase;
        TSqlErrorKind kind;
    };
    using K = TSqlErrorKind;
    const auto C = TOdbcPhase::Connect;
    const auto O = TOdbcPhase::Operation;
    const Case cases[] = {
        {L"IM002", 0, L"[unixODBC][Driver Manager]Data source name not found and no default driver specified", C,
         K::Driver},
        {L"IM003", 0, L"Specified driver could not be loaded", C, K::Driver},
        {L"01000", 0, L"[unixODBC][Driver Manager]Can't open lib 'PostgreSQL Nowhere' : file not found", C, K::Driver},
        {L"08001", 101,
         L"connection to server at \"127.0.0.1\", port 5432 failed: FATAL:  password authentication failed for user "
         L"\"kb\"",
         C, K::Login},
        {L"28000", 1045, L"[ma-3.1.17]Access denied for user 'kb'@'127.0.0.1' (using password: YES)", C, K::Login},
        {L"28000", 18456, L"[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Login failed for user 'x'.", C,
         K::Login},
        {L"08001", 101, L"connection to server at \"127.0.0.1\", port 1 failed: Connection refused", C,
         K::Unreachable},
        {L"08001", 101,
         L"connection to server at \"127.0.0.1\", port 5432 failed: FATAL:  database \"nosuchdb\" does not exist", C,
         K::Other},
        {L"08001", 101,
         L"connection to server at \"10.0.0.5\", port 5432 failed: FATAL:  no pg_hba.conf entry for host \"10.0.0.9\", "
         L"user \"kb\", database \"phones\", no encryption",
         C, K::Login},
        {L"HY000", 2002, L"[ma-3.1.17]Can't connect to MySQL server on '127.0.0.1' (111)", C, K::Unreachable},
        {L"HYT00", 0, L"Login timeout expired", C, K::Unreachable},
        {L"HYT00", 0, L"Query timeout expired", O, K::Unreachable},
        {L"57014", 7, L"ERROR: canceling statement due to statement timeout;\nError while executing the query", O,
         K::Unreachable},
        {L"HY000", 1205, L"[ma-3.1.17]Lock wait timeout exceeded; try restarting transaction", O, K::Unreachable},
        {L"70100", 1969, L"[ma-3.1.17]Query execution was interrupted (max_statement_time exceeded)", O,
         K::Unreachable},
        {L"08S01", 0, L"Communication link failure", C, K::Unreachable},
        {L"08S01", 0, L"Communication link failure", O, K::Lost},
        {L"57P01", 7, L"FATAL: terminating connection due to administrator command", O, K::Lost},
        {L"HY000", 2013, L"[ma-3.1.17]Lost connection to server during query", O, K::Lost},
        {L"HY000", 2006, L"[ma-3.1.17]Server has gone away", O, K::Lost},
        {L"08S01", 35, L"Could not send Query(connection dead)", O, K::Lost},
        {L"HY000", 1,
         L"FATAL:  terminating connection due to administrator command\nserver closed the connection unexpectedly\n;"
         L"\nError while preparing parameters",
         O, K::Lost},
        {L"42P01", 7, L"ERROR: relation \"NoSuchTable\" does not exist", O, K::NoTable},
        {L"42S02", 1146, L"[ma-3.1.17]Table 'phones.NoSuchTable' doesn't exist", O, K::NoTable},
        {L"42501", 7, L"ERROR: permission denied for table KordavinAbonentPhones", O, K::Permission},
        {L"42000", 1142, L"[ma-3.1.17]INSERT command denied to user 'kb'@'127.0.0.1' for table", O, K::Permission},
        {L"42000", 229, L"The INSERT permission was denied on the object", O, K::Permission},
        {L"42000", 1064, L"You have an error in your SQL syntax", O, K::Other},
        {L"42703", 7, L"ERROR: column \"abonentcomment\" does not exist", O, K::MissingColumns},
        {L"23505", 7, L"ERROR: duplicate key value violates unique constraint", O, K::Other},
    };
    for (const Case& c : cases) {
        const TSqlError error = SqlErrorFromDiagnostics({{c.state, c.native, c.message}}, c.phase);
        EXPECT_EQ(error.Kind, c.kind) << testing::PrintToString(std::wstring(c.message));
        EXPECT_EQ(error.State, c.state);
        EXPECT_EQ(error.Detail, c.message);
    }
    // The first record that says something decides; none at all is still an error.
    const TSqlError second =
        SqlErrorFromDiagnostics({{L"01000", 0, L"a warning"}, {L"28000", 1045, L"Access denied"}}, C);
    EXPECT_EQ(second.Kind, K::Login);
    EXPECT_EQ(SqlErrorFromDiagnostics({}, O).Kind, K::Other);
}

TEST(SqlErrorMapping, ConflictsRunAgainAndUniqueViolationsAreKnown) {
    EXPECT_TRUE(IsTransactionConflict({{L"40P01", 7, L"deadlock detected"}}));
    EXPECT_TRUE(IsTransactionConflict({{L"40001", 1213, L"Deadlock found when trying to get lock"}}));
    EXPECT_TRUE(IsTransactionConflict({{L"40001", 1205, L"Transaction was deadlocked"}}));
    EXPECT_FALSE(IsTransactionConflict({{L"23505", 7, L"duplicate key"}}));
    EXPECT_TRUE(IsUniqueViolation({{L"23505", 7, L"duplicate key"}}));
    EXPECT_TRUE(IsUniqueViolation({{L"23000", 1062, L"Duplicate entry"}}));
    EXPECT_FALSE(IsUniqueViolation({{L"42S02", 1146, L"no table"}}));
}
