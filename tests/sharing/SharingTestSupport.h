#pragma once
#include "CallerLookup.h"
#include "SharedDirectoryServer.h"
#include "FreePort.h"
#include "SocketHandle.h"
#include "TestFolders.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Raw bytes written the way the protocol shows them: "01 00 00 00".
std::string HexBytes(const std::string& hex);
std::string HexOf(const std::string& bytes);

// A plain client connection to 127.0.0.1 for driving a server byte by byte;
// from another loopback address (127.0.0.2) it stands for another workstation.
class RawConnection {
public:
    explicit RawConnection(uint16_t port, const char* from = nullptr);
    bool connected() const { return socket_.valid(); }
    bool Send(const std::string& bytes);
    // Everything the peer sends until it closes the connection or timeoutMs pass.
    struct Received {
        std::string bytes;
        bool closed = false;  // the peer ended the connection
    };
    Received ReadUntilClosed(int timeoutMs);
    SOCKET get() const { return socket_.get(); }
    void Close() { socket_.reset(); }
    // Closes with a reset instead of the orderly end.
    void Abort();

private:
    WinsockSession winsock_;
    UniqueSocket socket_;
};

// One request on a fresh connection: the reply and whether the server closed.
RawConnection::Received Exchange(uint16_t port, const std::string& request, int timeoutMs = 5000);

// A city-code table and a subscriber table in temporary folders, both open,
// with the caller lookup over them.
class TestDirectories {
public:
    TestDirectories();
    TTQRDataModule& areas() { return areas_; }
    TPQRDataModule& subscribers() { return subscribers_; }
    TCallerLookup& lookup() { return lookup_; }
    std::wstring Stored(const std::wstring& phone);

private:
    TempFolder cityFolder_, subscriberFolder_;
    TTQRDataModule areas_;
    TPQRDataModule subscribers_;
    TCallerLookup lookup_;
};

// The real backend with a gate in front of every call and a way to make saves fail.
class HookedBackend final : public ISharedDirectoryBackend {
public:
    explicit HookedBackend(ISharedDirectoryBackend& inner) : inner_(inner) {}
    // A server's stop may leave a worker inside a call: the gate opens and the
    // call is waited out, so that it never runs on a destroyed backend.
    ~HookedBackend() override;
    bool CheckDB() override;
    bool GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                          std::wstring& comment) override;
    void AddEditRow(const std::wstring& phone, const std::wstring& name, const std::wstring& comment) override;

    // While closed, every call waits at the gate.
    void CloseGate();
    void OpenGate();
    // Waits until count calls have reached the gate (or passed it).
    bool WaitForCalls(int count, int timeoutMs = 5000);
    std::atomic<bool> failSaves{false};

private:
    // Counts a call from its gate to its return.
    class Inside {
    public:
        explicit Inside(HookedBackend& hooked);
        ~Inside();
        Inside(const Inside&) = delete;
        Inside& operator=(const Inside&) = delete;

    private:
        HookedBackend& hooked_;
    };
    ISharedDirectoryBackend& inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool gateClosed_ = false;
    int calls_ = 0;
    int inside_ = 0;
};

// A listener on 127.0.0.1 that runs a script for each connection it accepts, on
// a thread of its own: a misbehaving directory server for the client's tests.
class ScriptedServer {
public:
    explicit ScriptedServer(std::function<void(SOCKET)> script, int backlog = SOMAXCONN, bool accept = true);
    ~ScriptedServer();
    uint16_t port() const { return port_; }

private:
    WinsockSession winsock_;
    UniqueSocket listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// Threads of this process, for the server's fixed thread bound.
int ProcessThreadCount();
