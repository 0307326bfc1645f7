#pragma once
#include "CallerLookup.h"
#include "SharedDirectoryProtocol.h"
#include "RemoteSaveFailure.h"
#include "ServerResolver.h"
#include "SocketHandle.h"
#include "SocketStream.h"

#include <windows.h>

#include <chrono>
#include <mutex>
#include <string>

// What the connection test found; the settings window tells it in its own words.
enum class TDBTestOutcome { Success, NotActive, CannotConnect, TimedOut };

struct TSharedDirectoryClientTimings {
    int LockAttempts = 10;
    DWORD LockRetrySleepMs = 200;
    // A remote lookup blocks the main thread while a call rings: an unreachable
    // server must not hold it for the system's 20-odd seconds.
    int ConnectTimeoutMs = 3000;
    int IoTimeoutMs = 10000;
    // The whole of a save or a connection test once the client lock is held
    // (name, connection, request and reply): a server that trickles its reply a
    // byte at a time, each within IoTimeoutMs, cannot hold a thread for minutes.
    // A popup's lookup brings a much shorter deadline of its own.
    int ExchangeTimeoutMs = 20000;
};

// The directory client: lookups, saves and the connection test against the
// directory server, one fresh connection per exchange, one exchange at a time.
class TSharedDirectoryClient final : public IRemoteDirectory {
public:
    // resolve: how a server name becomes an address (the system's resolver unless given).
    explicit TSharedDirectoryClient(TSharedDirectoryClientTimings timings = {},
                              TServerResolver::TResolveFunction resolve = {});
    TSharedDirectoryClient(const TSharedDirectoryClient&) = delete;
    TSharedDirectoryClient& operator=(const TSharedDirectoryClient&) = delete;

    // The applied settings DBServerAddress and DBPort; safe from any thread. A
    // new name starts being resolved here, in the background.
    void SetServer(const std::wstring& address, int port);
    // The applied server's name is resolved again in the background (the PC
    // woke up or changed networks); lookups use the kept address meanwhile.
    void RenewServerAddress();

    // True when the server ran the lookup and all three texts arrived. On any
    // failure false; texts received in full before it keep their values.
    // Gives up after ExchangeTimeoutMs.
    bool GetNameRegionCommentByPhoneRemote(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                           std::wstring& comment) override;
    // The same, saying why it failed; the lock, the name, the connection and the
    // reply are all waited for until the deadline at most.
    bool LookupRemoteWithReason(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                std::wstring& comment, TLookupFailure& failure, TDeadline deadline) override;
    bool LookupRemoteWithReason(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                std::wstring& comment, TLookupFailure& failure);
    // Returns once the server has confirmed the save; throws TRemoteSaveFailure
    // otherwise (no lock, no connection, no confirmation in time).
    void AddEditRowRemote(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                          const std::wstring& AbonentComment) override;
    // The check request against host and port as given (the values shown in
    // the settings window, not the applied ones).
    TDBTestOutcome TestConnection(const std::wstring& host, int port);

    // The client lock FCS: every exchange holds it from before the connection
    // opens until after it closes. It is only ever tried, never waited on.
    std::recursive_mutex& FCS() { return FClientLock; }

private:
    // Tries the client lock LockAttempts times, sleeping in between, but never past the deadline.
    bool TakeClientLock(TDeadline deadline);
    TDeadline ExchangeDeadline() const;
    // A connection to host and port within the deadline.
    TSocketStream Open(const std::wstring& host, int port, TDeadline deadline);
    // The applied DBServerAddress and DBPort.
    void AppliedServer(std::wstring& address, int& port);

    const TSharedDirectoryClientTimings FTimings;
    WinsockSession FWinsock;
    TServerResolver FResolver;
    std::recursive_mutex FClientLock;
    std::mutex FSettingsLock;  // guards the two fields below
    std::wstring FDBServerAddress;
    int FDBPort = SharedDirectoryProtocol::kDefaultPort;
};
