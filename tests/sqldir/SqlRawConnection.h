#pragma once
#include "OdbcHandles.h"
#include "SqlTestServer.h"

#include <string>

// A connection of a test's own as the program's account, beside the server
// object under test: for holding a lock while it writes, or for point reads.
// Failures throw TOdbcFailure.
class TSqlRawConnection {
public:
    explicit TSqlRawConnection(const TSqlTestServer& server);
    // Runs a statement and reads its rows, if any, to the end.
    void Run(const std::wstring& sql);
    void BeginTransaction();
    void Rollback();
    SQLHDBC Handle() const { return connection_.get(); }

private:
    UniqueOdbcEnvironment environment_;
    UniqueOdbcConnection connection_;
};
