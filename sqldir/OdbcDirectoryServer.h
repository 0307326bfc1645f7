// The subscriber directory's table in the organisation's SQL server, through
// Windows' own ODBC: PostgreSQL, SQL Server, MariaDB/MySQL with the same SQL.
#pragma once
#include "OdbcHandles.h"
#include "SqlDirectoryServer.h"

#include <memory>
#include <optional>

class TOdbcStatement;
struct TOdbcFailure;

struct TOdbcServerOptions {
    // No call may block longer than these on the network.
    unsigned LoginSeconds = 10;
    unsigned QuerySeconds = 30;
    // ReadChanges asks for this many rows at a time, so that a full read of a
    // large table never sits in the driver's memory at once.
    unsigned PageRows = 1000;
    // A transaction that met another (deadlock, serialization) runs again, this often at most.
    unsigned WriteAttempts = 5;
};

class TOdbcDirectoryServer : public ISqlDirectoryServer {
public:
    explicit TOdbcDirectoryServer(TSqlDirectorySettings settings, TOdbcServerOptions options = {});
    ~TOdbcDirectoryServer() override;
    TOdbcDirectoryServer(const TOdbcDirectoryServer&) = delete;
    TOdbcDirectoryServer& operator=(const TOdbcDirectoryServer&) = delete;

    // A table name that is not a plain name is refused before anything goes to
    // the server: NoTable with the name.
    TSqlError Open() override;
    void Close() noexcept override;
    TSqlError ReadChanges(int64_t since, const std::function<bool(const TSqlRow&)>& each) override;
    TSqlError WriteChanges(const std::vector<TSqlChange>& changes) override;

    // The server's product as its driver names it ("PostgreSQL", "MariaDB",
    // "Microsoft SQL Server"); empty while not connected.
    const std::wstring& DbmsName() const { return dbmsName_; }

private:
    TSqlError Connect();
    TSqlError CheckColumns();
    // Whether the catalog shows the account the table.
    bool TableVisible();
    void WriteOne(const TSqlChange& change);
    void EndTransaction(SQLSMALLINT completion);
    // The failure as a reason; a lost connection is closed, so that the next Open connects anew.
    TSqlError Fail(const TOdbcFailure& failure);
    bool ConnectionDead() const noexcept;

    TSqlDirectorySettings settings_;
    TOdbcServerOptions options_;
    std::wstring quotedTable_;
    std::wstring dbmsName_;
    // PostgreSQL ends a transaction at its first failed statement; the others
    // only undo that statement and let the transaction go on.
    bool failedStatementEndsTransaction_ = false;
    // Connected, and the table had its columns at the last Open: reading and
    // writing open first otherwise.
    bool ready_ = false;
    UniqueOdbcEnvironment environment_;
    UniqueOdbcConnection connection_;
    // Prepared once a connection, freed before it.
    std::unique_ptr<TOdbcStatement> update_, insert_;
};

std::unique_ptr<ISqlDirectoryServer> MakeOdbcDirectoryServer(const TSqlDirectorySettings& settings);
