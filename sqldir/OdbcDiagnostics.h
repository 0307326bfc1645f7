// What an ODBC driver said about a failed call, and the exception that carries
// it up to the server object, which turns it into a reason.
#pragma once
#include <windows.h>
#include <sql.h>

#include <string>
#include <vector>

struct TOdbcDiagnostic {
    std::wstring State;  // SQLSTATE, five characters
    long Native = 0;     // the server's or driver's own error number
    std::wstring Message;
};
using TOdbcDiagnostics = std::vector<TOdbcDiagnostic>;

// Every diagnostic record of the handle, in the driver's order.
TOdbcDiagnostics ReadOdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

struct TOdbcFailure {
    TOdbcDiagnostics Diagnostics;
    // The first record's SQLSTATE, or empty.
    std::wstring State() const { return Diagnostics.empty() ? std::wstring() : Diagnostics.front().State; }
};

// Throws TOdbcFailure with the handle's diagnostics unless the call succeeded
// (with or without information).
void CheckOdbc(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle);
