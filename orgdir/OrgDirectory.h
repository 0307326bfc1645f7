#pragma once
#include "OrgDirectoryCache.h"
#include "OrgDirectorySettings.h"
#include "OrgDirectorySync.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

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
    // settings or another password, or the last sync failed more than a few
    // minutes ago.
    void Start(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling, TSynced onSynced = {});
    // Ends the worker without waiting for the network: a read in progress is
    // told to stop and abandoned at its next look (a tenth of a second), and
    // Stop waits for that only briefly. A worker still in a call that cannot be
    // cut short is left to end alone: it owns all it uses, records nothing and
    // tells nobody.
    void Stop();
    // A sync as soon as the worker is free.
    void SyncNow();
    // The worker looks again whether a sync is due (the PC woke up: the time it
    // waited for may have passed in the sleep) and syncs only then.
    void SyncIfDue();

    bool Enabled() const { return enabled_.load(); }
    // The number in canonical form, as calls are looked up.
    bool Lookup(const std::wstring& number, TOrgName& found) const;
    TOrgSyncStatus LastSync() const { return cache_->Status(); }

    // A failed sync is tried again after this long, or the period when shorter.
    static constexpr int kRetryMinutes = 5;
    // How long Stop waits for a worker to end.
    static constexpr unsigned long kStopWaitMs = 200;

private:
    struct TWorker;

    const std::wstring cachePath_;
    const TOrgReadOptions options_;
    // Shared with the workers, a left one included; the first worker to run
    // opens the cache under the lock.
    const std::shared_ptr<TOrgDirectoryCache> cache_;
    const std::shared_ptr<std::mutex> openLock_;
    std::atomic<bool> enabled_{false};
    // The running worker's state; none while stopped.
    std::shared_ptr<TWorker> worker_;
    // The password of the settings last started with: a new one syncs at once.
    std::wstring password_;
    // A sync asked for while no worker ran.
    bool syncRequested_ = false;
};
