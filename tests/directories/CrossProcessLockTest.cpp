// A table locked by another process: waited out for a while, then a clear error.
#include <gtest/gtest.h>

#include "CallerLookup.h"
#include "DirectoryTestSupport.h"
#include "HeldLock.h"
#include "TestFolders.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <chrono>

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
        subscribers.SetErrorReporter(errors.reporter());
        subscribers.Open();
        subscribers.AddEditRow(L"74951234567", L"Иванов", L"");
    }
    std::wstring Table() const { return folder.file(L"AbonentPhones.db"); }

    TempFolder cities, folder;
    CapturedErrors errors;
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
        EXPECT_TRUE(errors.messages().empty());
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
    EXPECT_TRUE(errors.messages().empty());
    EXPECT_EQ(L"Иванов", subscribers.AbonentByPhone(L"74951234567"));
    lookup.AddEditRow(L"74951234567", L"Петров", L"");
    EXPECT_EQ(L"Петров", subscribers.AbonentByPhone(L"74951234567"));
}
