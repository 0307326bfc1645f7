#include "SqlServers.h"

#include "OdbcDirectoryServer.h"

TSqlDirectory::TServerFactory ProgramSqlServers() { return MakeOdbcDirectoryServer; }
