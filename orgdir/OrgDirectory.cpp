#include "OrgDirectory.h"

#include "AppError.h"
#include "CallTracker.h"

#include <algorithm>
#include <chrono>

TOrgDirectory::TOrgDirectory(std::wstring cachePath, TOrgReadOptions options)
    : cachePath_(std::move(cachePath)), options_(options) {}

TOrgDirectory::~TOrgDirectory() { Stop(); }

void TOrgDirectory::Start(const TOrgDirectorySettings& settings, const TDiallingSettings& dialling, TSynced onSynced) {
    if (!OrgDirectoryEnabled(settings)) {
        Stop();
        return;
    }
    {
        const std::lock_guard lock(lock_);
        settings_ = settings;
        dialling_ = dialling;
        onSynced_ = std::move(onSynced);
    }
    enabled_ = true;
    if (worker_.joinable()) {
        // The worker compares the new settings with the cache's when it wakes.
        wake_.notify_all();
        return;
    }
    stopping_ = false;
    cancel_ = std::stop_source();
    worker_ = std::thread([this] { Run(); });
}

void TOrgDirectory::Stop() {
    enabled_ = false;
    if (!worker_.joinable()) return;
    {
        const std::lock_guard lock(lock_);
        stopping_ = true;
        cancel_.request_stop();
    }
    wake_.notify_all();
    worker_.join();
}

void TOrgDirectory::SyncNow() {
    {
        const std::lock_guard lock(lock_);
        syncRequested_ = true;
    }
    wake_.notify_all();
}

bool TOrgDirectory::Lookup(const std::wstring& number, TOrgName& found) const {
    return enabled_.load() && !number.empty() && cache_.Lookup(number, found);
}

int64_t TOrgDirectory::MillisecondsUntilDue() const {
    if (syncRequested_) return 0;
    const TOrgSyncStatus status = cache_.Status();
    // Before this run's first sync, the settings the cached names were read with.
    const std::wstring attempted = attemptedSource_.empty() ? cache_.Source() : attemptedSource_;
    if (status.AttemptTime == 0 || attempted != OrgDirectorySource(settings_, dialling_)) return 0;
    int64_t minutes = SyncPeriodMinutes(settings_);
    if (status.Error) minutes = std::min<int64_t>(minutes, kRetryMinutes);
    const int64_t due = status.AttemptTime + minutes * 60 * 1000;
    return std::max<int64_t>(0, due - CallTimeNow());
}

void TOrgDirectory::Run() noexcept {
    try {
        RunSyncs();
    } catch (...) {
        // Nothing may leave the thread; the directory keeps what it had.
    }
}

void TOrgDirectory::RunSyncs() {
    if (!cache_.IsOpen()) {
        try {
            cache_.Open(cachePath_);
        } catch (const AppError& error) {
            cache_.RecordFailure({TOrgDirectoryFailure::CacheFailed, 0, {}, error.message()}, CallTimeNow(), 0);
        }
    }
    std::unique_lock lock(lock_);
    for (;;) {
        if (stopping_) return;
        const int64_t wait = MillisecondsUntilDue();
        if (wait > 0) {
            wake_.wait_for(lock, std::chrono::milliseconds(wait));
            continue;
        }
        syncRequested_ = false;
        const TOrgDirectorySettings settings = settings_;
        const TDiallingSettings dialling = dialling_;
        const TSynced onSynced = onSynced_;
        attemptedSource_ = OrgDirectorySource(settings, dialling);
        lock.unlock();
        const TOrgSyncStatus status = SyncOrgDirectory(settings, dialling, cache_, options_, cancel_.get_token());
        if (onSynced) {
            try {
                onSynced(status);
            } catch (...) {
            }
        }
        lock.lock();
    }
}
