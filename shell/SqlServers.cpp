#include "SqlServers.h"

#include "CallJournal.h"
#include "OdbcDirectoryServer.h"

TSqlDirectory::TServerFactory ProgramSqlServers() { return &MakeOdbcDirectoryServer; }

std::wstring DefaultSqlReplicaRoot() {
    const std::wstring journal = DefaultJournalPath();
    const size_t separator = journal.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : journal.substr(0, separator);
}
