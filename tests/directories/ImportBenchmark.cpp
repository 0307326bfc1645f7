// Prints how long an import of 100,000 contacts takes (reading the file, the
// preview, the write), the same for a 50 MB vCard built to be slow to read,
// how long the window's own thread went without handling a message while the
// import window read, previewed and wrote those files (its popups would have
// waited as long), the export of the same directory, and a search over its
// rows as a search box would run it on each keystroke, and the peak working
// set of an import of two files made to multiply memory. Not a test: it only
// reports figures.
#include "BenchmarkClock.h"
#include "ContactExport.h"
#include "ContactImport.h"
#include "ControlsStartup.h"
#include "DirectoryBrowserRes.h"
#include "DirectoryBulk.h"
#include "DirectoryImportForm.h"
#include "DirectoryTestSupport.h"
#include "MessagePump.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "pqrUnit.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// One card whose note is a soft line break folded onto millions of lines.
std::string MakeHostileVCard(size_t bytes) {
    std::string text = "BEGIN:VCARD\r\nFN:x\r\nTEL:84951234567\r\nNOTE:a=\r\n";
    text.reserve(bytes + 64);
    while (text.size() < bytes) text += " a=\r\n";
    return text + "END:VCARD\r\n";
}

// The longest time this thread went without its 10 ms timer while a step ran.
struct UiGaps {
    double elapsedMs = 0, worstGapMs = 0;
    int ticks = 0;
};

template <typename Done>
UiGaps PumpMeasuringGaps(Done&& done) {
    UiGaps gaps;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, nullptr);
    const double start = NowMicroseconds() / 1000.0;
    double last = start;
    while (!done()) {
        MSG message;
        if (!::GetMessageW(&message, nullptr, 0, 0)) break;
        if (message.message == WM_TIMER && message.hwnd == nullptr) {
            const double now = NowMicroseconds() / 1000.0;
            gaps.worstGapMs = std::max(gaps.worstGapMs, now - last);
            last = now;
            ++gaps.ticks;
            continue;
        }
        if (HandleDialogMessage(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::KillTimer(nullptr, timer);
    gaps.elapsedMs = NowMicroseconds() / 1000.0 - start;
    return gaps;
}

// The import window over the file: its read and preview, then its write when
// there is anything to write.
void MeasureWindow(const char* what, const std::wstring& folder, const std::string& bytes) {
    const HWND preview = TDirectoryImportForm::Open(::GetModuleHandleW(nullptr), nullptr, folder, TDiallingSettings{},
                                                    L"bench", bytes, {});
    const HWND progress = ::GetDlgItem(preview, IDC_DIRIMPORT_PROGRESS);
    const auto idle = [&] { return !::IsWindow(preview) || !::IsWindowVisible(progress); };
    const UiGaps read = PumpMeasuringGaps(idle);
    std::printf("window %-28s read+preview %8.1f ms, longest gap in this thread's messages %6.1f ms (%d timer ticks)\n",
                what, read.elapsedMs, read.worstGapMs, read.ticks);
    if (!::IsWindow(preview)) return;
    if (::IsWindowEnabled(::GetDlgItem(preview, IDOK))) {
        ::PostMessageW(preview, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        const UiGaps write = PumpMeasuringGaps([&] { return !::IsWindow(preview); });
        std::printf("window %-28s write        %8.1f ms, longest gap in this thread's messages %6.1f ms (%d timer ticks)\n",
                    what, write.elapsedMs, write.worstGapMs, write.ticks);
    }
    if (::IsWindow(preview)) ::DestroyWindow(preview);
    PumpPending();
}

double Megabytes(SIZE_T bytes) { return static_cast<double>(bytes) / 1048576.0; }

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

// 2,000 numbers in one cell and a comment of 100,000 Cyrillic letters.
std::string MakeManyNumbersCsv() {
    std::wstring numbers;
    for (int i = 0; i < 2000; ++i) numbers += (i ? L":::" : L"") + std::to_wstring(74950000000LL + i);
    return WideToUtf8(L"Телефон;Имя;Примечание\r\n\"" + numbers + L"\";Иванов;" + std::wstring(100000, L'ж') + L"\r\n");
}

// 19 MiB of rows of 99 separators.
std::string MakeSeparatorsCsv() {
    std::string text;
    text.reserve((19u << 20) + 128);
    while (text.size() < (19u << 20)) text += std::string(99, ';') + "\r\n";
    return text;
}

// In a process of its own, so that the peak is this file's: the read, the
// preview and the write into an empty directory.
int MeasurePeak(const char* which) {
    const std::string bytes = std::strcmp(which, "separators") == 0 ? MakeSeparatorsCsv() : MakeManyNumbersCsv();
    TempFolder folder;
    {
        TPQRDataModule module(folder.path(), folder.file(L"none"));
        module.Open();
    }
    const PROCESS_MEMORY_COUNTERS before = Memory();
    ImportPreview preview;
    {
        const ImportSource source = ReadImportFile(bytes);
        preview = BuildImportPreview(source.contacts, {}, ImportOptions{});
    }
    const PROCESS_MEMORY_COUNTERS previewed = Memory();
    const std::size_t written = ApplyImport(folder.path(), preview);
    const PROCESS_MEMORY_COUNTERS after = Memory();
    std::printf("peak working set, %-32s %6.2f MiB file: %7.1f MiB before, %7.1f MiB at the peak of read+preview, "
                "%7.1f MiB with the write (%zu rows written, %zu rejected)\n",
                which, Megabytes(bytes.size()), Megabytes(before.WorkingSetSize),
                Megabytes(previewed.PeakWorkingSetSize), Megabytes(after.PeakWorkingSetSize), written,
                preview.rejectedCount);
    return 0;
}

// This program again with the given argument; its output goes to ours.
void RunSelf(const std::wstring& argument) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --peak " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::fflush(stdout);
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return;
    ::WaitForSingleObject(info.hProcess, INFINITE);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--peak") == 0) return MeasurePeak(argv[2]);
    RunSelf(L"many-numbers");
    RunSelf(L"separators");
    if (argc == 2 && std::strcmp(argv[1], "--peak-only") == 0) return 0;
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

    const std::string vcard = MakeHostileVCard(50u << 20);
    {
        ImportSource source;
        ImportPreview preview;
        const double parse = Timed([&] { source = ReadImportFile(vcard); });
        const double previewMs = Timed([&] { preview = BuildImportPreview(source.contacts, {}, ImportOptions{}); });
        std::printf("import %.1f MB hostile vCard:          parse %7.1f ms  preview %7.1f ms  (rejected %zu: %s)\n",
                    vcard.size() / 1048576.0, parse, previewMs, preview.rejectedCount,
                    preview.rejected.empty() ? "" : WideToUtf8(preview.rejected[0].reason).c_str());
    }

    EnsureCommonControls();
    TempFolder windowFolder;
    MeasureWindow("100,000-row CSV", windowFolder.path(), csv);
    MeasureWindow("50 MB hostile vCard", windowFolder.path(), vcard);

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
