#include "SqlDirectory.h"

#include "DirectoryTextLimit.h"
#include "FakeSqlServer.h"
#include "PathText.h"
#include "SqlChangeAuthor.h"
#include "SqlChanges.h"
#include "SqlReadMarks.h"
#include "SqlSyncStore.h"
#include "TestFolders.h"
#include "UniqueHandle.h"
#include "pqrUnit.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

TSqlDirectorySettings Settings(const std::wstring& table = L"KordavinAbonentPhones") {
    TSqlDirectorySettings settings;
    settings.Connection = L"Driver={Fake};Server=127.0.0.1;Database=phones;Uid=informer;";
    settings.Password = L"secret";
    settings.Table = table;
    // The tests wake the sync themselves.
    settings.SyncSeconds = 3600;
    return settings;
}

TSqlDirectoryOptions FastRetries() {
    TSqlDirectoryOptions options;
    options.MaxRetrySeconds = 1;
    return options;
}

// One workstation: its own replica folder, a connection to the shared fake table.
struct TWorkstation {
    TWorkstation(const std::wstring& root, std::shared_ptr<TFakeSqlTable> table,
                 TSqlDirectoryOptions options = FastRetries(), TSqlDirectorySettings settings = Settings())
        : Directory(
              root, [table](const TSqlDirectorySettings&) { return std::make_unique<TFakeSqlServer>(table); },
              options) {
        Directory.Apply(settings);
    }
    TSqlDirectory Directory;
};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

// Waits for a good sync after now: `before` is the status's last good sync time seen before asking.
bool WaitForSync(TSqlDirectory& directory, int64_t before = -1) {
    return WaitFor([&] {
        const TSqlDirectoryStatus status = directory.Status();
        return status.LastSyncUnixMs != 0 && status.LastSyncUnixMs != before && !status.LastError;
    });
}

// Asks for a sync and waits until one has run after the ask.
bool SyncNowAndWait(TSqlDirectory& directory) {
    const uint64_t readsBefore = directory.Status().RowsRead;
    const int64_t before = directory.Status().LastSyncUnixMs;
    // The time has millisecond steps: two syncs may end within one.
    const unsigned fullBefore = directory.Status().FullReads;
    directory.SyncNow();
    return WaitFor([&] {
        const TSqlDirectoryStatus status = directory.Status();
        return status.LastSyncUnixMs > before || status.RowsRead != readsBefore || status.FullReads != fullBefore;
    });
}

// What a popup finds: a subscriber-directory module opened on the replica.
struct TLookup {
    explicit TLookup(const std::wstring& folder, const std::wstring& oldFolder) : Module(folder, oldFolder) {
        Module.Open();
    }
    std::pair<std::wstring, std::wstring> operator()(const std::wstring& phone) {
        std::wstring name, comment;
        Module.AbonentAndCommentByPhone(phone, name, comment, std::chrono::steady_clock::now() + 2s);
        return {name, comment};
    }
    TPQRDataModule Module;
};

std::pair<std::wstring, std::wstring> Found(const std::wstring& name, const std::wstring& comment = {}) {
    return {name, comment};
}

// A workstation's worker lets go of its files shortly after Stop.
bool DeleteWhenFree(const std::wstring& path) {
    return WaitFor([&] { return ::DeleteFileW(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND; });
}

bool OverwriteWithGarbage(const std::wstring& path) {
    return WaitFor([&] {
        UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!file.valid()) return false;
        const std::string garbage(4096, 'x');
        DWORD written = 0;
        return ::WriteFile(file.get(), garbage.data(), static_cast<DWORD>(garbage.size()), &written, nullptr) != 0;
    });
}

TEST(SqlDirectory, NamesFromTheServerReachLookupsAndLaterStartsReadOnlyChanges) {
    TempFolder root;
    auto table = std::make_shared<TFakeSqlTable>();
    table->Put(L"74951112233", L"Иванов Иван «Ёлка»", L"Отдел связи");
    table->Put(L"79161234567", L"Петрова Анна");
    table->Put(L"100", L"Удалённый");
    table->Remove(L"100");
    TSqlDirectoryOptions exact = FastRetries();
    // Nothing read again, so that the second start's read is exactly the new rows.
    exact.OverlapStamps = 0;
    exact.CommitLagMs = 0;
    {
        TWorkstation first(root.path(), table, exact);
        ASSERT_TRUE(WaitForSync(first.Directory));
        const TSqlDirectoryStatus status = first.Directory.Status();
        EXPECT_EQ(status.FullReads, 1u);
        EXPECT_EQ(status.Rows, 2u);
        EXPECT_TRUE(status.Enabled);
        EXPECT_EQ(first.Directory.ReplicaFolder(), TSqlDirectory::ReplicaFolderFor(root.path(), Settings()));
        TLookup lookup(first.Directory.ReplicaFolder(), root.file(L"old"));
        EXPECT_EQ(lookup(L"74951112233"), Found(L"Иванов Иван «Ёлка»", L"Отдел связи"));
        EXPECT_EQ(lookup(L"79161234567"), Found(L"Петрова Анна"));
        EXPECT_EQ(lookup(L"100"), Found(L""));
    }
    EXPECT_EQ(table->FullReads(), 1);
    table->Put(L"200", L"Новый");
    table->Put(L"79161234567", L"Петрова Анна Сергеевна");
    const int64_t rowsBefore = table->RowsRead();
    TWorkstation again(root.path(), table, exact);
    ASSERT_TRUE(WaitForSync(again.Directory));
    EXPECT_EQ(again.Directory.Status().FullReads, 0u);
    EXPECT_EQ(table->FullReads(), 1);
    EXPECT_EQ(table->RowsRead() - rowsBefore, 2);
    EXPECT_EQ(again.Directory.Status().Rows, 3u);
    TLookup lookup(again.Directory.ReplicaFolder(), root.file(L"old"));
    EXPECT_EQ(lookup(L"200"), Found(L"Новый"));
    EXPECT_EQ(lookup(L"79161234567"), Found(L"Петрова Анна Сергеевна"));
}

TEST(SqlDirectory, EachTableHasAReplicaOfItsOwnAndTheStatusIsTold) {
    TempFolder root;
    auto first = std::make_shared<TFakeSqlTable>();
    auto second = std::make_shared<TFakeSqlTable>();
    first->Put(L"1", L"Из первой");
    second->Put(L"1", L"Из второй");
    TSqlDirectory directory(root.path(), [&](const TSqlDirectorySettings& settings) {
        return std::make_unique<TFakeSqlServer>(settings.Table == L"First" ? first : second);
    });
    std::atomic<int> told{0};
    directory.SetOnStatusChanged([&told] { ++told; });
    directory.Apply(Settings(L"First"));
    ASSERT_TRUE(WaitForSync(directory));
    EXPECT_GT(told.load(), 0);
    const std::wstring firstFolder = directory.ReplicaFolder();
    directory.Apply(Settings(L"Second"));
    ASSERT_TRUE(WaitForSync(directory));
    EXPECT_NE(directory.ReplicaFolder(), firstFolder);
    EXPECT_EQ(directory.Status().FullReads, 1u);
    EXPECT_EQ(TLookup(directory.ReplicaFolder(), root.file(L"old"))(L"1"), Found(L"Из второй"));
    // Back to the first table: its replica is still good, so only changes are read.
    directory.Apply(Settings(L"First"));
    ASSERT_TRUE(WaitForSync(directory));
    EXPECT_EQ(directory.ReplicaFolder(), firstFolder);
    EXPECT_EQ(directory.Status().FullReads, 0u);
    EXPECT_EQ(TLookup(directory.ReplicaFolder(), root.file(L"old"))(L"1"), Found(L"Из первой"));
}

TEST(SqlDirectory, AReplicaThatCannotBeTrustedIsReadInFull) {
    struct TCase {
        const char* what;
        std::function<void(const std::wstring& folder)> spoil;
    };
    const TCase cases[] = {
        {"damaged table file",
         [](const std::wstring& folder) { ASSERT_TRUE(OverwriteWithGarbage(JoinPath(folder, L"AbonentPhones.db"))); }},
        {"state of another table",
         [](const std::wstring& folder) {
             TSqlSyncStore store(JoinPath(folder, L"SqlSync.sqlite"));
             TSqlSyncState state = store.ReadState();
             state.Source = L"Driver={Fake};" + std::wstring(1, L'\x1f') + L"OtherTable";
             store.WriteState(state);
         }},
        {"state file gone",
         [](const std::wstring& folder) { ASSERT_TRUE(DeleteWhenFree(JoinPath(folder, L"SqlSync.sqlite"))); }},
        {"damaged state file",
         [](const std::wstring& folder) { ASSERT_TRUE(OverwriteWithGarbage(JoinPath(folder, L"SqlSync.sqlite"))); }},
        {"table file gone",
         [](const std::wstring& folder) { ASSERT_TRUE(DeleteWhenFree(JoinPath(folder, L"AbonentPhones.db"))); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder root;
        auto table = std::make_shared<TFakeSqlTable>();
        table->Put(L"111", L"Первый");
        table->Put(L"222", L"Второй");
        std::wstring folder;
        {
            TWorkstation first(root.path(), table);
            ASSERT_TRUE(WaitForSync(first.Directory));
            folder = first.Directory.ReplicaFolder();
        }
        // A row the server no longer has must go with the full read.
        table->Remove(L"222");
        c.spoil(folder);
        TWorkstation again(root.path(), table);
        ASSERT_TRUE(WaitForSync(again.Directory)) << testing::PrintToString(again.Directory.Status().ReplicaError);
        EXPECT_EQ(again.Directory.Status().FullReads, 1u);
        EXPECT_EQ(again.Directory.Status().Rows, 1u);
        TLookup lookup(folder, root.file(L"old"));
        EXPECT_EQ(lookup(L"111"), Found(L"Первый"));
        EXPECT_EQ(lookup(L"222"), Found(L""));
    }
}

TEST(SqlDirectory, AFullReadWhileALookupHoldsTheTableBringsItIntoStep) {
    TempFolder root;
    auto table = std::make_shared<TFakeSqlTable>();
    table->Put(L"111", L"Первый");
    std::wstring folder;
    {
        TWorkstation first(root.path(), table);
        ASSERT_TRUE(WaitForSync(first.Directory));
        folder = first.Directory.ReplicaFolder();
        first.Directory.Save(Change(L"333", L"Только здесь"));
        ASSERT_TRUE(WaitFor([&] { return first.Directory.Status().Waiting == 0; }));
    }
    table->Remove(L"333");
    table->Put(L"444", L"Четвёртый");
    ASSERT_TRUE(DeleteWhenFree(JoinPath(folder, L"SqlSync.sqlite")));
    TLookup lookup(folder, root.file(L"old"));
    ASSERT_EQ(lookup(L"333"), Found(L"Только здесь"));
    TWorkstation again(root.path(), table);
    ASSERT_TRUE(WaitForSync(again.Directory));
    EXPECT_EQ(again.Directory.Status().FullReads, 1u);
    EXPECT_EQ(lookup(L"111"), Found(L"Первый"));
    EXPECT_EQ(lookup(L"333"), Found(L""));
    EXPECT_EQ(lookup(L"444"), Found(L"Четвёртый"));
}

TEST(SqlDirectory, SavesWaitWhileTheServerIsDownAndArriveInOrderOnceAcrossARestart) {
    TempFolder root;
    auto table = std::make_shared<TFakeSqlTable>();
    table->Put(L"111", L"Первый");
    table->Put(L"222", L"Второй");
    std::wstring folder;
    {
        TWorkstation first(root.path(), table);
        ASSERT_TRUE(WaitForSync(first.Directory));
        folder = first.Directory.ReplicaFolder();
        table->SetDown(true);
        first.Directory.Save(Change(L"333", L"Третий", L"до"));
        first.Directory.Save(Change(L"333", L"Третий", L"после"));
        first.Directory.Save(Deletion(L"222"));
        ASSERT_TRUE(WaitFor([&] { return first.Directory.Status().LastError.Kind == TSqlErrorKind::Unreachable; }));
        EXPECT_EQ(first.Directory.Status().Waiting, 3u);
        TLookup lookup(folder, root.file(L"old"));
        EXPECT_EQ(lookup(L"111"), Found(L"Первый"));
        EXPECT_EQ(lookup(L"222"), Found(L""));
        EXPECT_EQ(lookup(L"333"), Found(L"Третий", L"после"));
    }
    // The program restarts while the server is still down.
    TWorkstation again(root.path(), table);
    EXPECT_EQ(again.Directory.Status().Waiting, 3u);
    again.Directory.Save(Change(L"444", L"Четвёртый"));
    ASSERT_TRUE(WaitFor([&] { return again.Directory.Status().LastError.Kind == TSqlErrorKind::Unreachable; }));
    EXPECT_TRUE(table->Written().empty());
    table->SetDown(false);
    again.Directory.SyncNow();
    ASSERT_TRUE(WaitFor([&] { return again.Directory.Status().Waiting == 0 && !again.Directory.Status().LastError; }));
    const std::vector<TSqlChange> written = table->Written();
    ASSERT_EQ(written.size(), 4u);
    EXPECT_EQ(written[0].Comment, L"до");
    EXPECT_EQ(written[1].Comment, L"после");
    EXPECT_TRUE(written[2].Deleted);
    EXPECT_EQ(written[2].Phone, L"222");
    EXPECT_EQ(written[3].Phone, L"444");
    for (const TSqlChange& change : written) {
        EXPECT_EQ(change.ChangedBy, SqlChangeAuthor());
        EXPECT_GT(change.ChangedAtUnixMs, 0);
    }
    std::wstring name, comment;
    EXPECT_TRUE(table->Lookup(L"333", name, comment));
    EXPECT_EQ(comment, L"после");
    EXPECT_FALSE(table->Lookup(L"222", name, comment));
}

TEST(SqlDirectory, AWriteDroppedMidwayIsSentAgainAndStoredOnce) {
    TempFolder root;
    auto table = std::make_shared<TFakeSqlTable>();
    TWorkstation station(root.path(), table);
    ASSERT_TRUE(WaitForSync(station.Directory));
    table->DropWrites(2);
    station.Directory.Save(Change(L"555", L"Пятый"));
    ASSERT_TRUE(WaitFor([&] { return station.Directory.Status().Waiting == 0; }));
    ASSERT_EQ(table->Written().size(), 1u);
    EXPECT_EQ(table->Written()[0].Name, L"Пятый");
}

TEST(SqlDirectory, APulledRowLeavesAnUnsentSaveAlone) {
    TempFolder root;
    auto table = std::make_shared<TFakeSqlTable>();
    table->Put(L"777", L"С сервера");
    TWorkstation station(root.path(), table);
    ASSERT_TRUE(WaitForSync(station.Directory));
    // The account may read but not write: the save waits while reads go on.
    table->SetWriteError(TSqlErrorKind::Permission);
    station.Directory.Save(Change(L"777", L"Своё"));
    ASSERT_TRUE(WaitFor([&] { return station.Directory.Status().LastError.Kind == TSqlErrorKind::Permission; }));
    table->Put(L"777", L"Чужое, позже");
    const uint64_t read = station.Directory.Status().RowsRead;
    ASSERT_TRUE(WaitFor([&] { return station.Directory.Status().RowsRead > read; }));
    TLookup lookup(station.Directory.ReplicaFolder(), root.file(L"old"));
    EXPECT_EQ(lookup(L"777"), Found(L"Своё"));
    EXPECT_EQ(station.Directory.Status().Waiting, 1u);
    table->SetWriteError(TSqlErrorKind::None);
    station.Directory.SyncNow();
    ASSERT_TRUE(
        WaitFor([&] { return station.Directory.Status().Waiting == 0 && !station.Directory.Status().LastError; }));
    std::wstring name, comment;
    ASSERT_TRUE(table->Lookup(L"777", name, comment));
    EXPECT_EQ(name, L"Своё");
    EXPECT_EQ(lookup(L"777"), Found(L"Своё"));
}

TEST(SqlDirectory, ASaveAndADeleteOfOneWorkstationReachTheOther) {
    TempFolder rootA, rootB;
    auto table = std::make_shared<TFakeSqlTable>();
    table->Put(L"888", L"Общий");
    TWorkstation a(rootA.path(), table);
    TWorkstation b(rootB.path(), table);
    ASSERT_TRUE(WaitForSync(a.Directory));
    ASSERT_TRUE(WaitForSync(b.Directory));
    TLookup lookupB(b.Directory.ReplicaFolder(), rootB.file(L"old"));
    ASSERT_EQ(lookupB(L"888"), Found(L"Общий"));
    a.Directory.Save(Change(L"999", L"От соседа", L"комментарий"));
    a.Directory.Save(Deletion(L"888"));
    ASSERT_TRUE(WaitFor([&] { return a.Directory.Status().Waiting == 0; }));
    ASSERT_TRUE(SyncNowAndWait(b.Directory));
    EXPECT_EQ(lookupB(L"999"), Found(L"От соседа", L"комментарий"));
    EXPECT_EQ(lookupB(L"888"), Found(L""));
    EXPECT_EQ(b.Directory.Status().Rows, 1u);
}

TEST(SqlDirectory, AChangeCommittedOutOfStampOrderIsNotMissed) {
    TempFolder root;
    auto table = std::make_shared<TFakeSqlTable>();
    table->Put(L"1", L"Один");
    TWorkstation station(root.path(), table, TSqlDirectoryOptions{});
    ASSERT_TRUE(WaitForSync(station.Directory));
    // A transaction takes its stamp, another one with a higher stamp commits and is read first.
    const int64_t early = table->ReserveStamp();
    table->Put(L"6", L"Шесть");
    ASSERT_TRUE(SyncNowAndWait(station.Directory));
    TLookup lookup(station.Directory.ReplicaFolder(), root.file(L"old"));
    ASSERT_EQ(lookup(L"6"), Found(L"Шесть"));
    table->CommitReserved(early, L"5", L"Пять");
    ASSERT_TRUE(SyncNowAndWait(station.Directory));
    EXPECT_EQ(lookup(L"5"), Found(L"Пять"));
    EXPECT_LT(table->LastSince(), early);
}

TEST(SqlDirectory, StopReturnsAtOnceWhileTheServerHangs) {
    for (const char* call : {"Open", "Read", "Write"}) {
        SCOPED_TRACE(call);
        TempFolder root;
        auto table = std::make_shared<TFakeSqlTable>();
        table->Put(L"1", L"Один");
        {
            auto station = std::make_unique<TWorkstation>(root.path(), table);
            ASSERT_TRUE(WaitForSync(station->Directory));
            int statusCalls = 0;
            station->Directory.SetOnStatusChanged([&statusCalls] { ++statusCalls; });
            table->Hang(call);
            station->Directory.Save(Change(L"2", L"Два"));
            station->Directory.SyncNow();
            ASSERT_TRUE(WaitFor([&] { return table->Hung() > 0; }));
            // Saves and lookups never wait for the network.
            auto started = std::chrono::steady_clock::now();
            station->Directory.Save(Change(L"3", L"Три"));
            EXPECT_EQ(TLookup(station->Directory.ReplicaFolder(), root.file(L"old"))(L"3"), Found(L"Три"));
            EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
            started = std::chrono::steady_clock::now();
            station->Directory.Stop();
            EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
            station.reset();
            const int told = statusCalls;
            table->Release();
            std::this_thread::sleep_for(100ms);
            // The worker left behind tells nobody.
            EXPECT_EQ(statusCalls, told);
        }
        // The save is still there for the next start.
        TWorkstation again(root.path(), table);
        ASSERT_TRUE(WaitFor([&] { return again.Directory.Status().Waiting == 0; }));
        std::wstring name, comment;
        EXPECT_TRUE(table->Lookup(L"2", name, comment));
        EXPECT_TRUE(table->Lookup(L"3", name, comment));
    }
}

TEST(SqlDirectory, ALateCommitOfAWorkerLeftByStopNeverLandsAfterNewerSaves) {
    TempFolder root;
    auto table = std::make_shared<TFakeSqlTable>();
    {
        TWorkstation before(root.path(), table);
        ASSERT_TRUE(WaitForSync(before.Directory));
        table->Hang("Write");
        before.Directory.Save(Change(L"5", L"Старое"));
        ASSERT_TRUE(WaitFor([&] { return table->Hung() > 0; }));
    }
    // The program starts again while the old worker still waits for the server.
    TWorkstation after(root.path(), table);
    after.Directory.Save(Change(L"5", L"Новое"));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(table->Written().empty());
    table->Release();
    ASSERT_TRUE(WaitFor([&] { return after.Directory.Status().Waiting == 0; }));
    std::wstring name, comment;
    ASSERT_TRUE(table->Lookup(L"5", name, comment));
    EXPECT_EQ(name, L"Новое");
    const std::vector<TSqlChange> written = table->Written();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].Name, L"Старое");
    EXPECT_EQ(written[1].Name, L"Новое");
}

TEST(SqlDirectory, SavesKeepTheSubscriberTableRulesAndNeedAConnection) {
    TempFolder root;
    auto table = std::make_shared<TFakeSqlTable>();
    TWorkstation station(root.path(), table);
    const std::wstring tooLong(kMaxDirectoryTextBytes / 2 + 1, L'я');
    EXPECT_THROW(station.Directory.Save(Change(L"1", tooLong)), TDirectoryTextTooLong);
    EXPECT_THROW(station.Directory.Save(Change(L"1", L"Имя", tooLong)), TDirectoryTextTooLong);
    EXPECT_THROW(station.Directory.SaveBatch({Change(L"1", L"Имя"), Change(tooLong, L"Имя")}), TDirectoryTextTooLong);
    for (const TSqlChange& unnamed : {Change(L"1", L""), Change(L"", L"Имя"), Deletion(L"")})
        EXPECT_THROW(station.Directory.Save(unnamed), TableStoreError);
    EXPECT_EQ(station.Directory.Status().Waiting, 0u);
    // What the subscriber table would keep of a long number and name is what the server gets.
    TSqlChange wide = Change(L"12345678901234567890", std::wstring(100, L'ж'));
    wide.ChangedBy = std::wstring(300, L'к');
    station.Directory.Save(wide);
    ASSERT_TRUE(WaitFor([&] { return station.Directory.Status().Waiting == 0; }));
    ASSERT_EQ(table->Written().size(), 1u);
    EXPECT_EQ(table->Written()[0].Phone, L"1234567890123456");
    EXPECT_EQ(table->Written()[0].Name, std::wstring(TPQRDataModule::kNameWidth, L'ж'));
    EXPECT_EQ(table->Written()[0].ChangedBy, std::wstring(256, L'к'));
    station.Directory.Apply({});
    EXPECT_TRUE(station.Directory.ReplicaFolder().empty());
    EXPECT_FALSE(station.Directory.Status().Enabled);
    EXPECT_THROW(station.Directory.Save(Change(L"1", L"Имя")), TableStoreError);
}

TEST(SqlDirectory, AnImportIsStoredInBatchesAndSent) {
    TempFolder root;
    auto table = std::make_shared<TFakeSqlTable>();
    TSqlDirectoryOptions options = FastRetries();
    options.ApplyBatchRows = 100;
    options.PushBatchChanges = 70;
    TWorkstation station(root.path(), table, options);
    ASSERT_TRUE(WaitForSync(station.Directory));
    std::vector<TSqlChange> changes;
    for (int i = 0; i < 1234; ++i)
        changes.push_back(Change(L"7495" + std::to_wstring(1000000 + i), L"Абонент " + std::to_wstring(i)));
    ImportProgress progress;
    EXPECT_EQ(station.Directory.SaveBatch(changes, &progress), changes.size());
    EXPECT_EQ(progress.Permille(), 1000);
    ASSERT_TRUE(WaitFor([&] { return station.Directory.Status().Waiting == 0; }));
    ASSERT_TRUE(SyncNowAndWait(station.Directory));
    EXPECT_EQ(table->Written().size(), changes.size());
    EXPECT_EQ(station.Directory.Status().Rows, changes.size());
    TLookup lookup(station.Directory.ReplicaFolder(), root.file(L"old"));
    EXPECT_EQ(lookup(L"74951001233"), Found(L"Абонент 1233"));
    // An import cancelled before its first batch stores nothing.
    ImportProgress cancelled;
    cancelled.Cancel();
    EXPECT_THROW(station.Directory.SaveBatch({Change(L"999", L"Не дошёл")}, &cancelled), ImportCancelled);
    EXPECT_EQ(lookup(L"999"), Found(L""));
    EXPECT_EQ(station.Directory.Status().Waiting, 0u);
    // Within one batch a number's last change stands, whatever came before it.
    station.Directory.SaveBatch(
        {Deletion(L"111"), Change(L"111", L"Вернулся"), Change(L"222", L"Ушёл"), Deletion(L"222")});
    EXPECT_EQ(lookup(L"111"), Found(L"Вернулся"));
    EXPECT_EQ(lookup(L"222"), Found(L""));
}

TEST(SqlReadMarks, TheReadStartsFromAMarkThatLags) {
    struct TStep {
        int64_t started, ended, maxRead;
        int64_t watermark, since;  // after the read
    };
    // Lag 100 ms, overlap 3 stamps.
    const TStep steps[] = {
        {1000, 1010, 10, 0, 7},    // nothing old enough yet
        {1050, 1060, 12, 0, 9},    // the first read ended only 40 ms before
        {1110, 1120, 12, 10, 10},  // the first read ended 100 ms before: its 10 holds
        {1300, 1310, 20, 12, 17},  // the reads before ended long enough ago
        {1500, 1510, 0, 20, 20},   // nothing new read: up to the highest
    };
    TSqlSyncState state;
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.started);
        RecordSqlRead(state, step.started, step.ended, step.maxRead, 100);
        EXPECT_EQ(state.Watermark, step.watermark);
        EXPECT_EQ(SqlReadSince(state, 3), step.since);
    }
    EXPECT_LE(state.Marks.size(), 2u);
}

}  // namespace
