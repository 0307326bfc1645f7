#include "SqlRawConnection.h"

#include "OdbcConnectionString.h"
#include "OdbcDiagnostics.h"
#include "OdbcStatement.h"

TSqlRawConnection::TSqlRawConnection(const TSqlTestServer& server) {
    SQLHENV environment = SQL_NULL_HENV;
    CheckOdbc(::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment), SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    environment_.reset(environment);
    ::SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC connection = SQL_NULL_HDBC;
    CheckOdbc(::SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection), SQL_HANDLE_ENV, environment);
    connection_.reset(connection);
    std::wstring text = ConnectionStringWithPassword(server.ConnectionString(), server.Password());
    SQLSMALLINT length = 0;
    CheckOdbc(::SQLDriverConnectW(connection, nullptr, reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                                  &length, SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, connection);
}

void TSqlRawConnection::Run(const std::wstring& sql) {
    TOdbcStatement statement(connection_.get(), sql, 30);
    statement.Execute();
    SQLSMALLINT columns = 0;
    ::SQLNumResultCols(statement.get(), &columns);
    if (columns > 0)
        while (statement.Fetch()) {
        }
}

void TSqlRawConnection::BeginTransaction() {
    CheckOdbc(::SQLSetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, connection_.get());
}

void TSqlRawConnection::Rollback() { ::SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK); }
