#pragma once
#include "CallEvent.h"
#include "CallTracker.h"
#include "Caller.h"
#include "NumberQuery.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The call journal: every call on a monitored channel, recorded when it ends.
// Window-free: the tray program feeds it the recorder's call events, and the
// journal window reads what it stored.

// Times are milliseconds since 1970-01-01 UTC.
struct TCallRecord {
    int64_t Id = 0;  // given by the store; 0 before
    int64_t StartTime = 0;
    int64_t EndTime = 0;
    std::wstring Channel;
    // The number is canonical, empty when withheld or never reported; the
    // journal keeps no comment.
    TCaller Caller;
    TCallOutcome Outcome = TCallOutcome::NoConversation;
    int64_t DurationSeconds = 0;  // of the conversation; 0 without one
    // What the user typed about the call in the journal window.
    std::wstring Note;

    bool operator==(const TCallRecord&) const = default;
};

// The record of a call that has ended.
TCallRecord JournalRecordOf(const TCall& call);

// Retention: a call older than the days, or beyond the newest maxCalls, goes.
struct TJournalLimits {
    int Days = 90;
    int MaxCalls = 10000;
};
// Settings below 1 (or absurdly large) fall back to sensible bounds.
TJournalLimits SanitizedLimits(TJournalLimits limits);

constexpr int64_t kMillisecondsPerDay = 24LL * 60 * 60 * 1000;

// Whether a record matches what the user typed in the search box: digits are
// looked for in the number, read with the dialling settings (other characters
// of a number-like query, such as "+", blanks, "-" and brackets, are ignored;
// see ReadNumberQuery), anything with a letter in the name and in the note,
// without regard to letter case. An empty query matches every record.
class TJournalFilter {
public:
    explicit TJournalFilter(std::wstring_view query, const TDiallingSettings& dialling = {});
    bool Matches(const TCallRecord& record) const;
    bool Empty() const { return number_.Empty() && text_.empty(); }

private:
    TNumberQuery number_;
    std::wstring text_;  // lower case
};

// Display texts of a record's time and duration (the local time zone).
std::wstring JournalTimeText(int64_t utcMilliseconds);
std::wstring JournalDurationText(int64_t seconds);
// A call's time in the Windows user's own short date and time formats (local time).
std::wstring UserDateTimeText(int64_t utcMilliseconds);

// The journal file: a SQLite database of its own. Every operation raises
// AppError with a user-readable text when the file is damaged, locked beyond a
// short wait, read-only or out of disk space.
class TCallJournalStore {
public:
    TCallJournalStore();
    ~TCallJournalStore();
    TCallJournalStore(const TCallJournalStore&) = delete;
    TCallJournalStore& operator=(const TCallJournalStore&) = delete;

    // Opens (creating it and its folder when missing) and checks the file.
    void Open(const std::wstring& path);
    void Close() noexcept;
    bool Active() const;

    // Stores the record (its Id is set) and drops what the limits no longer keep,
    // in one transaction.
    void Add(TCallRecord& record, const TJournalLimits& limits, int64_t now);
    // Many records in one transaction: all or none.
    void AddAll(std::vector<TCallRecord>& records, const TJournalLimits& limits, int64_t now);
    void Prune(const TJournalLimits& limits, int64_t now);
    // Gives a record stored without a name its name; false when there is no
    // such record or it has a name already.
    bool SetName(int64_t id, const std::wstring& name);
    // Replaces a record's note; false when there is no such record.
    bool SetNote(int64_t id, const std::wstring& note);
    // Every record, newest first.
    std::vector<TCallRecord> ReadAll();
    int64_t Count();
    // Missed calls that ended after the given time.
    int64_t MissedSince(int64_t time);
    // When the user last looked at the journal; 0 when never.
    int64_t LastViewed();
    void SetLastViewed(int64_t time);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Where the journal of this Windows user lives: the user's local application
// data folder, or the folder that KORDAVIN_JOURNAL_DIR names (tests keep their
// journals apart with it).
std::wstring DefaultJournalPath();

// The store as a listener of the call-event stream: every call that ends is
// stored. A store failure disables the journal for the rest of the session and
// is told once through onFailure; calls and popups go on.
class TCallJournal final : public ICallEventListener {
public:
    using TClock = std::function<int64_t()>;
    using TFailure = std::function<void(const std::wstring& text)>;
    using TRecorded = std::function<void(const TCallRecord& record)>;

    TCallJournal(TFailure onFailure, TClock clock = CallTimeNow);

    void Open(const std::wstring& path, TJournalLimits limits);
    // Closes the file (the program or the Windows session ends); nothing is stored after.
    void Close() noexcept { store_.Close(); }
    const TJournalLimits& Limits() const { return limits_; }
    bool Enabled() const { return store_.Active() && !failed_; }
    // Called with each record once it has been stored.
    void SetOnRecorded(TRecorded onRecorded) { onRecorded_ = std::move(onRecorded); }

    // Stores the calls that the event ends (answered, missed, without
    // conversation or interrupted).
    void OnCallEvent(const TCallEvent& event) override;

    // A name that came after its call ended (a slow name source): the call's
    // record, stored without a name, takes it. Only the last calls stored in
    // this session are found; false when the call is not among them.
    bool NameEndedCall(int64_t callId, const std::wstring& name);

    std::vector<TCallRecord> ReadAll();
    // Keeps the user's note with a stored call; false when the call is gone
    // (pruned) or the journal is off.
    bool SetNote(int64_t recordId, const std::wstring& note);
    // Missed calls since the journal was last opened by the user.
    int64_t MissedSinceViewed() const { return missedSinceViewed_; }
    void MarkViewed();

private:
    // The stored record's id; 0 when the file did not take it.
    int64_t Record(TCallRecord record);
    void Fail(const std::exception_ptr& error);

    TFailure onFailure_;
    TClock clock_;
    TRecorded onRecorded_;
    TJournalLimits limits_;
    TCallJournalStore store_;
    bool failed_ = false;
    int64_t missedSinceViewed_ = 0;
    // Call id -> record id of the calls stored last, oldest first.
    static constexpr size_t kRecentCalls = 256;
    std::deque<std::pair<int64_t, int64_t>> recentCalls_;
};
