// The call journal without windows: calls followed from the recorder's events,
// the journal file, its retention and the search filter.
#include "CallJournal.h"
#include "TestFolders.h"
#include "TextConvert.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <windows.h>

#include <filesystem>

namespace {

using Kind = TCallEventKind;
constexpr int64_t kT0 = 1'765'000'000'000;  // a December 2025 afternoon, in ms

TCallEvent Ring(const std::wstring& channel, bool monitored = true) {
    TCallEvent event;
    event.Kind = Kind::Ring;
    event.Channel = channel;
    event.Monitored = monitored;
    return event;
}
TCallEvent Ani(const std::wstring& channel, const std::wstring& raw, const std::wstring& number = L"",
               const std::wstring& name = L"", const std::wstring& region = L"") {
    TCallEvent event;
    event.Kind = Kind::CallerId;
    event.Channel = channel;
    event.Text = raw;
    event.Monitored = true;
    if (!number.empty()) event.Caller = TCaller{number, name, region, {}};
    return event;
}
TCallEvent Plain(Kind kind, const std::wstring& channel, const std::wstring& text = L"") {
    TCallEvent event;
    event.Kind = kind;
    event.Channel = channel;
    event.Text = text;
    event.Monitored = true;
    return event;
}

struct Timed {
    int64_t atSeconds;
    TCallEvent step;
};

// Plays the events at their times; the records of the calls finished on the way.
std::vector<TCallRecord> Play(TCallTracker& tracker, const std::vector<Timed>& steps) {
    std::vector<TCallRecord> records;
    for (const auto& [at, step] : steps) {
        const TCall* call = tracker.Step(step, kT0 + at * 1000);
        if (call && call->Ended()) records.push_back(JournalRecordOf(*call));
    }
    return records;
}

std::vector<TCallRecord> RecordsOf(const std::vector<TCall>& calls) {
    std::vector<TCallRecord> records;
    for (const TCall& call : calls) records.push_back(JournalRecordOf(call));
    return records;
}

// The dispatch's part, as far as the journal sees it: the tracker follows the
// calls and the journal hears each event with its call.
class CallStream {
public:
    CallStream(TCallJournal& journal, std::function<int64_t()> clock = CallTimeNow)
        : journal_(journal), clock_(std::move(clock)) {}
    void Step(TCallEvent event) {
        event.Call = tracker_.Step(event, clock_());
        journal_.OnCallEvent(event);
    }
    void InterruptAll() {
        for (const TCall& call : tracker_.InterruptAll(clock_())) {
            TCallEvent event = Plain(Kind::Interrupted, call.Channel);
            event.Call = &call;
            journal_.OnCallEvent(event);
        }
    }

private:
    TCallJournal& journal_;
    std::function<int64_t()> clock_;
    TCallTracker tracker_;
};

TCallRecord Call(int64_t startSeconds, int64_t endSeconds, const std::wstring& channel, const std::wstring& number,
                 const std::wstring& name, const std::wstring& region, TCallOutcome outcome, int64_t duration) {
    TCallRecord record;
    record.StartTime = kT0 + startSeconds * 1000;
    record.EndTime = kT0 + endSeconds * 1000;
    record.Channel = channel;
    record.Caller.Number = number;
    record.Caller.Name = name;
    record.Caller.Region = region;
    record.Outcome = outcome;
    record.DurationSeconds = duration;
    return record;
}

}  // namespace

TEST(CallTracker, EventSequencesGiveOneRecordWithItsOutcome) {
    const auto A = TCallOutcome::Answered;
    const auto M = TCallOutcome::Missed;
    const auto N = TCallOutcome::NoConversation;
    const struct {
        const char* name;
        std::vector<Timed> steps;
        std::vector<TCallRecord> expected;
    } cases[] = {
        {"answered after a ring and caller ID",
         {{0, Ring(L"K1")}, {2, Ani(L"K1", L"84951234567", L"74951234567", L"Иванов", L"Москва")},
          {5, Plain(Kind::ConversationBegin, L"K1")}, {70, Plain(Kind::ConversationEnd, L"K1")}},
         {Call(0, 70, L"K1", L"74951234567", L"Иванов", L"Москва", A, 65)}},
        {"missed",
         {{0, Ring(L"K1")}, {1, Ani(L"K1", L"84951234567", L"74951234567")}, {20, Plain(Kind::Missed, L"K1")}},
         {Call(0, 20, L"K1", L"74951234567", L"", L"", M, 0)}},
        {"ended without conversation",
         {{0, Ring(L"K1")}, {9, Plain(Kind::ConversationEnd, L"K1")}},
         {Call(0, 9, L"K1", L"", L"", L"", N, 0)}},
        {"caller ID alone starts the call",
         {{3, Ani(L"K2", L"+78122345678", L"78122345678", L"", L"Санкт-Петербург")}, {4, Plain(Kind::Missed, L"K2")}},
         {Call(3, 4, L"K2", L"78122345678", L"", L"Санкт-Петербург", M, 0)}},
        {"a withheld number stays empty",
         {{0, Ring(L"K1")}, {1, Ani(L"K1", L"P", L"P")}, {2, Plain(Kind::Missed, L"K1")}},
         {Call(0, 2, L"K1", L"", L"", L"", M, 0)}},
        {"a second ring on the channel is the same call",
         {{0, Ring(L"K1")}, {1, Ring(L"k1")}, {2, Plain(Kind::ConversationBegin, L"K1")},
          {12, Plain(Kind::ConversationEnd, L"K1")}},
         {Call(0, 12, L"K1", L"", L"", L"", A, 10)}},
        {"a conversation that the recorder reports missed afterwards was answered",
         {{0, Ring(L"K1")}, {2, Plain(Kind::ConversationBegin, L"K1")}, {4, Plain(Kind::Missed, L"K1")}},
         {Call(0, 4, L"K1", L"", L"", L"", A, 2)}},
        {"an unwatched channel starts no call",
         {{0, Ring(L"K9", false)}, {1, Plain(Kind::ConversationEnd, L"K9")}},
         {}},
        {"an end without a start is not a call",
         {{0, Plain(Kind::ConversationEnd, L"K1")}, {1, Plain(Kind::Missed, L"K1")}},
         {}},
        {"a renamed channel keeps its call",
         {{0, Ring(L"K1")}, {1, Plain(Kind::Renamed, L"K1", L"K5")}, {2, Plain(Kind::Missed, L"K5")}},
         {Call(0, 2, L"K5", L"", L"", L"", M, 0)}},
        {"two channels at once",
         {{0, Ring(L"K1")}, {1, Ring(L"K2")}, {2, Plain(Kind::Missed, L"K2")}, {3, Plain(Kind::ConversationEnd, L"K1")}},
         {Call(1, 2, L"K2", L"", L"", L"", M, 0), Call(0, 3, L"K1", L"", L"", L"", N, 0)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TCallTracker tracker;
        EXPECT_EQ(c.expected, Play(tracker, c.steps));
        EXPECT_EQ(0u, tracker.CallsInProgress());
    }
}

TEST(CallTracker, CallsInProgressAreInterruptedWithTheirConversationSoFar) {
    TCallTracker tracker;
    Play(tracker, {{0, Ring(L"K1")}, {1, Ani(L"K1", L"84951234567", L"74951234567", L"Иванов", L"Москва")},
                   {2, Plain(Kind::ConversationBegin, L"K1")}, {5, Ring(L"K2")}});
    EXPECT_EQ((std::vector<TCallRecord>{
                  Call(0, 32, L"K1", L"74951234567", L"Иванов", L"Москва", TCallOutcome::Interrupted, 30),
                  Call(5, 32, L"K2", L"", L"", L"", TCallOutcome::Interrupted, 0)}),
              RecordsOf(tracker.InterruptAll(kT0 + 32000)));
    EXPECT_EQ(0u, tracker.CallsInProgress());
    EXPECT_TRUE(tracker.InterruptAll(kT0 + 40000).empty());
}

TEST(JournalTexts, DurationAndLimits) {
    EXPECT_EQ(L"0:00", JournalDurationText(0));
    EXPECT_EQ(L"1:05", JournalDurationText(65));
    EXPECT_EQ(L"59:59", JournalDurationText(3599));
    EXPECT_EQ(L"2:00:07", JournalDurationText(7207));
    EXPECT_EQ(19u, JournalTimeText(kT0).size());

    const struct {
        TJournalLimits in, out;
    } limits[] = {{{90, 10000}, {90, 10000}}, {{0, -5}, {90, 10000}}, {{1, 1}, {1, 1}},
                  {{1000000, 5000000}, {36500, 100000}}};
    for (const auto& l : limits) {
        const TJournalLimits got = SanitizedLimits(l.in);
        EXPECT_EQ(l.out.Days, got.Days);
        EXPECT_EQ(l.out.MaxCalls, got.MaxCalls);
    }
}

TEST(JournalFilter, DigitsSearchTheNumberLettersTheName) {
    TCallRecord ivanov = Call(0, 1, L"K1", L"74951234567", L"Иванов Пётр", L"Москва", TCallOutcome::Missed, 0);
    TCallRecord office = Call(0, 1, L"K2", L"78122345678", L"ООО «Ромашка» 🌼", L"", TCallOutcome::Answered, 5);
    TCallRecord hidden = Call(0, 1, L"K3", L"", L"", L"", TCallOutcome::Missed, 0);
    const struct {
        std::wstring query;
        bool ivanov, office, hidden;
    } cases[] = {
        {L"", true, true, true},
        {L"   ", true, true, true},
        {L"495", true, false, false},
        {L"+7 (812) 234", false, true, false},
        {L"1234", true, false, false},
        {L"иван", true, false, false},
        {L"ИВАНОВ П", true, false, false},
        {L" ромашка ", false, true, false},
        {L"Москва", false, false, false},  // the region is not searched
        {L"ромашка» 🌼", false, true, false},
        {L"0000", false, false, false},
        {L"перезвонить", false, true, false},  // the note is searched
        {L"ДОГОВОР", false, true, false},
    };
    office.Note = L"Перезвонить после обеда: договор №12";
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.query));
        const TJournalFilter filter(c.query);
        EXPECT_EQ(c.ivanov, filter.Matches(ivanov));
        EXPECT_EQ(c.office, filter.Matches(office));
        EXPECT_EQ(c.hidden, filter.Matches(hidden));
    }
}

class JournalStoreTest : public ::testing::Test {
protected:
    std::wstring path() const { return folder_.file(L"Journal\\sub\\CallJournal.db"); }
    TempFolder folder_;
};

TEST_F(JournalStoreTest, RecordsRoundTripNewestFirstWithTextsOfAnyKind) {
    TCallJournalStore store;
    store.Open(path());
    const std::wstring longName(100000, L'Щ');
    std::vector<TCallRecord> added = {
        Call(0, 65, L"Приёмная", L"74951234567", L"Иванов Пётр", L"Москва", TCallOutcome::Answered, 60),
        Call(10, 20, L"K2", std::wstring(40, L'9'), L"Кафе 😀☕ «Ёлка»", L"", TCallOutcome::Missed, 0),
        Call(30, 35, L"K3", L"", longName, L"Регион", TCallOutcome::NoConversation, 0),
        Call(30, 90, L"K4", L"1", L"'; DROP TABLE Calls; --", L"", TCallOutcome::Interrupted, 50),
    };
    for (auto& record : added) {
        store.Add(record, {}, kT0 + 100000);
        EXPECT_GT(record.Id, 0);
    }
    store.Close();

    TCallJournalStore reopened;
    reopened.Open(path());
    // Newest first; of two calls that began together, the later one first.
    EXPECT_EQ((std::vector<TCallRecord>{added[3], added[2], added[1], added[0]}), reopened.ReadAll());
    EXPECT_EQ(4, reopened.Count());
}

TEST_F(JournalStoreTest, ANoteIsKeptWithItsCallAndAJournalFromBeforeNotesGetsTheColumn) {
    // A journal written before notes existed.
    {
        std::filesystem::create_directories(std::filesystem::path(path()).parent_path());
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(WideToUtf8(path()).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                             nullptr));
        ASSERT_EQ(SQLITE_OK,
                  sqlite3_exec(db,
                               "CREATE TABLE Calls(Id INTEGER PRIMARY KEY, StartTime INTEGER NOT NULL, "
                               "EndTime INTEGER NOT NULL, Channel TEXT NOT NULL, Number TEXT NOT NULL, Name TEXT NOT NULL, "
                               "Region TEXT NOT NULL, Outcome INTEGER NOT NULL, Duration INTEGER NOT NULL);"
                               "INSERT INTO Calls VALUES(7, 1000, 2000, 'K1', '74951234567', '', '', 1, 0);",
                               nullptr, nullptr, nullptr));
        sqlite3_close(db);
    }
    TCallJournal journal([](const std::wstring& text) { ADD_FAILURE() << WideToUtf8(text); },
                         [] { return int64_t{1000}; });
    journal.Open(path(), {36500, 100});
    std::vector<TCallRecord> records = journal.ReadAll();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"", records[0].Note);
    const std::wstring note = L"Обещали перезвонить «завтра»; \"срочно\"\r\nвторая строка 😀";
    EXPECT_TRUE(journal.SetNote(7, note));
    EXPECT_FALSE(journal.SetNote(8, note)) << "no such call";
    EXPECT_FALSE(journal.SetNote(0, note));
    journal.Close();

    TCallJournalStore reopened;
    reopened.Open(path());
    records = reopened.ReadAll();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(note, records[0].Note);
    EXPECT_TRUE(reopened.SetNote(7, L""));
    EXPECT_EQ(L"", reopened.ReadAll()[0].Note) << "a note can be cleared";
}

TEST_F(JournalStoreTest, RetentionKeepsTheNewestCallsWithinTheDays) {
    const struct {
        const char* name;
        TJournalLimits limits;
        int calls;        // one a day, the newest today
        int64_t kept;
    } cases[] = {
        {"by count", {90, 10}, 30, 10},
        {"by days", {7, 10000}, 30, 7},
        {"whichever is less", {5, 3}, 30, 3},
        {"nothing to drop", {90, 10000}, 30, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        TCallJournalStore store;
        store.Open(folder.file(L"CallJournal.db"));
        const int64_t now = kT0 + 100 * kMillisecondsPerDay;
        for (int age = c.calls - 1; age >= 0; --age) {
            TCallRecord record = Call(0, 1, L"K1", std::to_wstring(age), L"", L"", TCallOutcome::Missed, 0);
            // Within its day, so that a call of exactly N days ago is not on the edge.
            record.StartTime = now - age * kMillisecondsPerDay - 1000;
            store.Add(record, c.limits, now);
        }
        const auto records = store.ReadAll();
        ASSERT_EQ(c.kept, static_cast<int64_t>(records.size()));
        EXPECT_EQ(L"0", records.front().Caller.Number) << "the newest call stays";
        EXPECT_EQ(std::to_wstring(c.kept - 1), records.back().Caller.Number);
    }
}

TEST_F(JournalStoreTest, TenThousandCallsAndTheOldestGoesAtTheLimit) {
    TCallJournalStore store;
    store.Open(path());
    std::vector<TCallRecord> years;
    for (int i = 0; i < 10000; ++i)
        years.push_back(Call(i, i + 1, L"K1", std::to_wstring(i), L"Абонент", L"", TCallOutcome::Answered, 1));
    store.AddAll(years, {90, 10000}, kT0 + 20000000);
    ASSERT_EQ(10000, store.Count());
    TCallRecord newest = Call(20000, 20001, L"K1", L"new", L"", L"", TCallOutcome::Missed, 0);
    store.Add(newest, {90, 10000}, kT0 + 20000000);
    const auto records = store.ReadAll();
    ASSERT_EQ(10000u, records.size());
    EXPECT_EQ(L"new", records.front().Caller.Number);
    EXPECT_EQ(L"1", records.back().Caller.Number) << "call 0 went";
}

TEST_F(JournalStoreTest, MissedCallsCountSinceTheJournalWasLastViewed) {
    int64_t now = kT0;
    std::vector<std::wstring> failures;
    {
        TCallJournal journal([&](const std::wstring& text) { failures.push_back(text); }, [&] { return now; });
        CallStream stream(journal, [&] { return now; });
        journal.Open(path(), {});
        ASSERT_TRUE(journal.Enabled());
        stream.Step(Ring(L"K1"));
        now += 5000;
        stream.Step(Plain(Kind::Missed, L"K1"));
        stream.Step(Ring(L"K1"));
        now += 5000;
        stream.Step(Plain(Kind::ConversationEnd, L"K1"));
        EXPECT_EQ(1, journal.MissedSinceViewed()) << "only a missed call counts";
        journal.MarkViewed();
        EXPECT_EQ(0, journal.MissedSinceViewed());
        now += 1000;
        stream.Step(Ring(L"K2"));
        now += 1000;
        stream.Step(Plain(Kind::Missed, L"K2"));
        stream.Step(Ring(L"K3"));
        now += 1000;
        stream.InterruptAll();  // the program ends
        EXPECT_EQ(1, journal.MissedSinceViewed());
    }
    TCallJournal reopened([&](const std::wstring& text) { failures.push_back(text); }, [&] { return now; });
    reopened.Open(path(), {});
    EXPECT_EQ(1, reopened.MissedSinceViewed()) << "the count outlives the program";
    const auto records = reopened.ReadAll();
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(TCallOutcome::Interrupted, records.front().Outcome);
    EXPECT_EQ(L"K3", records.front().Channel);
    EXPECT_TRUE(failures.empty());
}

namespace {

// Another program's write lock on the journal file, held until the object goes.
class ForeignWriteLock {
public:
    explicit ForeignWriteLock(const std::wstring& path) {
        if (sqlite3_open_v2(WideToUtf8(path).c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) ==
            SQLITE_OK)
            held_ = sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~ForeignWriteLock() {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }
    bool held() const { return held_; }

private:
    sqlite3* db_ = nullptr;
    bool held_ = false;
};

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

TEST_F(JournalStoreTest, ADamagedOrLockedJournalIsReportedOnceAndCallsGoOn) {
    const struct {
        const char* name;
        std::function<void(const std::wstring& path)> spoil;
        const wchar_t* reportPart;
        bool failsAtOpen;
    } cases[] = {
        {"damaged",
         [](const std::wstring& path) { WriteFileBytes(path, std::string(4096, '\x5A')); },
         L"повреждён", true},
        {"a folder in the file's place",
         [](const std::wstring& path) { ::CreateDirectoryW(path.c_str(), nullptr); },
         L"Не удалось открыть", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::wstring file = folder.file(L"CallJournal.db");
        c.spoil(file);
        std::vector<std::wstring> failures;
        std::vector<TCallRecord> recorded;
        TCallJournal journal([&](const std::wstring& text) { failures.push_back(text); });
        CallStream stream(journal);
        journal.SetOnRecorded([&](const TCallRecord& record) { recorded.push_back(record); });
        journal.Open(file, {});
        EXPECT_FALSE(journal.Enabled());
        for (int i = 0; i < 3; ++i) {
            stream.Step(Ring(L"K1"));
            stream.Step(Plain(Kind::Missed, L"K1"));
        }
        ASSERT_EQ(1u, failures.size());
        EXPECT_NE(std::wstring::npos, failures[0].find(c.reportPart)) << WideToUtf8(failures[0]);
        EXPECT_EQ(3u, recorded.size()) << "calls are still followed";
        EXPECT_EQ(3, journal.MissedSinceViewed());
        EXPECT_TRUE(journal.ReadAll().empty());
    }

    // Locked by another program after a good start: the first write waits a
    // moment, fails, and the journal is off for the session.
    std::vector<std::wstring> failures;
    TCallJournal journal([&](const std::wstring& text) { failures.push_back(text); });
    CallStream stream(journal);
    journal.Open(path(), {});
    ASSERT_TRUE(journal.Enabled());
    {
        ForeignWriteLock lock(path());
        ASSERT_TRUE(lock.held());
        const ULONGLONG started = ::GetTickCount64();
        for (int i = 0; i < 3; ++i) {
            stream.Step(Ring(L"K1"));
            stream.Step(Plain(Kind::ConversationEnd, L"K1"));
        }
        EXPECT_LT(::GetTickCount64() - started, 3000u) << "only the first write waits, and briefly";
    }
    ASSERT_EQ(1u, failures.size());
    EXPECT_NE(std::wstring::npos, failures[0].find(L"занят")) << WideToUtf8(failures[0]);
    EXPECT_FALSE(journal.Enabled());
}

TEST_F(JournalStoreTest, ALateNameFillsOnlyAStoredCallWithoutOne) {
    std::vector<std::wstring> failures;
    TCallJournal journal([&](const std::wstring& text) { failures.push_back(text); });
    CallStream stream(journal);
    journal.Open(path(), {});
    ASSERT_TRUE(journal.Enabled());
    // Call ids follow the tracker: 1 unnamed, 2 named by a directory, 3 still in progress.
    stream.Step(Ani(L"K1", L"84951234567", L"74951234567"));
    stream.Step(Plain(Kind::ConversationEnd, L"K1"));
    stream.Step(Ani(L"K2", L"84957654321", L"74957654321", L"Из справочника"));
    stream.Step(Plain(Kind::ConversationEnd, L"K2"));
    stream.Step(Ani(L"K3", L"84950000003", L"74950000003"));

    const struct {
        int64_t callId;
        const wchar_t* name;
        bool named;
    } cases[] = {
        {1, L"", false},                 // an empty name names nothing
        {1, L"ООО «Ромашка»", true},
        {1, L"Второй ответ", false},     // named already
        {2, L"Из CRM", false},           // the directory's name stays
        {3, L"Ещё идёт", false},         // not stored yet
        {99, L"Нет такого", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "call " << c.callId);
        EXPECT_EQ(c.named, journal.NameEndedCall(c.callId, c.name));
    }
    const auto records = journal.ReadAll();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(L"Из справочника", records[0].Caller.Name);
    EXPECT_EQ(L"ООО «Ромашка»", records[1].Caller.Name);
    EXPECT_EQ(L"74951234567", records[1].Caller.Number);
    EXPECT_TRUE(failures.empty());
}
