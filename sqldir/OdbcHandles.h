// Owning ODBC handles: freed once, movable, never copied.
#pragma once
#include "UniqueHandle.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>

struct OdbcEnvironmentTraits {
    using Value = SQLHENV;
    static Value invalid() noexcept { return SQL_NULL_HENV; }
    static void close(Value v) noexcept { ::SQLFreeHandle(SQL_HANDLE_ENV, v); }
};
// Disconnects first: a connection handle cannot be freed while connected
// (the call fails harmlessly on one that never connected).
struct OdbcConnectionTraits {
    using Value = SQLHDBC;
    static Value invalid() noexcept { return SQL_NULL_HDBC; }
    static void close(Value v) noexcept {
        ::SQLDisconnect(v);
        ::SQLFreeHandle(SQL_HANDLE_DBC, v);
    }
};
struct OdbcStatementTraits {
    using Value = SQLHSTMT;
    static Value invalid() noexcept { return SQL_NULL_HSTMT; }
    static void close(Value v) noexcept { ::SQLFreeHandle(SQL_HANDLE_STMT, v); }
};

using UniqueOdbcEnvironment = UniqueHandle<OdbcEnvironmentTraits>;
using UniqueOdbcConnection = UniqueHandle<OdbcConnectionTraits>;
using UniqueOdbcStatement = UniqueHandle<OdbcStatementTraits>;
