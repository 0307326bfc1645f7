#pragma once
#include "SqlDirectory.h"

#include <string>

// How the program reaches the SQL directory. Tests hand their own factory and
// folder to the parts instead.

// Connections to the organisation's SQL server through Windows' own ODBC.
TSqlDirectory::TServerFactory ProgramSqlServers();

// The per-user folder that holds the replicas: beside the call journal
// (%LOCALAPPDATA%\KordavinInformer, or where KORDAVIN_JOURNAL_DIR points).
std::wstring DefaultSqlReplicaRoot();
