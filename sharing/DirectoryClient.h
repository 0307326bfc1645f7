#pragma once
#include "CallerLookup.h"
#include "DirectoryProtocol.h"
#include "SocketStream.h"

#include <windows.h>

#include <mutex>
#include <string>

// What the connection test found, with the text and the message-box icon the
// settings window shows for it.
enum class TDBTestOutcome { Success, NotActive, CannotConnect, TimedOut };
struct TDBTestResult {
    TDBTestOutcome Outcome;
    std::wstring Text;
    UINT Icon;  // MB_ICONINFORMATION or MB_ICONWARNING
};

struct TDirectoryClientTimings {
    int LockAttempts = 10;
    DWORD LockRetrySleepMs = 200;
    // A remote lookup blocks the main thread while a call rings: an unreachable
    // server must not hold it for the system's 20-odd seconds.
    int ConnectTimeoutMs = 3000;
    int IoTimeoutMs = 10000;
};

// The directory client: lookups, saves and the connection test against the
// directory server, one fresh connection per exchange, one exchange at a time.
class TDirectoryClient final : public IRemoteDirectory {
public:
    explicit TDirectoryClient(TDirectoryClientTimings timings = {});
    TDirectoryClient(const TDirectoryClient&) = delete;
    TDirectoryClient& operator=(const TDirectoryClient&) = delete;

    // The applied settings DBServerAddress and DBPort; safe from any thread.
    void SetServer(const std::wstring& address, int port);

    // True when the server ran the lookup and all three texts arrived. On any
    // failure false; texts received in full before it keep their values.
    bool GetNameRegionCommentByPhoneRemote(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                           std::wstring& comment) override;
    bool LookupRemoteWithReason(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                std::wstring& comment, TLookupFailure& failure) override;
    // Returns once the server has confirmed the save; throws AppError saying the
    // data was not stored otherwise (no lock, no connection, no confirmation).
    void AddEditRowRemote(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                          const std::wstring& AbonentComment) override;
    // The check request against host and port as given (the values shown in
    // the settings window, not the applied ones).
    TDBTestResult TestConnection(const std::wstring& host, int port);

    // The client lock FCS: every exchange holds it from before the connection
    // opens until after it closes. It is only ever tried, never waited on.
    std::recursive_mutex& FCS() { return FClientLock; }

private:
    bool TakeClientLock();
    // A connection to the applied DBServerAddress and DBPort.
    TSocketStream OpenAppliedServer();
    // The applied address and port as "address:port", for a failure's reason.
    std::wstring AppliedServerText();

    const TDirectoryClientTimings FTimings;
    std::recursive_mutex FClientLock;
    std::mutex FSettingsLock;  // guards the two fields below
    std::wstring FDBServerAddress;
    int FDBPort = DirectoryProtocol::kDefaultPort;
};
