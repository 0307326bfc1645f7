// Turns what an ODBC driver said into the reason the sync and the windows know.
#pragma once
#include "OdbcDiagnostics.h"
#include "SqlDirectoryServer.h"

// Whether the failure came while connecting (a broken link then means the
// server cannot be reached) or inside an operation on an open connection (it
// then means the connection was lost).
enum class TOdbcPhase { Connect, Operation };

TSqlError SqlErrorFromDiagnostics(const TOdbcDiagnostics& diagnostics, TOdbcPhase phase);

// Whether the transaction failed only because it met another one (deadlock,
// serialization): running it again is the cure.
bool IsTransactionConflict(const TOdbcDiagnostics& diagnostics);
// Whether a statement broke a unique key (an insert that met another one's).
bool IsUniqueViolation(const TOdbcDiagnostics& diagnostics);
