#pragma once
#include "AllowedClients.h"
#include "SocketHandle.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class TCallerLookup;
class TPQRDataModule;

// What the directory server answers from: this workstation's own directories.
// Called on the server's worker threads, several at a time.
class IDirectoryBackend {
public:
    virtual ~IDirectoryBackend() = default;
    virtual bool CheckDB() = 0;
    virtual bool GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name,
                                                  std::wstring& region, std::wstring& comment) = 0;
    // Throws when the row is not stored; the client then gets no reply.
    virtual void AddEditRow(const std::wstring& phone, const std::wstring& name, const std::wstring& comment) = 0;
};

// This workstation's own directories as the server's backend. Saves go straight
// to the subscriber directory: a server never forwards a client's save, even
// while the settings are being switched to client mode.
class TCallerLookupBackend final : public IDirectoryBackend {
public:
    TCallerLookupBackend(TCallerLookup& lookup, TPQRDataModule& abonentList)
        : FLookup(lookup), FAbonentList(abonentList) {}
    bool CheckDB() override;
    bool GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                          std::wstring& comment) override;
    void AddEditRow(const std::wstring& phone, const std::wstring& name, const std::wstring& comment) override;

private:
    TCallerLookup& FLookup;
    TPQRDataModule& FAbonentList;
};

struct TDirectoryServerLimits {
    // Each single receive and send of a connection waits at most this long.
    int IoTimeoutMs = 10000;
    // Connections held open at once; beyond this, new ones are closed at once.
    // A little over a thousand, so that a thousand idle ones leave room for work.
    size_t MaxConnections = 1024;
    // Threads that run directory operations; one more thread does all network I/O.
    int Workers = 4;
    // Request bytes held for all connections together; a connection whose bytes
    // would go beyond this is closed without a reply. Real requests are tiny;
    // this keeps a thousand clients announcing 1 MiB texts from taking gigabytes.
    size_t MaxBufferedBytes = 64u << 20;
};

// The directory server: one request and one reply per connection. A single I/O
// thread accepts connections and reads requests and writes replies without
// blocking; a small fixed pool runs the directory operations. So the thread
// count stays fixed however many clients connect, and silent connections cost
// a table entry, not a thread.
class TDirectoryServer {
public:
    explicit TDirectoryServer(IDirectoryBackend& backend, TDirectoryServerLimits limits = {});
    ~TDirectoryServer();
    TDirectoryServer(const TDirectoryServer&) = delete;
    TDirectoryServer& operator=(const TDirectoryServer&) = delete;

    // Listens on all local IPv4 addresses. Throws AppError when the port is
    // outside 1..65535 or cannot be listened on; the server then stays stopped.
    void Start(int port, TAllowedClients allowed = {});
    // The same on a free port the system chooses (tests, tools).
    void StartOnAnyPort(TAllowedClients allowed = {});
    // Closes the listener and every open connection; a directory operation
    // already running finishes and its reply is sent if the connection takes it
    // at once. Returns without waiting out any receive.
    void Stop();

    bool Active() const { return FIoThread.joinable(); }
    // The port listened on, in host byte order; 0 when stopped.
    uint16_t Port() const { return FPort; }

    struct TStats {
        uint64_t Accepted = 0;          // connections taken into service
        uint64_t RefusedByList = 0;     // closed at once: address not allowed
        uint64_t RefusedOverLimit = 0;  // closed at once: too many open
        uint64_t Answered = 0;          // replies sent in full
        uint64_t Dropped = 0;           // closed without a reply
        size_t Open = 0;
        size_t PeakOpen = 0;
    };
    TStats Stats() const;

private:
    struct Shared;
    void Listen(int port, TAllowedClients allowed);

    IDirectoryBackend& FBackend;
    TDirectoryServerLimits FLimits;
    WinsockSession FWinsock;
    std::unique_ptr<Shared> FShared;
    std::thread FIoThread;
    uint16_t FPort = 0;
};
