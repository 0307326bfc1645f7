#include "SocketStream.h"

#include <algorithm>
#include <climits>

TSocketStream::TSocketStream(const sockaddr_in& address, TExchangeDeadline deadline, int connectTimeoutMs,
                             int ioTimeoutMs)
    : FDeadline(deadline), FIoTimeoutMs(ioTimeoutMs) {
    const int connectWaitMs = WaitLimitMs(Stage::Open, connectTimeoutMs);
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
        timeval wait{connectWaitMs / 1000, (connectWaitMs % 1000) * 1000};
        if (::select(0, nullptr, &writable, &failed, &wait) <= 0) Fail(Stage::Open, "connect timed out");
        int error = 0;
        int length = sizeof(error);
        if (::getsockopt(FSocket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
            error != 0)
            throw TExchangeFailure(Stage::Open, "connection refused");
    }
    BOOL noDelay = TRUE;
    ::setsockopt(FSocket.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
}

int TSocketStream::WaitLimitMs(Stage stage, int stepMs) const {
    using namespace std::chrono;
    // Rounded up, so that a wait never ends just before the deadline and spins.
    const auto left = ceil<milliseconds>(FDeadline - steady_clock::now()).count();
    if (left <= 0) throw TExchangeFailure(stage, "the exchange's time is up", true);
    return static_cast<int>(std::min<long long>(stepMs, left));
}

void TSocketStream::Fail(Stage stage, const char* what) const {
    throw TExchangeFailure(stage, what, std::chrono::steady_clock::now() >= FDeadline);
}

void TSocketStream::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const int chunk = static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX));
        const int sent = ::send(FSocket.get(), bytes.data(), chunk, 0);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (sent != SOCKET_ERROR || ::WSAGetLastError() != WSAEWOULDBLOCK)
            throw TExchangeFailure(Stage::Transfer, "send failed");
        if (!WaitForSocket(FSocket.get(), POLLWRNORM, WaitLimitMs(Stage::Transfer, FIoTimeoutMs)))
            Fail(Stage::Transfer, "send timed out");
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
        if (received == 0) throw TExchangeFailure(Stage::Transfer, "closed by the peer");
        if (::WSAGetLastError() != WSAEWOULDBLOCK) throw TExchangeFailure(Stage::Transfer, "receive failed");
        if (!WaitForSocket(FSocket.get(), POLLRDNORM, WaitLimitMs(Stage::Transfer, FIoTimeoutMs)))
            Fail(Stage::Transfer, "receive timed out");
    }
}
