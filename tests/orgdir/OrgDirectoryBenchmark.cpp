// Prints what the organisation's directory costs: the sync of 50,000 entries
// from a real OpenLDAP server (time, peak memory), loading the cache at start,
// and a popup's lookup that falls through the subscriber directory to the
// cache next to a subscriber-directory lookup in the same run. Not a test: it
// only reports figures. Runs under Wine (slapd is the Linux side's).
#include "BenchmarkClock.h"
#include "CallerLookup.h"
#include "CityCodesImport.h"
#include "OrgDirectory.h"
#include "SampleFigures.h"
#include "SlapdServer.h"
#include "SubscriberTable.h"
#include "TestFolders.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

constexpr int kPeople = 50000;
constexpr int kSubscribers = 100000;
constexpr int kQueries = 20000;

double Megabytes(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

// Person i: an office number in 7495 2xxxxxx as people write it, and a mobile.
std::wstring OfficeNumber(int i) { return L"74952" + std::to_wstring(100000 + i); }

std::wstring PeopleLdif() {
    std::wstring ldif;
    ldif.reserve(static_cast<size_t>(kPeople) * 320);
    for (int i = 0; i < kPeople; ++i) {
        const std::wstring n = std::to_wstring(i);
        const std::wstring office = OfficeNumber(i);
        ldif += LdifPerson(L"u" + n, {{L"cn", L"Сотрудник " + n},
                                      {L"displayName", L"Сотрудников Сотрудник " + n},
                                      {L"telephoneNumber", L"+7 (495) " + office.substr(4, 3) + L"-" +
                                                               office.substr(7, 2) + L"-" + office.substr(9, 2) +
                                                               L" доб. 12"},
                                      {L"mobile", L"8 917 " + std::to_wstring(1000000 + i)},
                                      {L"title", L"Инженер"},
                                      {L"departmentNumber", L"Отдел " + std::to_wstring(i % 100)}});
    }
    return ldif;
}

int Run() {
    if (!TSlapdServer::Available()) {
        std::printf("needs Wine: slapd runs on the Linux side\n");
        return 1;
    }
    TSlapdServer server;
    std::string why;
    double start = NowMicroseconds();
    // Pages of at most 1,000 and no total limit for paged reads, as Active Directory has it.
    if (!server.Start(PeopleLdif(), 1000, why)) {
        std::printf("slapd: %s\n", why.c_str());
        return 1;
    }
    std::printf("slapd loaded with %d people in %.1f s\n", kPeople, (NowMicroseconds() - start) / 1e6);

    TempFolder folder;
    TOrgDirectorySettings settings;
    settings.FLdapServers = server.Url();
    settings.FLdapBase = TSlapdServer::kSuffix;
    settings.FLdapCommentAttributes = L"title,departmentNumber";
    TOrgReadOptions options;
    options.PageSize = 1000;  // as Active Directory sends them
    options.TimeoutSeconds = 120;
    const TDiallingSettings dialling;

    // The library's own share: the same read with nothing done with the entries.
    {
        TLdapSearch search;
        search.Base = settings.FLdapBase;
        search.Filter = EffectiveLdapFilter(settings);
        search.Attributes = OrgAttributes(settings).Requested;
        search.PageSize = options.PageSize;
        search.TimeoutSeconds = options.TimeoutSeconds;
        int entries = 0;
        start = NowMicroseconds();
        const TOrgDirectoryError error =
            ReadLdapEntries({server.Url()}, {}, search, [&](TLdapValues&) { ++entries; });
        std::printf("bare read through wldap32: %d entries in %.2f s%s\n", entries, (NowMicroseconds() - start) / 1e6,
                    error ? " (failed)" : "");
    }

    TOrgDirectoryCache cache;
    cache.Open(folder.file(L"OrgDirectory.db"));
    const PROCESS_MEMORY_COUNTERS before = Memory();
    start = NowMicroseconds();
    const TOrgSyncStatus status = SyncOrgDirectory(settings, dialling, cache, options);
    const double syncSeconds = (NowMicroseconds() - start) / 1e6;
    const PROCESS_MEMORY_COUNTERS after = Memory();
    if (status.Error) {
        std::printf("sync failed: kind %d, code %lu\n", static_cast<int>(status.Error.Kind), status.Error.LdapCode);
        return 1;
    }
    std::printf("sync: %lld entries, %lld numbers in %.2f s (read %.2f s, pages of %lu)\n", status.Entries,
                status.Numbers, syncSeconds, static_cast<double>(status.DurationMs) / 1000.0, options.PageSize);
    std::printf("memory: working set %.1f MB before, peak %.1f MB (+%.1f MB); private peak %.1f MB (+%.1f MB)\n",
                Megabytes(before.WorkingSetSize), Megabytes(after.PeakWorkingSetSize),
                Megabytes(after.PeakWorkingSetSize - before.WorkingSetSize), Megabytes(after.PeakPagefileUsage),
                Megabytes(after.PeakPagefileUsage - before.PagefileUsage));

    start = NowMicroseconds();
    TOrgDirectory directory(folder.file(L"OrgDirectory.db"));
    TOrgDirectoryCache reopened;
    reopened.Open(folder.file(L"OrgDirectory.db"));
    std::printf("cache loaded at start in %.0f ms\n", (NowMicroseconds() - start) / 1000.0);
    // The worker finds the cache fresh and reads nothing.
    directory.Start(settings, dialling);

    // The subscriber directory with the city codes, as the popups look them up.
    std::mt19937 random(12345);
    std::vector<std::wstring> subscribers;
    std::vector<std::vector<std::wstring>> rows;
    for (int i = 0; i < kSubscribers; ++i) {
        subscribers.push_back(L"7916" + std::to_wstring(1000000 + i * 7));
        rows.push_back({subscribers.back(), L"Абонент " + std::to_wstring(i), L"Комментарий"});
    }
    std::vector<CityCodeRow> cities{{L"7", L"Россия"}, {L"7495", L"Москва"}, {L"7916", L"МТС"}};
    for (int area = 300; area < 1000; ++area)
        if (area != 495 && area != 916) cities.push_back({L"7" + std::to_wstring(area), L"Область"});
    BuildCityCodesTable(folder.file(L"TQR"), cities);
    MakeSubscriberTable(folder.file(L"PQR"), rows);
    TTQRDataModule areas(folder.file(L"TQR"));
    TPQRDataModule subscriberModule(folder.file(L"PQR"), folder.file(L"none"));
    areas.Open();
    subscriberModule.Open();
    TCallerLookup lookup(areas, subscriberModule);

    // The popup's order: the subscriber directory first, then the organisation's.
    std::wstring name, region, comment;
    TOrgName found;
    auto popupLookup = [&](const std::wstring& number) {
        if (!lookup.GetNameRegionCommentByPhone(number, name, region, comment)) return false;
        if (!name.empty()) return true;
        if (!directory.Lookup(number, found)) return false;
        name = found.Name;
        comment = found.Comment;
        return true;
    };
    std::uniform_int_distribution<int> pickSubscriber(0, kSubscribers - 1), pickPerson(0, kPeople - 1);
    for (int i = 0; i < 1000; ++i) {
        popupLookup(subscribers[static_cast<size_t>(pickSubscriber(random))]);
        popupLookup(OfficeNumber(pickPerson(random)));
    }
    // Measured in turns, in a rotating order, so that a busy machine slows each alike.
    std::vector<double> subscriberTimes, fallThroughTimes, cacheTimes;
    size_t subscriberFound = 0, fallThroughFound = 0, cacheFound = 0;
    for (int i = 0; i < kQueries; ++i) {
        const std::wstring& subscriber = subscribers[static_cast<size_t>(pickSubscriber(random))];
        const std::wstring person = OfficeNumber(pickPerson(random));
        for (int turn = 0; turn < 3; ++turn) {
            const double begin = NowMicroseconds();
            switch ((i + turn) % 3) {
            case 0:
                subscriberFound += popupLookup(subscriber) && name.rfind(L"Абонент", 0) == 0;
                subscriberTimes.push_back(NowMicroseconds() - begin);
                break;
            case 1:
                fallThroughFound += popupLookup(person) && name.rfind(L"Сотрудников", 0) == 0;
                fallThroughTimes.push_back(NowMicroseconds() - begin);
                break;
            default:
                cacheFound += directory.Lookup(person, found);
                cacheTimes.push_back(NowMicroseconds() - begin);
                break;
            }
        }
    }
    directory.Stop();
    const SampleFigures bySubscriber = Summarise(subscriberTimes), fallThrough = Summarise(fallThroughTimes),
                        byCache = Summarise(cacheTimes);
    std::printf("lookups: %d of each; found %zu subscribers, %zu through to the cache, %zu in the cache alone\n",
                kQueries, subscriberFound, fallThroughFound, cacheFound);
    std::printf("subscriber directory (hit):           median %7.1f us, p99 %7.1f us\n", bySubscriber.median,
                bySubscriber.p99);
    std::printf("falls through to the directory cache: median %7.1f us, p99 %7.1f us\n", fallThrough.median,
                fallThrough.p99);
    std::printf("directory cache alone:                median %7.1f us, p99 %7.1f us\n", byCache.median,
                byCache.p99);
    std::printf("ratio fall-through / subscriber:      median %7.2fx,  p99 %7.2fx  (target at most 1.2x)\n",
                fallThrough.median / bySubscriber.median, fallThrough.p99 / bySubscriber.p99);
    std::printf("ratio cache alone / subscriber:       median %7.2fx,  p99 %7.2fx\n",
                byCache.median / bySubscriber.median, byCache.p99 / bySubscriber.p99);
    return 0;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());
        return 1;
    }
}
