// Prints what hostile directory servers cost the sync: its memory and time
// against servers that never stop paging (the same cookie every page, or a new
// one each page, 50 entries of 2,000 characters a page; failure kinds are
// TOrgDirectoryFailure's numbers), and how long Stop
// takes with a server that never answers the bind, or the search. Not a test:
// it only reports figures.
#include "BenchmarkClock.h"
#include "FakeLdapServer.h"
#include "OrgDirectory.h"
#include "TestFolders.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <thread>

namespace {

double Megabytes(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

TOrgDirectorySettings SettingsFor(const TFakeLdapServer& server) {
    TOrgDirectorySettings settings;
    settings.FLdapServers = server.Url();
    settings.FLdapBase = L"dc=fake,dc=test";
    return settings;
}

void EndlessPaging(TFakeLdapServer::TMode mode, const char* what, const TLdapLimits& limits = {}) {
    TFakeLdapServer server(mode, {50, 2000, 0});
    TempFolder folder;
    TOrgDirectoryCache cache;
    cache.Open(folder.file(L"OrgDirectory.db"));
    const PROCESS_MEMORY_COUNTERS before = Memory();
    const double start = NowMicroseconds();
    TOrgReadOptions options;
    options.Limits = limits;
    const TOrgSyncStatus status = SyncOrgDirectory(SettingsFor(server), TDiallingSettings{}, cache, options);
    const double seconds = (NowMicroseconds() - start) / 1e6;
    const PROCESS_MEMORY_COUNTERS after = Memory();
    std::printf("%s: failure kind %d after %d pages (%d entries) in %.2f s; cache keeps %lld entries\n", what,
                static_cast<int>(status.Error.Kind), server.PagesServed(), server.PagesServed() * 50, seconds,
                status.Entries);
    std::printf("  working set %.1f MB before, peak %.1f MB (+%.1f MB); private %.1f MB before, peak %.1f MB\n",
                Megabytes(before.WorkingSetSize), Megabytes(after.PeakWorkingSetSize),
                Megabytes(after.PeakWorkingSetSize - before.WorkingSetSize), Megabytes(before.PagefileUsage),
                Megabytes(after.PeakPagefileUsage));
}

void StopTime(TFakeLdapServer::TMode mode, const char* what) {
    TFakeLdapServer server(mode);
    TempFolder folder;
    TOrgDirectory directory(folder.file(L"OrgDirectory.db"));
    directory.Start(SettingsFor(server), TDiallingSettings{});
    for (int i = 0; i < 1000 && server.Connections() == 0; ++i) ::Sleep(10);
    ::Sleep(500);
    const double start = NowMicroseconds();
    directory.Stop();
    std::printf("Stop with a server that %s: %.1f ms\n", what, (NowMicroseconds() - start) / 1000.0);
}

}  // namespace

int main() {
    try {
        StopTime(TFakeLdapServer::TMode::Silent, "never answers the bind");
        StopTime(TFakeLdapServer::TMode::BindOnly, "never answers the search");
        const TLdapLimits limits;
        std::printf("limits: %lu pages, %llu entries, %llu MB of text, %lu s\n", limits.MaxPages,
                    static_cast<unsigned long long>(limits.MaxEntries),
                    static_cast<unsigned long long>(limits.MaxBytes >> 20), limits.MaxSeconds);
        EndlessPaging(TFakeLdapServer::TMode::SameCookie, "same cookie every page");
        // The byte limit scaled down, to see the memory it allows in proportion;
        // the time limit shortened, to see where the default others leave a
        // read of 4 kB entries after a minute.
        TLdapLimits smaller;
        smaller.MaxBytes = 16ull * 1024 * 1024;
        EndlessPaging(TFakeLdapServer::TMode::FreshCookies, "new cookie every page, 16 MB of text allowed", smaller);
        TLdapLimits minute;
        minute.MaxSeconds = 60;
        EndlessPaging(TFakeLdapServer::TMode::FreshCookies, "new cookie every page, default limits, 60 s allowed", minute);
        return 0;
    } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());
        return 1;
    }
}
