// Prints how long a local caller lookup takes on a subscriber directory of
// 100,000 rows and the city-code table, next to a bare SQLite primary-key query
// on the same file in the same run. Not a test: it only reports figures.
#include "BenchmarkClock.h"
#include "CallerLookup.h"
#include "CityCodesImport.h"
#include "SampleFigures.h"
#include "SubscriberTable.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <windows.h>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

namespace {

constexpr int kRows = 100000;
constexpr int kQueries = 20000;

std::vector<CityCodeRow> CityRows(std::string& source) {
    std::ifstream file(KORDAVIN_SOURCE_DIR "/data/CityCodes.csv", std::ios::binary);
    if (file) {
        std::stringstream bytes;
        bytes << file.rdbuf();
        CityCodesCsv csv = ParseCityCodesCsv(bytes.str());
        if (csv.problems.empty()) {
            source = "data/CityCodes.csv";
            return csv.rows;
        }
    }
    source = "generated";
    std::vector<CityCodeRow> rows{{L"7", L"Россия"}};
    for (int area = 300; area < 1000; ++area) {
        rows.push_back({L"7" + std::to_wstring(area), L"Область " + std::to_wstring(area)});
        for (int town = 0; town < 4; ++town)
            rows.push_back({L"7" + std::to_wstring(area) + std::to_wstring(town + 2),
                            L"Город " + std::to_wstring(area) + L"-" + std::to_wstring(town)});
    }
    return rows;
}

std::wstring Number(std::mt19937& random) {
    static const wchar_t* areas[] = {L"495", L"812", L"343", L"916", L"926", L"383", L"861", L"351"};
    std::uniform_int_distribution<int> area(0, 7), subscriber(0, 9999999);
    wchar_t digits[8];
    swprintf(digits, 8, L"%07d", subscriber(random));
    return std::wstring(L"7") + areas[area(random)] + digits;
}

int Run() {
    TempFolder folder;
    const std::wstring subscriberFolder = folder.file(L"PQR"), cityFolder = folder.file(L"TQR");
    std::string citySource;
    const std::vector<CityCodeRow> cities = CityRows(citySource);
    BuildCityCodesTable(cityFolder, cities);

    std::mt19937 random(12345);
    std::vector<std::wstring> stored;
    std::vector<std::vector<std::wstring>> rows;
    {
        std::vector<std::wstring> numbers;
        while (numbers.size() < static_cast<size_t>(kRows) * 11 / 10) numbers.push_back(Number(random));
        std::sort(numbers.begin(), numbers.end());
        numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
        std::shuffle(numbers.begin(), numbers.end(), random);
        numbers.resize(kRows);
        for (size_t i = 0; i < numbers.size(); ++i)
            rows.push_back({numbers[i], L"Абонент " + std::to_wstring(i), L"Комментарий к номеру " + numbers[i]});
        stored = std::move(numbers);
    }
    MakeSubscriberTable(subscriberFolder, rows);

    TTQRDataModule areas(cityFolder);
    TPQRDataModule subscribers(subscriberFolder, folder.file(L"none"));
    areas.Open();
    subscribers.Open();
    TCallerLookup lookup(areas, subscribers);

    // Half of the queried numbers are stored, half are not.
    std::vector<std::wstring> queries;
    std::uniform_int_distribution<size_t> pick(0, stored.size() - 1);
    for (int i = 0; i < kQueries; ++i) queries.push_back(i % 2 ? stored[pick(random)] : Number(random));

    std::wstring name, region, comment;
    sqlite3* db = nullptr;
    const std::string path = WideToUtf8(subscriberFolder + L"\\AbonentPhones.db");
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return 1;
    SqliteConnection connection(db);
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare16_v2(db, L"SELECT AbonentName, AbonentComment FROM AbonentPhones WHERE AbonentPhone = ?1", -1,
                         &raw, nullptr);
    SqliteStatement select(raw);
    auto bareQuery = [&](const std::wstring& phone) {
        sqlite3_reset(raw);
        sqlite3_bind_text16(raw, 1, phone.data(), static_cast<int>(phone.size() * 2), SQLITE_TRANSIENT);
        if (sqlite3_step(raw) == SQLITE_ROW) {
            name = static_cast<const wchar_t*>(sqlite3_column_text16(raw, 0));
            comment = static_cast<const wchar_t*>(sqlite3_column_text16(raw, 1));
            return true;
        }
        return false;
    };
    for (int i = 0; i < 1000; ++i) {
        lookup.GetNameRegionCommentByPhoneLocal(queries[static_cast<size_t>(i)], name, region, comment);
        bareQuery(queries[static_cast<size_t>(i)]);
    }

    // The three are measured in turns, in a rotating order, so that a busy
    // machine slows each of them alike.
    size_t found = 0, withRegion = 0, bareFound = 0;
    std::vector<double> lookupTimes, popupTimes, bareTimes;
    for (size_t i = 0; i < queries.size(); ++i) {
        const std::wstring& phone = queries[i];
        for (size_t turn = 0; turn < 3; ++turn) {
            const double start = NowMicroseconds();
            switch ((i + turn) % 3) {
            case 0: {
                const bool ok = lookup.GetNameRegionCommentByPhoneLocal(phone, name, region, comment);
                lookupTimes.push_back(NowMicroseconds() - start);
                if (!ok) {
                    std::printf("lookup failed\n");
                    return 1;
                }
                found += !name.empty();
                withRegion += !region.empty();
                break;
            }
            case 1:
                // The popups' own lookup, which bounds its waits for locks.
                if (!lookup.GetNameRegionCommentByPhone(phone, name, region, comment)) {
                    std::printf("popup lookup failed\n");
                    return 1;
                }
                popupTimes.push_back(NowMicroseconds() - start);
                break;
            default:
                bareFound += bareQuery(phone);
                bareTimes.push_back(NowMicroseconds() - start);
                break;
            }
        }
    }
    sqlite3_reset(raw);

    const SampleFigures local = Summarise(lookupTimes), popup = Summarise(popupTimes), bare = Summarise(bareTimes);
    std::printf("subscriber rows: %d; city codes: %zu (%s); queries: %d, half of them stored\n", kRows, cities.size(),
                citySource.c_str(), kQueries);
    std::printf("found: %zu names, %zu regions (bare query: %zu names)\n", found, withRegion, bareFound);
    std::printf("GetNameRegionCommentByPhoneLocal: median %8.1f us, p99 %8.1f us\n", local.median, local.p99);
    std::printf("GetNameRegionCommentByPhone:      median %8.1f us, p99 %8.1f us\n", popup.median, popup.p99);
    std::printf("bare SQLite primary-key query:    median %8.1f us, p99 %8.1f us\n", bare.median, bare.p99);
    std::printf("ratio lookup / bare query:        median %8.2fx,  p99 %8.2fx\n", local.median / bare.median,
                local.p99 / bare.p99);
    std::printf("ratio popup lookup / bare query:  median %8.2fx,  p99 %8.2fx\n", popup.median / bare.median,
                popup.p99 / bare.p99);
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
