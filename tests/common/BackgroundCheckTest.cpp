// The windows' background checks: results come by message to a window that is
// still there, a cancel never waits, and nothing reaches a window after it.
#include "BackgroundCheck.h"
#include "MessagePump.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr UINT kDone = WM_APP + 7;

// A message-only window that counts the check's messages.
class TCountingWindow {
public:
    TCountingWindow() {
        WNDCLASSW type{};
        type.lpfnWndProc = &TCountingWindow::Proc;
        type.hInstance = ::GetModuleHandleW(nullptr);
        type.lpszClassName = L"KordavinBackgroundCheckTest";
        ::RegisterClassW(&type);
        FWindow.reset(::CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        type.hInstance, nullptr));
        ::SetWindowLongPtrW(FWindow.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&FCount));
    }
    HWND get() const { return FWindow.get(); }
    int Count() const { return FCount; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kDone) ++*reinterpret_cast<int*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    int FCount = 0;
    UniqueWindow FWindow;
};

// What a job blocked in a call that cannot be cut short waits for.
struct TGate {
    UniqueKernelHandle Open{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> Ended{false};
};

TEST(BackgroundCheck, TheResultComesByMessageOnceAndANewCheckMayThenStart) {
    TCountingWindow window;
    TBackgroundCheck<std::wstring> check;
    ASSERT_TRUE(check.Start([](std::stop_token) { return std::wstring(L"найдено"); }, window.get(), kDone));
    ASSERT_TRUE(PumpUntil([&] { return window.Count() == 1; }, 3000));
    EXPECT_FALSE(check.Running());
    EXPECT_EQ(check.Take(), std::optional<std::wstring>(L"найдено"));
    EXPECT_EQ(check.Take(), std::nullopt) << "taken once";

    // While one runs, another does not start.
    auto gate = std::make_shared<TGate>();
    ASSERT_TRUE(check.Start(
        [gate](std::stop_token) {
            ::WaitForSingleObject(gate->Open.get(), 3000);
            return std::wstring(L"второй");
        },
        window.get(), kDone));
    EXPECT_TRUE(check.Running());
    EXPECT_FALSE(check.Start([](std::stop_token) { return std::wstring(L"третий"); }, window.get(), kDone));
    EXPECT_EQ(check.Take(), std::nullopt) << "nothing while it runs";
    ::SetEvent(gate->Open.get());
    ASSERT_TRUE(PumpUntil([&] { return window.Count() == 2; }, 3000));
    EXPECT_EQ(check.Take(), std::optional<std::wstring>(L"второй"));
}

TEST(BackgroundCheck, CancelNeverWaitsAndNothingArrivesAfterIt) {
    TCountingWindow window;
    TBackgroundCheck<int> check;
    // One job polls its stop token, the other is stuck where no token reaches.
    std::atomic<bool> sawStop{false};
    ASSERT_TRUE(check.Start(
        [&sawStop](std::stop_token stop) {
            for (int i = 0; i < 300 && !stop.stop_requested(); ++i) ::Sleep(10);
            sawStop = stop.stop_requested();
            return 1;
        },
        window.get(), kDone));
    check.Cancel();
    EXPECT_FALSE(check.Running());
    EXPECT_TRUE(PumpUntil([&] { return sawStop.load(); }, 3000)) << "the job is told to stop";

    auto stuck = std::make_shared<TGate>();
    ASSERT_TRUE(check.Start(
        [stuck](std::stop_token) {
            ::WaitForSingleObject(stuck->Open.get(), 10000);
            stuck->Ended = true;
            return 2;
        },
        window.get(), kDone));
    const auto before = std::chrono::steady_clock::now();
    check.Cancel();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1)) << "cancel waited for the job";

    // A new check starts at once; the abandoned one, ending later, never reaches it or the window.
    ASSERT_TRUE(check.Start([](std::stop_token) { return 3; }, window.get(), kDone));
    ASSERT_TRUE(PumpUntil([&] { return window.Count() == 1; }, 3000));
    ::SetEvent(stuck->Open.get());
    ASSERT_TRUE(PumpUntil([&] { return stuck->Ended.load(); }, 3000));
    PumpFor(100);
    EXPECT_EQ(window.Count(), 1);
    EXPECT_EQ(check.Take(), std::optional<int>(3));
}

TEST(BackgroundCheck, AJobsExceptionEndsAsTheGivenResult) {
    TCountingWindow window;
    TBackgroundCheck<int> check;
    ASSERT_TRUE(check.Start([](std::stop_token) -> int { throw std::runtime_error("lost"); }, window.get(), kDone,
                            -1));
    ASSERT_TRUE(PumpUntil([&] { return window.Count() == 1; }, 3000));
    EXPECT_EQ(check.Take(), std::optional<int>(-1));
}

TEST(BackgroundCheck, AWindowGoneFirstGetsNothing) {
    auto gate = std::make_shared<TGate>();
    {
        TCountingWindow window;
        TBackgroundCheck<int> check;
        ASSERT_TRUE(check.Start(
            [gate](std::stop_token) {
                ::WaitForSingleObject(gate->Open.get(), 3000);
                gate->Ended = true;
                return 1;
            },
            window.get(), kDone));
        // The check goes with its window, as a dialog's member does.
    }
    ::SetEvent(gate->Open.get());
    EXPECT_TRUE(PumpUntil([&] { return gate->Ended.load(); }, 3000));
}

}  // namespace
