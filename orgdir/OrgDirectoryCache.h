#pragma once
#include "OrgDirectoryError.h"
#include "TableStore.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

// One person (or office) of the organisation's directory with the numbers it is
// called from, in canonical form.
struct TOrgDirectoryEntry {
    std::wstring Name;
    std::wstring Comment;
    std::vector<std::wstring> Numbers;
};

// What a popup shows for a number the directory knows.
struct TOrgName {
    std::wstring Name;
    std::wstring Comment;
};

// The last sync as the diagnostics show it.
struct TOrgSyncStatus {
    int64_t AttemptTime = 0;   // when the last sync ended, UTC ms since 1970; 0: never
    int64_t DurationMs = 0;    // how long it took
    TOrgDirectoryError Error;  // why it failed; None when it succeeded
    int64_t CacheTime = 0;     // when the cached names were read; 0: there are none
    int64_t Entries = 0;       // entries in the cache
    int64_t Numbers = 0;       // numbers in the cache
};

// The names read from the organisation's directory, kept per Windows user in a
// SQLite file so that popups have them from the start and while the server is
// away. Lookups are answered from memory; only a complete read replaces the
// names, all at once. Lookups are safe from any thread; Open, Replace and
// RecordFailure come from one thread at a time.
class TOrgDirectoryCache {
public:
    TOrgDirectoryCache() = default;
    TOrgDirectoryCache(const TOrgDirectoryCache&) = delete;
    TOrgDirectoryCache& operator=(const TOrgDirectoryCache&) = delete;

    // Opens the file (creating it and its folder) and loads its names. A damaged
    // file is started afresh: the next sync fills it again. AppError when the
    // file can be neither opened nor created.
    void Open(const std::wstring& path);
    bool IsOpen() const;

    bool Lookup(const std::wstring& number, TOrgName& found) const;

    // Every name replaced by those of a complete read in one transaction; when
    // that fails, AppError leaves and the previous names stay, on disk and here.
    // A number listed under several entries stays with the first. `source` tells
    // which settings the names were read with.
    void Replace(const std::vector<TOrgDirectoryEntry>& entries, int64_t time, int64_t durationMs,
                 const std::wstring& source);
    // A sync that failed: the names stay, the status says why.
    void RecordFailure(const TOrgDirectoryError& error, int64_t time, int64_t durationMs);

    TOrgSyncStatus Status() const;
    // The `source` of the cached names' read; empty when there are none.
    std::wstring Source() const;

private:
    struct TNames {
        std::unordered_map<std::wstring, uint32_t> ByNumber;
        std::vector<TOrgName> Names;
    };
    void OpenFile(const std::wstring& path);
    TNames LoadNames();
    void LoadState();
    void WriteState(const TOrgSyncStatus& status, const std::wstring* source);

    // Guards the connection: only one writer at a time.
    std::mutex fileLock_;
    SqliteConnection db_;
    std::atomic<bool> open_{false};
    // Guards names_, status_ and source_: lookups share it, a replacement takes it alone.
    mutable std::shared_mutex namesLock_;
    TNames names_;
    TOrgSyncStatus status_;
    std::wstring source_;
};

// Where this Windows user's cache lives: beside the call journal, both being
// this user's data (a test that keeps its journal apart keeps the cache there too).
std::wstring DefaultOrgDirectoryCachePath();
