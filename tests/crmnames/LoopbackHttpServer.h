#pragma once
#include "SocketHandle.h"
#include "UniqueHandle.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How the test server answers one request.
struct THttpScript {
    int Status = 200;
    std::string ContentType = "application/json; charset=utf-8";
    std::string Body;
    std::vector<std::string> ExtraHeaders;  // "Location: file:///C:/windows/win.ini"
    unsigned DelayMs = 0;                   // before the first byte of the answer
    unsigned TrickleMs = 0;                 // nonzero: the body a byte at a time with this pause
    bool DeclareLength = true;              // false: the body ends when the connection closes
};

struct TReceivedRequest {
    std::string Target;   // "/lookup?phone=..."
    std::string Headers;  // the header lines as received
};

// A small HTTP/1.1 server on 127.0.0.1 and a free port, one thread per
// connection, every answer closing its connection. Stops on destruction,
// cutting delays and trickles short.
class TLoopbackHttpServer {
public:
    using THandler = std::function<THttpScript(const TReceivedRequest&)>;

    explicit TLoopbackHttpServer(THandler handler);
    ~TLoopbackHttpServer();
    TLoopbackHttpServer(const TLoopbackHttpServer&) = delete;
    TLoopbackHttpServer& operator=(const TLoopbackHttpServer&) = delete;

    uint16_t Port() const { return FPort; }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(FPort); }
    std::wstring BaseUrlW() const;
    int RequestCount() const { return FCount.load(); }
    std::vector<TReceivedRequest> Requests() const;
    // When the last answer's final byte was sent (performance counter, µs).
    double LastAnswerSentUs() const { return FLastSentUs.load(); }

private:
    void AcceptLoop();
    void Serve(UniqueSocket client);
    bool Pause(unsigned ms) const;

    THandler FHandler;
    WinsockSession FWinsock;
    UniqueSocket FListener;
    uint16_t FPort = 0;
    UniqueKernelHandle FStop;
    std::atomic<int> FCount{0};
    std::atomic<double> FLastSentUs{0};
    mutable std::mutex FLock;  // guards FRequests and FConnections
    std::vector<TReceivedRequest> FRequests;
    std::vector<std::thread> FConnections;
    std::thread FAcceptor;
};

// A port on 127.0.0.1 where nothing listens (bound and closed at once).
uint16_t UnusedLoopbackPort();
