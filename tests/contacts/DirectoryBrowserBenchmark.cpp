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

    const double openStart = NowMs();
    const HWND browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), source);
    PumpPending();
    ::UpdateWindow(browser);
    std::printf("Directory window, %d rows\n", kRows);
    std::printf("open and show the whole list: %.1f ms\n", NowMs() - openStart);

    const HWND search = ::GetDlgItem(browser, IDC_DIRBROWSER_SEARCH);
    const HWND list = ::GetDlgItem(browser, IDC_DIRBROWSER_LIST);
    ::SendMessageW(browser, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(search), TRUE);
    std::vector<double> all;
    // Each text is typed one character at a time and then erased again.
    for (const wchar_t* text : {L"74951234", L"иванов абонент 12", L"smith", L"нет такого"}) {
        std::printf("typing \"%s\":", WideToUtf8(text).c_str());
        for (const wchar_t* c = text; *c; ++c) {
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
    std::sort(all.begin(), all.end());
    std::printf("keystroke to filtered list: median %.1f ms, worst %.1f ms over %zu keystrokes (target under 100 ms)\n",
                all[all.size() / 2], all.back(), all.size());
    TDirectoryBrowserForm::CloseAll();
    PumpPending();
    return 0;
}
