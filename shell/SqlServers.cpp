#include "SqlServers.h"

#include "CallJournal.h"

namespace {

// Until the ODBC connection is built in, every connection says there is no driver.
class TNoDriverServer final : public ISqlDirectoryServer {
public:
    TSqlError Open() override { return {TSqlErrorKind::Driver, {}, {}}; }
    void Close() noexcept override {}
    TSqlError ReadChanges(int64_t, const std::function<bool(const TSqlRow&)>&) override { return Open(); }
    TSqlError WriteChanges(const std::vector<TSqlChange>&) override { return Open(); }
};

}  // namespace

TSqlDirectory::TServerFactory ProgramSqlServers() {
    return [](const TSqlDirectorySettings&) -> std::unique_ptr<ISqlDirectoryServer> {
        return std::make_unique<TNoDriverServer>();
    };
}

std::wstring DefaultSqlReplicaRoot() {
    const std::wstring journal = DefaultJournalPath();
    const size_t separator = journal.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : journal.substr(0, separator);
}
