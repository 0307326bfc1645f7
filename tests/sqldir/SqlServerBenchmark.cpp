// Prints what the SQL server's side costs through ODBC, against a throw-away
// PostgreSQL and MariaDB: storing 100,000 rows, reading them all (in pages and
// in one result, with the memory each takes), an incremental read of 1,000
// changed rows, and 1,000 point selects. Not a test: it only reports figures.
// Runs under Wine (the servers are the Linux side's).
#include "BenchmarkClock.h"
#include "OdbcDirectoryServer.h"
#include "OdbcStatement.h"
#include "SqlRawConnection.h"
#include "SqlTestServer.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int kRows = 100000;
constexpr int kBatch = 1000;
constexpr int kChanged = 1000;

double Megabytes(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

SIZE_T WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.WorkingSetSize;
}

std::wstring Phone(int i) { return L"7495" + std::to_wstring(3000000 + i); }

TSqlChange Change(int i, const std::wstring& name) {
    TSqlChange change;
    change.Phone = Phone(i);
    change.Name = name;
    change.Comment = L"Комментарий к номеру " + std::to_wstring(i) + L": перезвонить после обеда";
    change.ChangedBy = L"CORP\\bench on PC-1";
    change.ChangedAtUnixMs = 1765432109876 + i;
    return change;
}

// Reads every row above `since`; the time, the rows and the working set's
// growth while reading (sampled every 1,000 rows).
void TimedRead(TOdbcDirectoryServer& server, int64_t since, const char* what) {
    const SIZE_T before = WorkingSet();
    SIZE_T highest = before;
    long rows = 0;
    const double started = NowMicroseconds();
    const TSqlError error = server.ReadChanges(since, [&](const TSqlRow&) {
        if (++rows % 1000 == 0) highest = std::max(highest, WorkingSet());
        return true;
    });
    const double ms = (NowMicroseconds() - started) / 1000;
    highest = std::max(highest, WorkingSet());
    std::printf("  %-44s %7ld rows %8.0f ms   working set +%.1f MB%s\n", what, rows, ms,
                Megabytes(highest - before), error ? "  (FAILED)" : "");
}

bool Run(TSqlServerKind kind) {
    TSqlTestServer fixture(kind);
    std::string why;
    const auto start = fixture.Start(why, 1200);
    if (start != TSqlTestServer::TStart::Started) {
        std::printf("%s: not run: %s\n", TSqlTestServer::Name(kind), why.c_str());
        return start == TSqlTestServer::TStart::Unavailable;
    }
    std::printf("%s\n", TSqlTestServer::Name(kind));
    TOdbcDirectoryServer writer(fixture.Settings());
    if (const TSqlError error = writer.Open()) {
        std::printf("  cannot open\n");
        return false;
    }
    std::printf("  server: %ls\n", writer.DbmsName().c_str());

    double started = NowMicroseconds();
    std::vector<TSqlChange> batch;
    for (int i = 0; i < kRows; ++i) {
        batch.push_back(Change(i, L"Абонент номер " + std::to_wstring(i)));
        if (batch.size() == kBatch) {
            if (writer.WriteChanges(batch)) {
                std::printf("  writing failed\n");
                return false;
            }
            batch.clear();
        }
    }
    std::printf("  %-44s %7d rows %8.0f ms\n", "store (batches of 1,000, new numbers)", kRows,
                (NowMicroseconds() - started) / 1000);

    TOdbcDirectoryServer paged(fixture.Settings());
    TimedRead(paged, 0, "full read, pages of 1,000");
    TOdbcServerOptions whole;
    whole.PageRows = 0;
    TOdbcDirectoryServer unpaged(fixture.Settings(), whole);
    TimedRead(unpaged, 0, "full read, one result");

    int64_t last = 0;
    paged.ReadChanges(0, [&](const TSqlRow& row) {
        last = row.Stamp;
        return true;
    });
    started = NowMicroseconds();
    batch.clear();
    for (int i = 0; i < kChanged; ++i) batch.push_back(Change(i * (kRows / kChanged), L"Изменённый абонент"));
    writer.WriteChanges(batch);
    std::printf("  %-44s %7d rows %8.0f ms\n", "store 1,000 changed rows (one batch)", kChanged,
                (NowMicroseconds() - started) / 1000);
    TimedRead(paged, last, "incremental read of the changed rows");

    try {
        TSqlRawConnection raw(fixture);
        const std::wstring table =
            kind == TSqlServerKind::PostgreSql ? L"\"KordavinAbonentPhones\"" : L"KordavinAbonentPhones";
        TOdbcStatement select(raw.Handle(), L"SELECT AbonentName FROM " + table + L" WHERE Phone = ?", 30);
        started = NowMicroseconds();
        int found = 0;
        for (int i = 0; i < 1000; ++i) {
            select.BindText(1, Phone(i * 97));
            select.Execute();
            while (select.Fetch()) found += select.Text(1).empty() ? 0 : 1;
        }
        std::printf("  %-44s %7d rows %8.0f ms\n", "1,000 point selects (prepared once)", found,
                    (NowMicroseconds() - started) / 1000);
    } catch (...) {
        std::printf("  point selects failed\n");
        return false;
    }
    return true;
}

}  // namespace

int main() {
    const bool postgres = Run(TSqlServerKind::PostgreSql);
    const bool maria = Run(TSqlServerKind::MariaDb);
    return postgres && maria ? 0 : 1;
}
