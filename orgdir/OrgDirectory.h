#pragma once
#include "OrgDirectoryCache.h"
#include "OrgDirectorySettings.h"
#include "OrgDirectorySync.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

// Names from the organisation's directory for the popups: a worker thread keeps
// the local cache in step with the server (at start when due, every
// LdapSyncMinutes and on demand); lookups read the cache only and never wait for
// the network. Start, Stop and SyncNow come from one thread (the UI's).
class TOrgDirectory {
public:
    // Told on the worker thread after each sync: post it on, touch no window.
    using TSynced = std::function<void(const TOrgSyncStatus& status)>;

    explicit TOrgDirectory(std::wstring cachePath = DefaultOrgDirectoryCachePath(), TOrgReadOptions options = {});
    ~TOrgDirectory();
    TOrgDirectory(const TOrgDirectory&) = delete;
    TOrgDirectory& operator=(const TOrgDirectory&) = delete;

    // Takes (new) settings. Without a server the directory is off: the worker
    // ends and lookups find nothing. Otherwise the worker runs and syncs at once
    // when the cached names are older than the period, were read with other
    // settings, or the last sync failed more than a few minutes ago.
    void Start(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling, TSynced onSynced = {});
    // Ends the worker; a read in progress is abandoned between pages.
    void Stop();
    // A sync as soon as the worker is free.
    void SyncNow();

    bool Enabled() const { return enabled_.load(); }
    // The number in canonical form, as calls are looked up.
    bool Lookup(const std::wstring& number, TOrgName& found) const;
    TOrgSyncStatus LastSync() const { return cache_.Status(); }

    // A failed sync is tried again after this long, or the period when shorter.
    static constexpr int kRetryMinutes = 5;

private:
    void Run() noexcept;
    void RunSyncs();
    // How long until the next sync is due, in milliseconds; 0: now. Under lock_.
    int64_t MillisecondsUntilDue() const;

    const std::wstring cachePath_;
    const TOrgReadOptions options_;
    TOrgDirectoryCache cache_;
    std::atomic<bool> enabled_{false};
    std::stop_source cancel_;
    std::thread worker_;

    // Guards the fields below, which the worker reads and Start/Stop/SyncNow write.
    mutable std::mutex lock_;
    std::condition_variable wake_;
    TOrgDirectorySettings settings_;
    TDiallingSettings dialling_;
    TSynced onSynced_;
    bool stopping_ = false;
    bool syncRequested_ = false;
    // The settings of this run's last sync, whether it succeeded or not.
    std::wstring attemptedSource_;
};
