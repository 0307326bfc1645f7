#include "OrgDirectory.h"

#include "AppError.h"
#include "CallTracker.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

// What one worker thread and the directory share. The thread holds it to its
// end, so a worker left by Stop never reaches into a directory that is gone.
struct TOrgDirectory::TWorker {
    std::shared_ptr<TOrgDirectoryCache> Cache;
    // A worker started after Stop may meet one left before it opened the cache.
    std::shared_ptr<std::mutex> OpenLock;
    std::wstring CachePath;
    TOrgReadOptions Options;
    std::stop_source Cancel;
    // Set by the thread as it leaves.
    UniqueKernelHandle Ended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    // Guards the fields below, which the thread reads and Start/Stop/SyncNow write.
    std::mutex Lock;
    std::condition_variable Wake;
    TOrgDirectorySettings Settings;
    TDiallingSettings Dialling;
    TSynced OnSynced;
    bool Stopping = false;
    bool SyncRequested = false;
    // The settings of this run's last sync, whether it succeeded or not.
    std::wstring AttemptedSource;

    // Held while OnSynced is told, so that Stop returns only once no one tells it any more.
    std::mutex TellLock;

    void Run() noexcept;
    void RunSyncs();
    // How long until the next sync is due, in milliseconds; 0: now. Under Lock.
    int64_t MillisecondsUntilDue() const;
};

TOrgDirectory::TOrgDirectory(std::wstring cachePath, TOrgReadOptions options)
    : cachePath_(std::move(cachePath)), options_(options), cache_(std::make_shared<TOrgDirectoryCache>()),
      openLock_(std::make_shared<std::mutex>()) {}

TOrgDirectory::~TOrgDirectory() { Stop(); }

void TOrgDirectory::Start(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling, TSynced onSynced) {
    if (!OrgDirectoryEnabled(settings)) {
        Stop();
        return;
    }
    // A corrected password is tried at once, not at the next retry.
    const bool newPassword = !password_.empty() && settings.FLdapPassword != password_;
    password_ = settings.FLdapPassword;
    if (worker_) {
        {
            const std::lock_guard lock(worker_->Lock);
            worker_->Settings = settings;
            worker_->Dialling = dialling;
            worker_->OnSynced = std::move(onSynced);
            if (newPassword) worker_->SyncRequested = true;
        }
        // The worker compares the new settings with the cache's when it wakes.
        worker_->Wake.notify_all();
        enabled_ = true;
        return;
    }
    auto worker = std::make_shared<TWorker>();
    worker->Cache = cache_;
    worker->OpenLock = openLock_;
    worker->CachePath = cachePath_;
    worker->Options = options_;
    worker->Settings = settings;
    worker->Dialling = dialling;
    worker->OnSynced = std::move(onSynced);
    worker->SyncRequested = std::exchange(syncRequested_, false) || newPassword;
    // Detached: Stop never joins a thread that may be in the network.
    std::thread([worker] { worker->Run(); }).detach();
    worker_ = std::move(worker);
    enabled_ = true;
}

void TOrgDirectory::Stop() {
    enabled_ = false;
    if (!worker_) return;
    const std::shared_ptr<TWorker> worker = std::move(worker_);
    {
        const std::lock_guard lock(worker->Lock);
        worker->Stopping = true;
        worker->OnSynced = {};
    }
    worker->Cancel.request_stop();
    worker->Wake.notify_all();
    // A sync being told ends its telling first: it only posts.
    { const std::lock_guard telling(worker->TellLock); }
    ::WaitForSingleObject(worker->Ended.get(), kStopWaitMs);
}

void TOrgDirectory::SyncNow() {
    if (!worker_) {
        syncRequested_ = true;
        return;
    }
    {
        const std::lock_guard lock(worker_->Lock);
        worker_->SyncRequested = true;
    }
    worker_->Wake.notify_all();
}

void TOrgDirectory::SyncIfDue() {
    if (!worker_) return;
    // Taking the lock first: a worker between reckoning its wait and waiting hears it.
    { const std::lock_guard lock(worker_->Lock); }
    worker_->Wake.notify_all();
}

bool TOrgDirectory::Lookup(const std::wstring& number, TOrgName& found) const {
    return enabled_.load() && !number.empty() && cache_->Lookup(number, found);
}

int64_t TOrgDirectory::TWorker::MillisecondsUntilDue() const {
    if (SyncRequested) return 0;
    const TOrgSyncStatus status = Cache->Status();
    // Before this run's first sync, the settings the cached names were read with.
    const std::wstring attempted = AttemptedSource.empty() ? Cache->Source() : AttemptedSource;
    if (status.AttemptTime == 0 || attempted != OrgDirectorySource(Settings, Dialling)) return 0;
    int64_t minutes = SyncPeriodMinutes(Settings);
    if (status.Error) minutes = std::min<int64_t>(minutes, kRetryMinutes);
    const int64_t due = status.AttemptTime + minutes * 60 * 1000;
    return std::max<int64_t>(0, due - CallTimeNow());
}

void TOrgDirectory::TWorker::Run() noexcept {
    try {
        RunSyncs();
    } catch (...) {
        // Nothing may leave the thread; the directory keeps what it had.
    }
    ::SetEvent(Ended.get());
}

void TOrgDirectory::TWorker::RunSyncs() {
    {
        const std::lock_guard opening(*OpenLock);
        if (!Cache->IsOpen()) {
            try {
                Cache->Open(CachePath);
            } catch (const AppError& error) {
                Cache->RecordFailure({TOrgDirectoryFailure::CacheFailed, 0, {}, error.message()}, CallTimeNow(), 0);
            }
        }
    }
    std::unique_lock lock(Lock);
    for (;;) {
        if (Stopping) return;
        const int64_t wait = MillisecondsUntilDue();
        if (wait > 0) {
            Wake.wait_for(lock, std::chrono::milliseconds(wait));
            continue;
        }
        SyncRequested = false;
        const TOrgDirectorySettings settings = Settings;
        const TDiallingSettings dialling = Dialling;
        AttemptedSource = OrgDirectorySource(settings, dialling);
        lock.unlock();
        const TOrgSyncStatus status = SyncOrgDirectory(settings, dialling, *Cache, Options, Cancel.get_token());
        {
            const std::lock_guard telling(TellLock);
            TSynced onSynced;
            {
                const std::lock_guard held(Lock);
                if (!Stopping) onSynced = OnSynced;
            }
            if (onSynced) {
                try {
                    onSynced(status);
                } catch (...) {
                }
            }
        }
        lock.lock();
    }
}
