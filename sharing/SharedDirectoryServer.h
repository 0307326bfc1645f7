#pragma once
#include "AllowedClients.h"
#include "SocketHandle.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class TCallerLookup;
class TPQRDataModule;

// What the directory server answers from: this workstation's own directories.
// Called on the server's worker threads, several at a time.
class ISharedDirectoryBackend {
public:
    virtual ~ISharedDirectoryBackend() = default;
    virtual bool CheckDB() = 0;
    virtual bool GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name,
                                                  std::wstring& region, std::wstring& comment) = 0;
    // Throws when the row is not stored; the client then gets no reply.
    virtual void AddEditRow(const std::wstring& phone, const std::wstring& name, const std::wstring& comment) = 0;
};

// This workstation's own directories as the server's backend. Saves go straight
// to the subscriber directory: a server never forwards a client's save, even
// while the settings are being switched to client mode.
class TCallerLookupBackend final : public ISharedDirectoryBackend {
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

struct TSharedDirectoryServerLimits {
    // A request must have arrived in full this long after the accept, and a reply
    // must have been taken this long after it was ready. Real requests are tiny
    // and come at once; a client that trickles a byte now and then loses its
    // place all the same.
    int IoTimeoutMs = 10000;
    // Connections held open at once; beyond this, new ones are closed at once.
    // A little over a thousand, so that a thousand idle ones leave room for work.
    size_t MaxConnections = 1024;
    // Connections held open at once from one client address, so that one peer
    // cannot take every place. The users of a terminal server share its
    // address, each with one exchange at a time: room for a few dozen of them.
    size_t MaxConnectionsPerAddress = 64;
    // Threads that run directory operations; one more thread does all network I/O.
    int Workers = 4;
    // Request bytes held for all connections together. Real requests are tiny;
    // this keeps a thousand clients announcing 1 MiB texts from taking gigabytes.
    // When it is reached, the address holding the most of it gives way: its
    // largest request is closed without a reply (the arriving one, when its own
    // address holds the most), so every other address is still served.
    size_t MaxBufferedBytes = 64u << 20;
    // Stop waits at most this long for directory operations already running: a
    // save in progress usually ends within it and is confirmed. One that runs
    // longer (a table another workstation holds locked, or on a dead network
    // share, can hold one for minutes) is left to end by itself, so that the
    // program's end never waits for it.
    int StopWaitMs = 100;
    // Windows refuses an exclusive bind while connections the last listener on
    // the port closed are still being torn down: a restart tries this often,
    // this far apart, before it gives up.
    int BindAttempts = 15;
    int BindRetryDelayMs = 200;
};

// Stands in for ::bind (tests): 0 when bound, otherwise SOCKET_ERROR with the
// reason in WSAGetLastError.
using TBindProc = std::function<int(SOCKET socket, const sockaddr* address, int length)>;

// The directory server: one request and one reply per connection. A single I/O
// thread accepts connections and reads requests and writes replies without
// blocking; a small fixed pool runs the directory operations. So the thread
// count stays fixed however many clients connect, and silent connections cost
// a table entry, not a thread.
class TSharedDirectoryServer {
public:
    explicit TSharedDirectoryServer(ISharedDirectoryBackend& backend, TSharedDirectoryServerLimits limits = {});
    ~TSharedDirectoryServer();
    TSharedDirectoryServer(const TSharedDirectoryServer&) = delete;
    TSharedDirectoryServer& operator=(const TSharedDirectoryServer&) = delete;

    // Listens on all local IPv4 addresses. Throws AppError when the port is
    // outside 1..65535 or cannot be listened on; the server then stays stopped.
    void Start(int port, TAllowedClients allowed = {});
    // The same on a free port the system chooses (tests, tools).
    void StartOnAnyPort(TAllowedClients allowed = {});
    // Closes the listener and every open connection; a directory operation
    // already running may finish within StopWaitMs and its reply is sent if the
    // connection takes it at once. Returns without waiting out any receive.
    // False when an operation still runs after StopWaitMs: its worker is left
    // to end by itself and keeps the server's own state alive, but it still
    // uses the backend, which must outlive it.
    bool Stop();

    // The binding used by Start from now on; empty restores ::bind.
    void SetBindProc(TBindProc bind) { FBind = std::move(bind); }

    bool Active() const { return FIoThread.joinable(); }
    // The port listened on, in host byte order; 0 when stopped.
    uint16_t Port() const { return FPort; }

    struct TStats {
        uint64_t Accepted = 0;          // connections taken into service
        uint64_t RefusedByList = 0;     // closed at once: address not allowed
        uint64_t RefusedOverLimit = 0;  // closed at once: too many open
        uint64_t RefusedOverAddressLimit = 0;  // closed at once: too many open from that address
        uint64_t Answered = 0;          // replies sent in full
        uint64_t Dropped = 0;           // closed without a reply
        size_t Open = 0;
        size_t PeakOpen = 0;
    };
    TStats Stats() const;

private:
    struct Shared;
    void Listen(int port, TAllowedClients allowed);

    ISharedDirectoryBackend& FBackend;
    TSharedDirectoryServerLimits FLimits;
    WinsockSession FWinsock;
    TBindProc FBind;
    // Shared with the workers, so that one left running after Stop never
    // outlives what it uses.
    std::shared_ptr<Shared> FShared;
    std::thread FIoThread;
    uint16_t FPort = 0;
};
