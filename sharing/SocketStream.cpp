#include "SocketStream.h"

#include <algorithm>
#include <climits>

namespace {

using Stage = TExchangeFailure::Stage;

sockaddr_in Resolve(const std::wstring& host, int port) {
    if (host.empty()) throw TExchangeFailure(Stage::Open, "no server address");
    if (port < 1 || port > 65535) throw TExchangeFailure(Stage::Open, "port outside 1..65535");
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* found = nullptr;
    if (::GetAddrInfoW(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        throw TExchangeFailure(Stage::Open, "the server's name is not resolved");
    sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    ::FreeAddrInfoW(found);
    address.sin_port = ::htons(static_cast<u_short>(port));
    return address;
}

}  // namespace

TSocketStream::TSocketStream(const std::wstring& host, int port, int connectTimeoutMs, int ioTimeoutMs)
    : FIoTimeoutMs(ioTimeoutMs) {
    const sockaddr_in address = Resolve(host, port);
    FSocket.reset(::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
    if (!FSocket) throw TExchangeFailure(Stage::Open, "no socket");
    // Non-blocking throughout: every wait below has its own time-out.
    if (!SetNonBlocking(FSocket.get(), true)) throw TExchangeFailure(Stage::Open, "no non-blocking mode");
    if (::connect(FSocket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) throw TExchangeFailure(Stage::Open, "connection refused");
        // select, not WSAPoll: older Windows never reports a refused connect to WSAPoll.
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(FSocket.get(), &writable);
        FD_SET(FSocket.get(), &failed);
        timeval wait{connectTimeoutMs / 1000, (connectTimeoutMs % 1000) * 1000};
        if (::select(0, nullptr, &writable, &failed, &wait) <= 0)
            throw TExchangeFailure(Stage::Open, "connect timed out");
        int error = 0;
        int length = sizeof(error);
        if (::getsockopt(FSocket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
            error != 0)
            throw TExchangeFailure(Stage::Open, "connection refused");
    }
    BOOL noDelay = TRUE;
    ::setsockopt(FSocket.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
}

void TSocketStream::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const int chunk = static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX));
        const int sent = ::send(FSocket.get(), bytes.data(), chunk, 0);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK &&
            WaitForSocket(FSocket.get(), POLLWRNORM, FIoTimeoutMs))
            continue;
        throw TExchangeFailure(Stage::Transfer, "send failed or timed out");
    }
}

void TSocketStream::ReadExact(char* buffer, size_t size) {
    while (size > 0) {
        const int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
        const int received = ::recv(FSocket.get(), buffer, chunk, 0);
        if (received > 0) {
            buffer += received;
            size -= static_cast<size_t>(received);
            continue;
        }
        if (received == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK &&
            WaitForSocket(FSocket.get(), POLLRDNORM, FIoTimeoutMs))
            continue;
        throw TExchangeFailure(Stage::Transfer, received == 0 ? "closed by the peer" : "receive failed or timed out");
    }
}
