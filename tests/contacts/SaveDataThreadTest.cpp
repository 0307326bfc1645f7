// The background save: trimming, its own thread, failures handed over with
// their number, many saves beside lookups on the same store, the bounded wait
// at exit, and the queue that carries failures to the window that shows them.
#include <gtest/gtest.h>

#include "AppError.h"
#include "FakeSubscriberStore.h"
#include "SaveDataThreadUnit.h"
#include "SaveFailureQueue.h"
#include "TextTrim.h"
#include "UniqueHandle.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

using contactstest::FakeSubscriberStore;

namespace {

constexpr DWORD kGenerousWaitMs = 30000;

class SaveDataThreadTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(WaitForRunningSaves(kGenerousWaitMs)); }
};

TEST(TrimControlCharsTest, DropsOnlyLeadingAndTrailingCharactersUpToCode32) {
    struct Case {
        const wchar_t* text;
        const wchar_t* trimmed;
    };
    const Case cases[] = {
        {L"", L""},
        {L" \t\r\n", L""},
        {L"Иван Петров", L"Иван Петров"},
        {L"  Иван  Петров \t", L"Иван  Петров"},
        {L"  строка1\r\nстрока2  \r\n", L"строка1\r\nстрока2"},
        {L"\x01\x1F x \x7F", L"x \x7F"},   // DEL is above 32
        {L"\xA0x\xA0", L"\xA0x\xA0"},      // so is the no-break space
        {L"!", L"!"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.trimmed, TrimControlChars(c.text)) << "text: [" << c.text << "]";
    // A NUL is code 0, also inside a counted string.
    EXPECT_EQ(L"a", TrimControlChars(std::wstring(L"\0a\0", 3)));
}

TEST_F(SaveDataThreadTest, StoresTheTrimmedTextsOnAThreadOfItsOwn) {
    FakeSubscriberStore store;
    TSaveDataThread::Start(store.Saver(), L" 79161234567\r\n", L"\tИван ", L"  строка1\r\nстрока2  \r\n");
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));

    const auto saves = store.Saves();
    ASSERT_EQ(1u, saves.size());
    EXPECT_EQ(L"79161234567", saves[0].phone);
    EXPECT_EQ(L"Иван", saves[0].name);
    EXPECT_EQ(L"строка1\r\nстрока2", saves[0].comment);
    EXPECT_NE(::GetCurrentThreadId(), saves[0].threadId);
    EXPECT_EQ(0, RunningSaveCount());
}

TEST_F(SaveDataThreadTest, EveryFailureIsHandedOverWithItsNumberAndEndsTheThread) {
    struct Case {
        const wchar_t* phone;
        TAddEditRowProc save;
        const wchar_t* reason;  // what the handed-over error says; nullptr: not an exception class
    } cases[] = {
        {L"1", [](auto&, auto&, auto&) { throw AppError(L"Таблица закрыта"); }, L"Таблица закрыта"},
        {L"2", [](auto&, auto&, auto&) { throw std::runtime_error("socket"); }, L"socket"},
        {L"3", [](auto&, auto&, auto&) { throw 42; }, nullptr},
    };
    std::mutex mutex;
    std::vector<TSaveFailure> failures;
    const TSaveFailedProc collect = [&](TSaveFailure failure) {
        std::lock_guard lock(mutex);
        failures.push_back(std::move(failure));
    };
    for (const Case& c : cases) TSaveDataThread::Start(c.save, std::wstring(L" ") + c.phone + L"\r\n", L"n", L"c", collect);
    // Nothing to store with: nothing fails, nothing is told.
    TSaveDataThread::Start(TAddEditRowProc(), L"4", L"n", L"c", collect);
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    EXPECT_EQ(0, RunningSaveCount());

    std::lock_guard lock(mutex);
    ASSERT_EQ(std::size(cases), failures.size());
    std::sort(failures.begin(), failures.end(), [](auto& a, auto& b) { return a.Phone < b.Phone; });
    for (size_t i = 0; i < failures.size(); ++i) {
        EXPECT_EQ(cases[i].phone, failures[i].Phone);
        try {
            std::rethrow_exception(failures[i].Error);
        } catch (const AppError& error) {
            EXPECT_EQ(cases[i].reason, error.message());
        } catch (const std::exception& error) {
            EXPECT_EQ(cases[i].reason, std::wstring(error.what(), error.what() + std::strlen(error.what())));
        } catch (int) {
            EXPECT_EQ(nullptr, cases[i].reason);
        }
    }

    // The process and the save machinery go on working.
    FakeSubscriberStore store;
    TSaveDataThread::Start(store.Saver(), L"2", L"n", L"c");
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    EXPECT_EQ(1, store.Writes(L"2"));
}

TEST_F(SaveDataThreadTest, ManySavesBesideLookupsAreEachStoredOnce) {
    FakeSubscriberStore store;
    constexpr int kSaves = 50;
    auto phone = [](int i) { return L"7916000" + std::to_wstring(1000 + i); };
    // The saves run while this thread keeps looking numbers up in the same store.
    for (int i = 0; i < kSaves; ++i)
        TSaveDataThread::Start(
            [&store](const std::wstring& p, const std::wstring& n, const std::wstring& c) {
                std::wstring name, comment;
                store.Lookup(p, name, comment);
                store.AddEditRow(p, n, c);
            },
            phone(i), L"Абонент " + std::to_wstring(i), L"комментарий\r\n" + std::to_wstring(i));
    // At least one lookup: on a busy machine every save may be done before the
    // first look at the running count.
    int lookups = 0;
    do {
        std::wstring name, comment;
        store.Lookup(phone(lookups % kSaves), name, comment);
        ++lookups;
    } while (RunningSaveCount() > 0);
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));

    EXPECT_GT(lookups, 0);
    ASSERT_EQ(static_cast<size_t>(kSaves), store.Size());
    EXPECT_EQ(static_cast<size_t>(kSaves), store.Saves().size());
    for (int i = 0; i < kSaves; ++i) {
        EXPECT_EQ(1, store.Writes(phone(i))) << i;
        std::wstring name, comment;
        ASSERT_TRUE(store.Lookup(phone(i), name, comment));
        EXPECT_EQ(L"Абонент " + std::to_wstring(i), name);
        EXPECT_EQ(L"комментарий\r\n" + std::to_wstring(i), comment);
    }
}

TEST_F(SaveDataThreadTest, TheExitWaitLetsASlowSaveFinishAndReleaseItsSaver) {
    FakeSubscriberStore store;
    // Whatever the saver holds is released before the wait reports the save ended.
    auto held = std::make_shared<int>(0);
    TSaveDataThread::Start(
        [&store, held](const std::wstring& p, const std::wstring& n, const std::wstring& c) {
            ::Sleep(300);
            store.AddEditRow(p, n, c);
        },
        L"79161234567", L"Иван", L"");
    EXPECT_EQ(1, RunningSaveCount());

    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    EXPECT_EQ(1, store.Writes(L"79161234567"));
    EXPECT_EQ(1, held.use_count());
}

TEST_F(SaveDataThreadTest, AHungSaveIsAbandonedAfterTheBound) {
    UniqueKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(release);
    FakeSubscriberStore store;
    const HANDLE event = release.get();
    TSaveDataThread::Start(
        [&store, event](const std::wstring& p, const std::wstring& n, const std::wstring& c) {
            ::WaitForSingleObject(event, INFINITE);
            store.AddEditRow(p, n, c);
        },
        L"1", L"n", L"c");

    const ULONGLONG started = ::GetTickCount64();
    EXPECT_FALSE(WaitForRunningSaves(300));
    // The tick counter's granularity is about 16 ms.
    EXPECT_GE(::GetTickCount64() - started, 250u);
    EXPECT_EQ(1, RunningSaveCount());
    EXPECT_EQ(0, store.Writes(L"1"));
    EXPECT_FALSE(WaitForRunningSaves(0));

    ::SetEvent(event);
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    EXPECT_EQ(1, store.Writes(L"1"));
}

TEST_F(SaveDataThreadTest, RunningSavesAreKnownByTheirNumbersUntilTheyEnd) {
    UniqueKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE event = release.get();
    const TAddEditRowProc waiting = [event](auto&, auto&, auto&) { ::WaitForSingleObject(event, INFINITE); };
    TSaveDataThread::Start(waiting, L" 79161234567", L"n", L"c");
    TSaveDataThread::Start(waiting, L"74951234567\t", L"n", L"c");
    std::vector<std::wstring> phones = RunningSavePhones();
    std::sort(phones.begin(), phones.end());
    EXPECT_EQ((std::vector<std::wstring>{L"74951234567", L"79161234567"}), phones);
    ::SetEvent(event);
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    EXPECT_TRUE(RunningSavePhones().empty());
}

// A message-only window that counts the messages it is posted.
class CountingWindow {
public:
    CountingWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"KordavinSaveFailureTest";
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    }
    ~CountingWindow() { ::DestroyWindow(window_); }
    HWND handle() const { return window_; }
    // Removes and counts the posted messages of this kind.
    int Take(UINT message) {
        int count = 0;
        MSG msg;
        while (::PeekMessageW(&msg, window_, message, message, PM_REMOVE)) ++count;
        return count;
    }

private:
    HWND window_ = nullptr;
};

TEST_F(SaveDataThreadTest, FailuresReachTheWindowsThreadInOrderAndNoneIsPostedAfterDetach) {
    CountingWindow window;
    ASSERT_TRUE(window.handle());
    const UINT message = ::RegisterWindowMessageW(L"KordavinSaveFailureTest.Failed");
    auto queue = std::make_shared<TSaveFailureQueue>(window.handle(), message);
    const TAddEditRowProc failing = [](auto&, auto&, auto&) { throw AppError(L"нет"); };
    TSaveDataThread::Start(failing, L"1", L"n", L"c", TSaveFailureQueue::Receiver(queue));
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    TSaveDataThread::Start(failing, L"2", L"n", L"c", TSaveFailureQueue::Receiver(queue));
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    EXPECT_EQ(2, window.Take(message));
    EXPECT_EQ(L"1", queue->Take().value().Phone);
    EXPECT_EQ(L"2", queue->Take().value().Phone);
    EXPECT_FALSE(queue->Take());

    // The window is going: a save that fails later is kept for the exit's report, not posted.
    queue->Detach();
    TSaveDataThread::Start(failing, L"3", L"n", L"c", TSaveFailureQueue::Receiver(queue));
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    EXPECT_EQ(0, window.Take(message));
    EXPECT_EQ(L"3", queue->Take().value().Phone);
}

TEST_F(SaveDataThreadTest, WaitingWithNoSaveRunningReturnsAtOnce) {
    EXPECT_TRUE(WaitForRunningSaves(0));
    EXPECT_TRUE(WaitForRunningSaves(INFINITE));
}

}  // namespace
