// Prints, for a directory of 100,000 rows, how long the directory window takes
// from a keystroke in its search box to the filtered list painted on the
// screen, through the real window. Not a test: it only reports figures (the
// import and export of the same size are ImportBenchmark's).
#include "BenchmarkClock.h"
#include "ControlsStartup.h"
#include "DirectoryBrowserForm.h"
#include "DirectoryBrowserRes.h"
#include "DirectoryBulk.h"
#include "MessagePump.h"
#include "TestFolders.h"
#include "TextConvert.h"

#include <commctrl.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRows = 100000;

double NowMs() { return NowMicroseconds() / 1000.0; }

void FillDirectory(const std::wstring& folder) {
    const wchar_t* const surnames[] = {L"Иванов", L"Петров", L"Сидорова", L"Кузнецов", L"Ёлкина", L"Smith"};
    ImportPreview preview;
    for (int i = 0; i < kRows; ++i) {
        ImportRow row;
        row.phone = L"7495" + std::to_wstring(1000000 + i);
        row.name = std::wstring(surnames[i % 6]) + L" Абонент " + std::to_wstring(i);
        row.comment = i % 10 == 0 ? L"заказ" : L"";
        preview.rows.push_back(std::move(row));
    }
    preview.newCount = preview.rows.size();
    ApplyImport(folder, preview);
}

}  // namespace

int main() {
    EnsureCommonControls();
    TempFolder folder;
    FillDirectory(folder.path());
    TDirectorySource source;
    source.AbonentPhoneDir = folder.path();
    source.CityCodesDir = folder.file(L"none");

    // Where an opening's time goes, step by step, outside the window.
    {
        double start = NowMs();
        const std::vector<DirectoryRow> rows = ReadDirectoryRows(folder.path());
        const double read = NowMs() - start;
        start = NowMs();
        const DirectorySearch search(rows);
        const double prepare = NowMs() - start;
        start = NowMs();
        const std::size_t all = search.Find(L"").size();
        const double findAll = NowMs() - start;
        std::printf("read the table: %.1f ms; prepare the search: %.1f ms; the empty search (%zu rows): %.1f ms\n",
                    read, prepare, all, findAll);
    }

    const double openStart = NowMs();
    const HWND browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), source);
    PumpPending();
    ::UpdateWindow(browser);
    const double shown = NowMs() - openStart;
    // The rows are read beside the window: the list fills when they are there.
    PumpUntil([] { return !TDirectoryBrowserForm::Current()->Loading(); }, 60000);
    ::UpdateWindow(browser);
    std::printf("Directory window, %d rows\n", kRows);
    std::printf("open: the window on the screen, reading: %.1f ms (target at most 200 ms)\n", shown);
    std::printf("open: the whole list shown: %.1f ms\n", NowMs() - openStart);

    const HWND search = ::GetDlgItem(browser, IDC_DIRBROWSER_SEARCH);
    const HWND list = ::GetDlgItem(browser, IDC_DIRBROWSER_LIST);
    ::SendMessageW(browser, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(search), TRUE);
    // The search alone, for comparison: what the window adds is the list's update and painting.
    const DirectorySearch searchAlone(ReadDirectoryRows(folder.path()));
    std::vector<double> all, searchOnly;
    // Each text is typed one character at a time and then erased again.
    for (const wchar_t* text : {L"74951234", L"иванов абонент 12", L"smith", L"нет такого"}) {
        std::printf("typing \"%s\":", WideToUtf8(text).c_str());
        for (const wchar_t* c = text; *c; ++c) {
            const double searchStart = NowMs();
            (void)searchAlone.Find(std::wstring(text, static_cast<size_t>(c - text + 1)));
            searchOnly.push_back(NowMs() - searchStart);
            const double start = NowMs();
            ::PostMessageW(search, WM_CHAR, *c, 1);
            PumpPending();
            ::UpdateWindow(list);
            const double ms = NowMs() - start;
            all.push_back(ms);
            std::printf(" %.1f", ms);
        }
        std::printf(" ms; %d rows shown\n", ListView_GetItemCount(list));
        ::SetWindowTextW(search, L"");
        PumpPending();
    }
    // A repaint of the full list with nothing changed: the part of a keystroke that is drawing.
    std::vector<double> paintOnly;
    for (int i = 0; i < 10; ++i) {
        const double start = NowMs();
        ::InvalidateRect(list, nullptr, TRUE);
        ::UpdateWindow(list);
        paintOnly.push_back(NowMs() - start);
    }
    std::sort(paintOnly.begin(), paintOnly.end());
    // The window's filtering without any drawing: the text set, the search run and the list told its new size.
    std::vector<double> filterOnly;
    for (const wchar_t* text : {L"и", L"иван", L"smith", L"нет", L"7495", L""}) {
        const double start = NowMs();
        ::SetWindowTextW(search, text);
        filterOnly.push_back(NowMs() - start);
        PumpPending();
        ::UpdateWindow(list);
    }
    std::sort(filterOnly.begin(), filterOnly.end());
    // The list control's own share: telling it a new number of rows (it ends at the whole list again).
    double setCount = 0;
    for (int i = 0; i < 4; ++i) {
        const double start = NowMs();
        ListView_SetItemCountEx(list, i % 2 ? kRows : 3970, LVSICF_NOSCROLL);
        setCount += NowMs() - start;
    }
    std::printf("the list control told a new row count: %.1f ms on average\n", setCount / 4);
    std::printf("the window's filtering without drawing: median %.1f ms, worst %.1f ms\n",
                filterOnly[filterOnly.size() / 2], filterOnly.back());
    std::printf("a repaint of the list alone: median %.1f ms\n", paintOnly[paintOnly.size() / 2]);
    std::sort(all.begin(), all.end());
    std::sort(searchOnly.begin(), searchOnly.end());
    std::printf("the search alone: median %.1f ms, worst %.1f ms\n", searchOnly[searchOnly.size() / 2],
                searchOnly.back());
    std::printf("keystroke to filtered list: median %.1f ms, worst %.1f ms over %zu keystrokes (target at most 50 ms)\n",
                all[all.size() / 2], all.back(), all.size());
    TDirectoryBrowserForm::CloseAll();
    PumpPending();
    return 0;
}
