#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include "UniqueHandle.h"

#include <cstdint>
#include <string>

struct SocketTraits {
    using Value = SOCKET;
    static Value invalid() noexcept { return INVALID_SOCKET; }
    static void close(Value v) noexcept { ::closesocket(v); }
};
using UniqueSocket = UniqueHandle<SocketTraits>;

// Winsock for the object's lifetime; sessions nest, so every user holds its own.
class WinsockSession {
public:
    WinsockSession() noexcept {
        WSADATA data{};
        ok_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (ok_) ::WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool ok() const noexcept { return ok_; }

private:
    bool ok_ = false;
};

bool SetNonBlocking(SOCKET socket, bool nonBlocking) noexcept;

// Waits until the socket is ready for the given poll events; false on time-out
// or failure. revents gets what happened.
bool WaitForSocket(SOCKET socket, short events, int timeoutMs, short* revents = nullptr) noexcept;

// Dotted text of an IPv4 address in network byte order ("127.0.0.1").
std::wstring Ipv4Text(uint32_t networkOrder);
