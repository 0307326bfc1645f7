#pragma once
#include "SqlDirectory.h"

// How the program connects to the organisation's SQL server: through
// Windows' own ODBC. Tests hand their own factory to the parts instead.
TSqlDirectory::TServerFactory ProgramSqlServers();
