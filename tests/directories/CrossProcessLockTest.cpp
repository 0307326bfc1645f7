// A table locked by another process: a save waits it out for a while, then
// fails with a clear error that reaches whoever tells the user; a popup's lookup
// never waits long, whatever a save is waiting for meanwhile.
#include <gtest/gtest.h>

#include "CallerLookup.h"
#include "DirectoryTestSupport.h"
#include "HeldLock.h"
#include "SaveDataThreadUnit.h"
#include "TestFolders.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace {

double SecondsOf(auto&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class CrossProcessLockTest : public testing::Test {
protected:
    void SetUp() override {
        MakeCityTable(cities.path(), {{L"7495", L"Москва"}});
        areas.Open();
        subscribers.Open();
        subscribers.AddEditRow(L"74951234567", L"Иванов", L"");
    }
    std::wstring Table() const { return folder.file(L"AbonentPhones.db"); }

    TempFolder cities, folder;
    TTQRDataModule areas{cities.path()};
    TPQRDataModule subscribers{folder.path(), folder.file(L"none")};
    TCallerLookup lookup{areas, subscribers};
};

}  // namespace

TEST_F(CrossProcessLockTest, ALockReleasedWithinTheRetriesIsWaitedOut) {
    for (const wchar_t* mode : {L"reserved", L"exclusive"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(mode)));
        HeldLock lock(Table(), mode, 300);
        ASSERT_TRUE(lock.held());
        const std::wstring number = std::wstring(L"7900000000") + mode[0];
        EXPECT_NO_THROW(lookup.AddEditRow(number, L"Петров", L"после ожидания"));
        EXPECT_EQ(L"Петров", subscribers.AbonentByPhone(number));
    }
}

TEST_F(CrossProcessLockTest, ALockHeldBeyondTheRetriesGivesAClearError) {
    {
        HeldLock lock(Table(), L"reserved", 60000);
        ASSERT_TRUE(lock.held());
        // Readers still get through a pending write.
        std::wstring name, region, comment;
        EXPECT_TRUE(lookup.GetNameRegionCommentByPhoneLocal(L"74951234567", name, region, comment));
        EXPECT_EQ(L"Иванов", name);
        const double seconds = SecondsOf([&] {
            try {
                lookup.AddEditRow(L"74951234567", L"Петров", L"");
                ADD_FAILURE() << "saved under another process's lock";
            } catch (const TableStoreError& error) {
                EXPECT_EQ(TableStoreError::Kind::Locked, error.kind());
                EXPECT_NE(std::wstring::npos, error.message().find(L"AbonentPhones"));
                EXPECT_NE(std::wstring::npos, error.message().find(L"заблокирована"));
            }
        });
        EXPECT_GE(seconds, 1.0);  // it waited before giving up
    }
    {
        HeldLock lock(Table(), L"exclusive", 60000);
        ASSERT_TRUE(lock.held());
        std::wstring name, region, comment;
        EXPECT_FALSE(lookup.GetNameRegionCommentByPhoneLocal(L"74951234567", name, region, comment));
        EXPECT_EQ(L"", name);
        EXPECT_THROW(subscribers.AbonentByPhone(L"74951234567"), TableStoreError);
    }
    // Once released, everything works and nothing was changed by the failures.
    EXPECT_EQ(L"Иванов", subscribers.AbonentByPhone(L"74951234567"));
    lookup.AddEditRow(L"74951234567", L"Петров", L"");
    EXPECT_EQ(L"Петров", subscribers.AbonentByPhone(L"74951234567"));
}

TEST_F(CrossProcessLockTest, ASaveThatCannotGetTheLockReachesTheReporterWithItsNumber) {
    std::mutex mutex;
    std::vector<TSaveFailure> failures;
    {
        HeldLock lock(Table(), L"reserved", 60000);
        ASSERT_TRUE(lock.held());
        TSaveDataThread::Start(
            [this](const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
                lookup.AddEditRow(phone, name, comment);
            },
            L" 74951234567 ", L"Петров", L"", [&](TSaveFailure failure) {
                std::lock_guard guard(mutex);
                failures.push_back(std::move(failure));
            });
        ASSERT_TRUE(WaitForRunningSaves(30000));
    }
    std::lock_guard guard(mutex);
    ASSERT_EQ(1u, failures.size());
    EXPECT_EQ(L"74951234567", failures[0].Phone);
    try {
        std::rethrow_exception(failures[0].Error);
    } catch (const TableStoreError& error) {
        EXPECT_EQ(TableStoreError::Kind::Locked, error.kind());
        EXPECT_NE(std::wstring::npos, error.message().find(L"заблокирована")) << testing::PrintToString(error.message());
    } catch (...) {
        ADD_FAILURE() << "not the store's lock error";
    }
    EXPECT_EQ(L"Иванов", subscribers.AbonentByPhone(L"74951234567"));
}

// Whichever lock the other process holds, and whatever the save waits for
// meanwhile (its write lock, or its commit behind the other process's reader),
// a popup's lookup is answered within its bound. Before, it waited for the
// save's retries (1.5 s) and then for its own.
TEST_F(CrossProcessLockTest, PopupLookupsGoOnWhileASaveWaitsOutTheRetries) {
    struct Case {
        const wchar_t* mode;
        bool found;  // a pending write lets readers through; a commit or an exclusive lock does not
    } cases[] = {{L"reserved", true}, {L"shared", false}, {L"exclusive", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.mode)));
        HeldLock lock(Table(), c.mode, 60000);
        ASSERT_TRUE(lock.held());
        std::thread save([this] {
            try {
                lookup.AddEditRow(L"74951234567", L"Петров", L"");
                ADD_FAILURE() << "saved under another process's lock";
            } catch (const TableStoreError& error) {
                EXPECT_EQ(TableStoreError::Kind::Locked, error.kind());
            }
        });
        // The save is waiting by now.
        ::Sleep(200);
        for (int i = 0; i < 3; ++i) {
            std::wstring name, region, comment;
            bool found = false;
            const double seconds =
                SecondsOf([&] { found = lookup.GetNameRegionCommentByPhone(L"74951234567", name, region, comment); });
            // The bound is 250 ms; the margin is for a busy machine.
            EXPECT_LT(seconds, 1.0);
            EXPECT_EQ(c.found, found);
            EXPECT_EQ(c.found ? L"Иванов" : L"", name);
            EXPECT_EQ(L"Москва", region) << "the city codes are not behind the lock";
        }
        save.join();
    }
    std::wstring name, region, comment;
    EXPECT_TRUE(lookup.GetNameRegionCommentByPhone(L"74951234567", name, region, comment));
    EXPECT_EQ(L"Иванов", name);
}

// The caller-ID events that one polling tick drains look up one after another:
// together they wait for another process's lock once, not once each, so that
// no popup waits behind the others' waits. Before, six lookups took 1.5 s.
TEST_F(CrossProcessLockTest, PopupLookupsOfOneBurstWaitForALockOnceBetweenThem) {
    HeldLock lock(Table(), L"exclusive", 60000);
    ASSERT_TRUE(lock.held());
    const auto popupLookup = [this] {
        std::wstring name, region, comment;
        TLookupFailure failure;
        EXPECT_FALSE(lookup.GetNameRegionCommentByPhone(L"74951234567", name, region, comment, failure));
        EXPECT_EQ(TLookupFailureKind::LocalStoreLocked, failure.Kind);
    };
    const double burst = SecondsOf([&] {
        for (int i = 0; i < 6; ++i) popupLookup();
    });
    EXPECT_GE(burst, 0.2) << "the first lookup waited for the lock";
    EXPECT_LT(burst, 0.75);  // six times 250 ms before; the margin is for a busy machine
    // A lookup after a pause is a new burst: it waits again, so that a short
    // lock is still waited out.
    ::Sleep(3 * TCallerLookup::kPopupBurstGapMs);
    EXPECT_GE(SecondsOf(popupLookup), 0.2);
}

// The region comes from the city codes, which another workstation's lock on
// the subscriber table does not hold: every popup of a burst shows it, the
// first that waited for the lock and those told of the lock at once alike.
// The subscriber's name is then tried again without waiting.
TEST_F(CrossProcessLockTest, UnderALockOnTheSubscriberTablePopupsStillShowTheRegion) {
    HeldLock lock(Table(), L"exclusive", 60000);
    ASSERT_TRUE(lock.held());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        std::wstring name, region, comment;
        TLookupFailure failure;
        EXPECT_FALSE(lookup.GetNameRegionCommentByPhone(L"74951234567", name, region, comment, failure));
        EXPECT_EQ(TLookupFailureKind::LocalStoreLocked, failure.Kind);
        EXPECT_EQ(L"Москва", region);
        EXPECT_EQ(L"", name);
    }

    std::wstring name, comment;
    TLookupFailure failure;
    const double tried = SecondsOf([&] { EXPECT_FALSE(lookup.TrySubscriberNow(L"74951234567", name, comment, failure)); });
    EXPECT_EQ(TLookupFailureKind::LocalStoreLocked, failure.Kind);
    EXPECT_LT(tried, 0.15) << "one try, no wait";
    lock.Release();
    EXPECT_TRUE(lookup.TrySubscriberNow(L"74951234567", name, comment, failure));
    EXPECT_EQ(L"Иванов", name);
    EXPECT_EQ(TLookupFailureKind::None, failure.Kind);
}

TEST_F(CrossProcessLockTest, AnOpenWithADeadlineWaitsForAnotherProcesssLockOnlyUntilIt) {
    subscribers.Close();
    {
        HeldLock lock(Table(), L"exclusive", 60000);
        ASSERT_TRUE(lock.held());
        const double bounded = SecondsOf([&] {
            try {
                subscribers.Open(std::chrono::steady_clock::now() + std::chrono::milliseconds(250));
                ADD_FAILURE() << "opened under another process's exclusive lock";
            } catch (const TableStoreError& error) {
                EXPECT_EQ(TableStoreError::Kind::Locked, error.kind());
            }
        });
        // The store's own retries alone take 1.5 s.
        EXPECT_LT(bounded, 1.0);
        EXPECT_FALSE(subscribers.Active());
    }
    subscribers.Open(std::chrono::steady_clock::now() + std::chrono::milliseconds(250));
    EXPECT_TRUE(subscribers.Active());
    EXPECT_EQ(L"Иванов", subscribers.AbonentByPhone(L"74951234567"));

    // An open table is left alone, whatever holds the file.
    HeldLock lock(Table(), L"exclusive", 60000);
    ASSERT_TRUE(lock.held());
    EXPECT_NO_THROW(subscribers.Open(std::chrono::steady_clock::now()));
    EXPECT_TRUE(subscribers.Active());
}
