// Prints how long an import of 100,000 contacts takes (reading the file, the
// preview, the write), the export of the same directory, and a search over its
// rows as a search box would run it on each keystroke. Not a test: it only
// reports figures.
#include "BenchmarkClock.h"
#include "ContactExport.h"
#include "ContactImport.h"
#include "DirectoryBulk.h"
#include "DirectoryTestSupport.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "pqrUnit.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr int kRows = 100000;

template <typename F>
double Timed(F&& f) {
    const double start = NowMicroseconds() / 1000.0;
    f();
    return NowMicroseconds() / 1000.0 - start;
}

// A spreadsheet's export as offices have them: written numbers, Cyrillic names,
// some quoted comments.
std::string MakeCsv() {
    const wchar_t* const surnames[] = {L"Иванов", L"Петров", L"Сидорова", L"Кузнецов", L"Ёлкина", L"Smith"};
    std::wstring text = L"Телефон;ФИО;Примечание\r\n";
    for (int i = 0; i < kRows; ++i) {
        wchar_t number[32];
        const int n = 1000000 + i;
        swprintf(number, 32, L"8 (495) %03d-%02d-%02d", n / 10000 % 1000, n / 100 % 100, n % 100);
        text += number;
        text += L";";
        text += surnames[i % 6];
        text += L" Абонент " + std::to_wstring(i) + L";";
        if (i % 10 == 0) text += L"\"заказ; \"\"срочно\"\"\r\nвторая строка\"";
        text += L"\r\n";
    }
    return "\xEF\xBB\xBF" + WideToUtf8(text);
}

}  // namespace

int main() {
    TempFolder folder;
    {
        TPQRDataModule module(folder.path(), folder.file(L"none"));
        module.Open();  // creates the empty table
    }
    const std::string csv = MakeCsv();
    std::printf("Contact import and export, %d rows (%.1f MB of CSV)\n", kRows, csv.size() / 1048576.0);

    for (const char* pass : {"into an empty directory", "again into the full directory"}) {
        ImportSource source;
        ImportPreview preview;
        std::size_t written = 0;
        const double parse = Timed([&] { source = ReadImportFile(csv); });
        const double previewMs = Timed([&] {
            preview = BuildImportPreview(source.contacts, SnapshotOf(ReadDirectoryRows(folder.path())), ImportOptions{});
        });
        const double apply = Timed([&] { written = ApplyImport(folder.path(), preview); });
        std::printf("import %-30s parse %7.1f ms  preview %7.1f ms  apply %7.1f ms  total %7.1f ms"
                    "  (new %zu, changed %zu, unchanged %zu, rejected %zu, written %zu)\n",
                    pass, parse, previewMs, apply, parse + previewMs + apply, preview.newCount, preview.changedCount,
                    preview.unchangedCount, preview.rejectedCount, written);
    }

    std::vector<DirectoryRow> rows;
    std::string exported;
    const double read = Timed([&] { rows = ReadDirectoryRows(folder.path()); });
    const double format = Timed([&] { exported = ExportDirectoryCsv(rows); });
    const double write = Timed([&] { WriteBytes(folder.file(L"export.csv"), exported); });
    std::printf("export %zu rows: read %.1f ms  format %.1f ms  write %.1f ms  total %.1f ms (%.1f MB)\n", rows.size(),
                read, format, write, read + format + write, exported.size() / 1048576.0);

    std::optional<DirectorySearch> search;
    const double build = Timed([&] { search.emplace(rows); });
    std::printf("search over %zu rows: prepare %.1f ms (once, when the list is loaded)\n", rows.size(), build);
    for (const wchar_t* query : {L"4", L"495 12", L"99999", L"и", L"иванов", L"ЁЛКИНА АБОНЕНТ 9999", L"smith", L"нет такого"}) {
        std::size_t found = 0;
        double best = 1e9, worst = 0;
        for (int repeat = 0; repeat < 5; ++repeat) {
            const double ms = Timed([&] { found = search->Find(query).size(); });
            best = std::min(best, ms);
            worst = std::max(worst, ms);
        }
        std::printf("  query %-34s %6zu rows  %6.1f ms (worst of 5: %.1f ms)\n",
                    WideToUtf8(std::wstring(L"\"") + query + L"\"").c_str(), found, best, worst);
    }
    return 0;
}
