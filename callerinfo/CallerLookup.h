#pragma once
#include "LookupFailure.h"
#include "TableStore.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>

class TTQRDataModule;
class TPQRDataModule;

// The directory client's side of a lookup and a save on another workstation.
class IRemoteDirectory {
public:
    using TDeadline = std::chrono::steady_clock::time_point;
    virtual ~IRemoteDirectory() = default;
    virtual bool GetNameRegionCommentByPhoneRemote(const std::wstring& phone, std::wstring& name,
                                                   std::wstring& region, std::wstring& comment) = 0;
    virtual void AddEditRowRemote(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                                  const std::wstring& AbonentComment) = 0;
    // The same lookup, saying on failure why it failed; one that knows the
    // deadline gives up there (the default does not know it).
    virtual bool LookupRemoteWithReason(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                        std::wstring& comment, TLookupFailure& failure, TDeadline /*deadline*/) {
        const bool done = GetNameRegionCommentByPhoneRemote(phone, name, region, comment);
        failure = {done ? TLookupFailureKind::None : TLookupFailureKind::RemoteFailed, {}};
        return done;
    }
};

// The one place that reads and writes caller information: this workstation's own
// directories, or the directory server's when this workstation is its client.
// Safe to call from several threads; the modules protect themselves.
class TCallerLookup {
public:
    // A popup's lookup waits no longer than this for any lock or for the
    // directory server, then gives the empty result of a failed lookup: popups
    // keep coming while a save waits or the server is slow.
    static constexpr unsigned kPopupLookupMaxWaitMs = 250;
    // Popup lookups that follow one another closer than this (the caller-ID
    // events of one burst) share the first one's deadline: together they wait
    // at most kPopupLookupMaxWaitMs, so no popup waits behind a second wait.
    static constexpr unsigned kPopupBurstGapMs = 100;

    TCallerLookup(TTQRDataModule& areaList, TPQRDataModule& abonentList);
    TCallerLookup(const TCallerLookup&) = delete;
    TCallerLookup& operator=(const TCallerLookup&) = delete;

    // Without a remote directory the remote operations fail.
    void SetRemote(IRemoteDirectory* remote) { FRemote = remote; }
    bool UseRemoteDB() const { return FUseRemoteDB; }
    void SetUseRemoteDB(bool value) { FUseRemoteDB = value; }
    bool DBAsClient() const { return FDBAsClient; }
    void SetDBAsClient(bool value) { FDBAsClient = value; }

    // true: the directories were available and the lookup ran (the texts may
    // still be empty); false: it was not made or failed. The number is used as given.
    // This workstation's popups: waits at most kPopupLookupMaxWaitMs, shared
    // with the lookups of the same burst.
    bool GetNameRegionCommentByPhone(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                     std::wstring& comment);
    // The same, saying in failure why the result is false (None when it is true).
    bool GetNameRegionCommentByPhone(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                     std::wstring& comment, TLookupFailure& failure);
    // The directory server's lookup for its clients: waits for locks as the store does.
    bool GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                          std::wstring& comment);
    // The subscriber directory's name and comment in one try that never waits
    // for a lock: a popup lookup that gave up on another workstation's lock is
    // tried again this way now and then. Fails as RemoteNotSet in client mode.
    bool TrySubscriberNow(const std::wstring& phone, std::wstring& name, std::wstring& comment,
                          TLookupFailure& failure);
    bool CheckDB();
    // Every failure leaves as an exception (AppError with the reason for the
    // directories' own), so that the caller can tell the user.
    void AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                    const std::wstring& AbonentComment);

private:
    bool RemoteMode() const { return FUseRemoteDB && FDBAsClient; }
    using TTime = std::chrono::steady_clock::time_point;
    struct TPopupTurn {
        TTime Deadline;
        // The burst's time is up and one of its lookups found the directory
        // locked: the failure to give at once, without touching the file again.
        std::optional<TLookupFailure> KnownLocked;
    };
    // A popup lookup starting now; EndPopupLookup with its failure when it is over.
    TPopupTurn BeginPopupLookup();
    void EndPopupLookup(const TLookupFailure& failure);
    bool LocalLookup(const std::wstring& phone, std::wstring& name, std::wstring& region, std::wstring& comment,
                     LockDeadline deadline, TLookupFailure* failure);

    TTQRDataModule& FAreaList;
    TPQRDataModule& FAbonentList;
    // Settings written on the main thread, read by every caller.
    std::atomic<bool> FUseRemoteDB{false};
    std::atomic<bool> FDBAsClient{false};
    std::atomic<IRemoteDirectory*> FRemote{nullptr};
    // FBurstLock guards the deadline of the current burst of popup lookups,
    // the lock failure one of them met, and when the last of them ended.
    std::mutex FBurstLock;
    TTime FBurstDeadline;
    std::optional<TLookupFailure> FBurstLockFailure;
    std::optional<TTime> FLastPopupLookupEnd;
};
