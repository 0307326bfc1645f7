// Prints how long a popup takes to be created and filled, and how long it takes
// from an item becoming visible inside an update bracket to its window being
// shown (and painted). Not a test: figures only.
#include "FormTMW.h"
#include "PopupTestSupport.h"
#include "TrayMsgWins.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 100;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

void Report(const char* what, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const double median = (samples[samples.size() / 2] + samples[(samples.size() - 1) / 2]) / 2;
    std::printf("%-48s median %7.3f ms   worst %7.3f ms   (%zu runs)\n", what, median, samples.back(),
                samples.size());
}

void FillLikeACall(TTrayMsgWinItem& item) {
    item.SetWinID(L"K1");
    item.SetTitle(L"ВЫЗОВ");
    item.SetClipboardText(L"84951234567");
    item.Caller.Number = L"74951234567";
    item.Caller.Name = L"Иванов Иван Иванович";
    item.Caller.Region = L"Москва";
    item.Caller.Comment = L"Поставщик оборудования";
    item.UseRichText = true;
}

}  // namespace

int main() {
    TTMWFont font = TTMWFont::Default();

    std::vector<double> createOnly;
    std::vector<double> createAndFill;
    for (int run = 0; run < kRuns; ++run) {
        const Clock::time_point start = Clock::now();
        TTMWForm* form = TTMWForm::Create();
        createOnly.push_back(Milliseconds(Clock::now() - start));
        form->SetBounds(100, 100, 182, 162);
        form->SetTitle(L"ВЫЗОВ");
        form->SetTextFont(font);
        form->ClearInfo();
        form->AddRichInfoLine(L"K1", false);
        form->AddRichInfoLine(L"74951234567", true);
        form->AddRichInfoLine(L"Иванов Иван Иванович", false);
        form->AddRichInfoLine(L"Москва", false);
        form->AddRichInfoLine(L"Поставщик оборудования", false);
        createAndFill.push_back(Milliseconds(Clock::now() - start));
        form->Free();
        popuptest::PumpPending();
    }

    TTrayMsgWins wins;
    wins.TrayMsgAnimate = tmaNone;
    std::vector<double> toShown;
    std::vector<double> toPainted;
    for (int run = 0; run < kRuns; ++run) {
        TTrayMsgWinItem* item = nullptr;
        Clock::time_point start;
        {
            TTrayMsgWinUpdateBracket bracket(wins.Items());
            item = wins.Items().Add();
            FillLikeACall(*item);
            start = Clock::now();
            item->SetVisible(true);
        }
        const TTMWForm* form = wins.FindFormTMW(item);
        if (!form || !::IsWindowVisible(form->Handle())) {
            std::fprintf(stderr, "the popup was not shown\n");
            return 1;
        }
        toShown.push_back(Milliseconds(Clock::now() - start));
        const HWND window = form->Handle();
        popuptest::PumpUntil([window] { return !::GetUpdateRect(window, nullptr, FALSE); }, 2000);
        toPainted.push_back(Milliseconds(Clock::now() - start));
        item->Free();
        popuptest::PumpPending();
    }

    Report("create a popup window (hidden)", createOnly);
    Report("create and fill a popup window", createAndFill);
    Report("item made visible -> window shown", toShown);
    Report("item made visible -> window shown and painted", toPainted);
    return 0;
}
