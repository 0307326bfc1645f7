#include "OrgDirectoryCache.h"

#include "TestFolders.h"
#include "TextConvert.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

namespace {

std::vector<TOrgDirectoryEntry> People() {
    return {{L"Иванов Иван", L"Инженер, Отдел связи", {L"74951112233", L"2233"}},
            {L"Петрова Анна", L"", {L"79161234567"}},
            // The reception shares a number with Иванов: the first entry keeps it.
            {L"Приёмная", L"Секретарь", {L"2233", L"100"}},
            {L"Без номеров", L"", {}}};
}

void ExpectName(const TOrgDirectoryCache& cache, const std::wstring& number, const std::wstring& name,
                const std::wstring& comment) {
    TOrgName found;
    ASSERT_TRUE(cache.Lookup(number, found)) << testing::PrintToString(number);
    EXPECT_EQ(found.Name, name);
    EXPECT_EQ(found.Comment, comment);
}

TEST(OrgDirectoryCache, ReplacedNamesAreFoundAndSurviveReopening) {
    TempFolder folder;
    const std::wstring path = folder.file(L"user\\OrgDirectory.db");
    {
        TOrgDirectoryCache cache;
        cache.Open(path);
        EXPECT_EQ(cache.Status().CacheTime, 0);
        TOrgName found;
        EXPECT_FALSE(cache.Lookup(L"74951112233", found));
        cache.Replace(People(), 1000, 25, L"source-1");
    }
    TOrgDirectoryCache cache;
    cache.Open(path);
    ExpectName(cache, L"74951112233", L"Иванов Иван", L"Инженер, Отдел связи");
    ExpectName(cache, L"2233", L"Иванов Иван", L"Инженер, Отдел связи");
    ExpectName(cache, L"100", L"Приёмная", L"Секретарь");
    ExpectName(cache, L"79161234567", L"Петрова Анна", L"");
    TOrgName found;
    EXPECT_FALSE(cache.Lookup(L"7495111223", found));
    const TOrgSyncStatus status = cache.Status();
    EXPECT_EQ(status.AttemptTime, 1000);
    EXPECT_EQ(status.CacheTime, 1000);
    EXPECT_EQ(status.DurationMs, 25);
    EXPECT_EQ(status.Entries, 3);
    EXPECT_EQ(status.Numbers, 4);
    EXPECT_FALSE(status.Error);
    EXPECT_EQ(cache.Source(), L"source-1");

    // A new read replaces everything: names gone from the directory go here too.
    cache.Replace({{L"Сидоров", L"Бухгалтер", {L"74959998877"}}}, 2000, 5, L"source-2");
    EXPECT_FALSE(cache.Lookup(L"74951112233", found));
    ExpectName(cache, L"74959998877", L"Сидоров", L"Бухгалтер");
    EXPECT_EQ(cache.Status().Entries, 1);
}

TEST(OrgDirectoryCache, FailedSyncKeepsTheNamesAndTellsWhyAfterReopening) {
    TempFolder folder;
    const std::wstring path = folder.file(L"OrgDirectory.db");
    {
        TOrgDirectoryCache cache;
        cache.Open(path);
        cache.Replace(People(), 1000, 25, L"s");
        const TOrgDirectoryError error{TOrgDirectoryFailure::ServerUnreachable, 0x51, L"ldap://dc1", L"Cannot contact"};
        cache.RecordFailure(error, 5000, 3000);
        ExpectName(cache, L"74951112233", L"Иванов Иван", L"Инженер, Отдел связи");
    }
    TOrgDirectoryCache cache;
    cache.Open(path);
    ExpectName(cache, L"74951112233", L"Иванов Иван", L"Инженер, Отдел связи");
    const TOrgSyncStatus status = cache.Status();
    EXPECT_EQ(status.AttemptTime, 5000);
    EXPECT_EQ(status.DurationMs, 3000);
    EXPECT_EQ(status.CacheTime, 1000);
    EXPECT_EQ(status.Entries, 3);
    EXPECT_EQ(status.Error, (TOrgDirectoryError{TOrgDirectoryFailure::ServerUnreachable, 0x51, L"ldap://dc1",
                                                L"Cannot contact"}));
    // The next good sync clears the error.
    cache.Replace(People(), 6000, 1, L"s");
    EXPECT_FALSE(cache.Status().Error);
}

TEST(OrgDirectoryCache, ReplacementThatCannotBeWrittenLeavesTheOldNames) {
    TempFolder folder;
    const std::wstring path = folder.file(L"OrgDirectory.db");
    TOrgDirectoryCache cache;
    cache.Open(path);
    cache.Replace(People(), 1000, 25, L"s");

    // Another connection holds the write lock longer than the cache waits.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(WideToUtf8(path).c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_THROW(cache.Replace({{L"Сидоров", L"", {L"74959998877"}}}, 2000, 5, L"s"), AppError);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    TOrgName found;
    EXPECT_FALSE(cache.Lookup(L"74959998877", found));
    ExpectName(cache, L"74951112233", L"Иванов Иван", L"Инженер, Отдел связи");
    EXPECT_EQ(cache.Status().CacheTime, 1000);
    TOrgDirectoryCache reopened;
    reopened.Open(path);
    ExpectName(reopened, L"2233", L"Иванов Иван", L"Инженер, Отдел связи");
    EXPECT_FALSE(reopened.Lookup(L"74959998877", found));
}

TEST(OrgDirectoryCache, DamagedFileIsStartedAfresh) {
    TempFolder folder;
    const std::wstring path = folder.file(L"OrgDirectory.db");
    {
        std::ofstream file(path.c_str(), std::ios::binary);
        file << std::string(8192, 'x');
    }
    TOrgDirectoryCache cache;
    ASSERT_NO_THROW(cache.Open(path));
    EXPECT_TRUE(cache.IsOpen());
    cache.Replace(People(), 1000, 25, L"s");
    ExpectName(cache, L"100", L"Приёмная", L"Секретарь");
}

TEST(OrgDirectoryCache, FolderThatCannotBeCreatedIsAnError) {
    TempFolder folder;
    const std::wstring blocker = folder.file(L"file");
    std::ofstream(blocker.c_str()) << "x";
    TOrgDirectoryCache cache;
    EXPECT_THROW(cache.Open(blocker + L"\\OrgDirectory.db"), AppError);
    EXPECT_FALSE(cache.IsOpen());
    EXPECT_THROW(cache.Replace(People(), 1, 1, L"s"), AppError);
}

}  // namespace
