#pragma once
#include "SqlDirectoryServer.h"
#include "TestFolders.h"

#include <string>

// Which server a test runs against; the SQL directory's tests run against each.
enum class TSqlServerKind { PostgreSql, MariaDb };

// A throw-away SQL server on a free loopback port for one test, run on the
// Linux side by postgres-control.sh or mariadb-control.sh: the database
// "phones", the account kb with only the shipped script's grants, and the table
// made by the shipped script (packaging/sql). The server ends by itself after
// the lifetime given to Start, and is removed with its data when the object goes.
class TSqlTestServer {
public:
    explicit TSqlTestServer(TSqlServerKind kind) : kind_(kind) {}
    ~TSqlTestServer();
    TSqlTestServer(const TSqlTestServer&) = delete;
    TSqlTestServer& operator=(const TSqlTestServer&) = delete;

    enum class TStart { Started, Unavailable, Failed };
    // Makes and starts the server. Unavailable (with the reason in `why`) when
    // not under Wine or the server or its ODBC driver is not installed: a test
    // skips then. Failed with the script's log in `why`.
    TStart Start(std::string& why, unsigned lifetimeSeconds = 600);
    // Stops the server mid-test and starts it again on the same data and port.
    bool Stop(std::string& why);
    bool Restart(std::string& why);
    // Runs statements as the server's superuser in "phones" (for what the
    // program's account may not do: dropping a column, ending a session,
    // reading the stamp table). The output: one row a line, fields apart by
    // '|' (PostgreSQL) or a tab (MariaDB).
    bool Execute(const std::wstring& sql, std::string& output);

    TSqlServerKind Kind() const { return kind_; }
    static const char* Name(TSqlServerKind kind) { return kind == TSqlServerKind::PostgreSql ? "PostgreSql" : "MariaDb"; }
    int Port() const { return port_; }
    // The ODBC connection string without the password, as the settings keep it.
    const std::wstring& ConnectionString() const { return connection_; }
    const std::wstring& Password() const { return password_; }
    // Connection, password and the shipped table's name.
    TSqlDirectorySettings Settings() const;

private:
    bool Run(const std::wstring& arguments, std::string& why, unsigned timeoutMs = 60000);
    std::wstring ScriptPath() const;

    TSqlServerKind kind_;
    TempFolder folder_;
    int port_ = 0;
    std::wstring connection_, password_;
    bool made_ = false;
};

// In a test: starts the server or skips the test when it cannot run here.
#define KORDAVIN_START_SQL_SERVER(server)                                                     \
    do {                                                                                      \
        std::string sqlServerWhy_;                                                            \
        const auto sqlServerStart_ = (server).Start(sqlServerWhy_);                           \
        if (sqlServerStart_ == TSqlTestServer::TStart::Unavailable) GTEST_SKIP() << sqlServerWhy_; \
        ASSERT_EQ(sqlServerStart_, TSqlTestServer::TStart::Started) << sqlServerWhy_;         \
    } while (false)
