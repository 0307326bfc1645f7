#include "LoopbackHttpServer.h"

#include "BenchmarkClock.h"
#include "LoopbackListener.h"

#include <stdexcept>

namespace {

bool SendAll(SOCKET socket, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int chunk = static_cast<int>(std::min<size_t>(bytes.size() - sent, 64 * 1024));
        const int n = ::send(socket, bytes.data() + sent, chunk, 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

const char* Reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

}  // namespace

TLoopbackHttpServer::TLoopbackHttpServer(THandler handler)
    : FHandler(std::move(handler)), FStop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    FListener = ListenOnLoopback(FPort);
    FAcceptor = std::thread([this] { AcceptLoop(); });
}

TLoopbackHttpServer::~TLoopbackHttpServer() {
    ::SetEvent(FStop.get());
    FListener.reset();
    if (FAcceptor.joinable()) FAcceptor.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(FLock);
        connections = std::move(FConnections);
    }
    for (std::thread& connection : connections) connection.join();
}

std::wstring TLoopbackHttpServer::BaseUrlW() const {
    const std::string url = BaseUrl();
    return std::wstring(url.begin(), url.end());
}

std::vector<TReceivedRequest> TLoopbackHttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FRequests;
}

bool TLoopbackHttpServer::Pause(unsigned ms) const {
    return ms == 0 || ::WaitForSingleObject(FStop.get(), ms) == WAIT_TIMEOUT;
}

void TLoopbackHttpServer::AcceptLoop() {
    while (::WaitForSingleObject(FStop.get(), 0) == WAIT_TIMEOUT) {
        if (!WaitForSocket(FListener.get(), POLLRDNORM, 100)) continue;
        UniqueSocket client(::accept(FListener.get(), nullptr, nullptr));
        if (!client) continue;
        std::lock_guard<std::mutex> lock(FLock);
        FConnections.emplace_back([this, socket = std::move(client)]() mutable {
            try {
                Serve(std::move(socket));
            } catch (...) {
                // A test's connection gone wrong ends only that connection.
            }
        });
    }
}

void TLoopbackHttpServer::Serve(UniqueSocket client) {
    std::string received;
    char buffer[4096];
    while (received.find("\r\n\r\n") == std::string::npos && received.size() < 64 * 1024) {
        if (!WaitForSocket(client.get(), POLLRDNORM, 5000)) return;
        const int n = ::recv(client.get(), buffer, sizeof(buffer), 0);
        if (n <= 0) return;
        received.append(buffer, static_cast<size_t>(n));
    }
    TReceivedRequest request;
    const size_t lineEnd = received.find("\r\n");
    const std::string line = received.substr(0, lineEnd);
    const size_t firstSpace = line.find(' ');
    const size_t secondSpace = line.find(' ', firstSpace + 1);
    request.Target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    request.Headers = received.substr(lineEnd + 2, received.find("\r\n\r\n") - lineEnd);
    {
        std::lock_guard<std::mutex> lock(FLock);
        FRequests.push_back(request);
    }
    ++FCount;
    const THttpScript script = FHandler(request);
    if (!Pause(script.DelayMs)) return;
    std::string head = "HTTP/1.1 " + std::to_string(script.Status) + " " + Reason(script.Status) + "\r\n";
    head += "Content-Type: " + script.ContentType + "\r\n";
    if (script.DeclareLength) head += "Content-Length: " + std::to_string(script.Body.size()) + "\r\n";
    for (const std::string& header : script.ExtraHeaders) head += header + "\r\n";
    head += "Connection: close\r\n\r\n";
    if (!SendAll(client.get(), head)) return;
    if (script.TrickleMs == 0) {
        if (!SendAll(client.get(), script.Body)) return;
    } else {
        for (const char c : script.Body)
            if (!Pause(script.TrickleMs) || !SendAll(client.get(), std::string(1, c))) return;
    }
    FLastSentUs = NowMicroseconds();
    ::shutdown(client.get(), SD_SEND);
    // Let the client read everything before the socket closes.
    while (WaitForSocket(client.get(), POLLRDNORM, 2000) && ::recv(client.get(), buffer, sizeof(buffer), 0) > 0) {
    }
}

uint16_t UnusedLoopbackPort() {
    WinsockSession winsock;
    uint16_t port = 0;
    UniqueSocket probe = ListenOnLoopback(port);
    return port;
}
