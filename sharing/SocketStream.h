#pragma once
#include "SocketHandle.h"

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Why a client exchange failed: the server's name did not resolve, the
// connection could not be opened, or it broke (time-out, closed by the peer, a
// malformed reply) once it was open. deadlinePassed: the whole exchange's time was up.
class TExchangeFailure : public std::runtime_error {
public:
    enum class Stage { Resolve, Open, Transfer };
    TExchangeFailure(Stage stage, const char* what, bool deadlinePassed = false)
        : std::runtime_error(what), FStage(stage), FDeadlinePassed(deadlinePassed) {}
    Stage stage() const { return FStage; }
    bool deadlinePassed() const { return FDeadlinePassed; }

private:
    Stage FStage;
    bool FDeadlinePassed;
};

using TExchangeDeadline = std::chrono::steady_clock::time_point;

// One client connection for one exchange with an IPv4 address: connects within
// connectTimeoutMs, then sends and receives with ioTimeoutMs for each single
// send or receive, and never waits past the deadline of the whole exchange, so
// that a server trickling its reply cannot hold the caller. Every failure
// throws TExchangeFailure.
class TSocketStream {
public:
    TSocketStream(const sockaddr_in& address, TExchangeDeadline deadline, int connectTimeoutMs, int ioTimeoutMs);

    void Write(std::string_view bytes);
    void ReadExact(char* buffer, size_t size);
    SOCKET get() const { return FSocket.get(); }

private:
    using Stage = TExchangeFailure::Stage;
    // The time one wait may take: stepMs, or less as the deadline nears. Throws
    // once the deadline has passed.
    int WaitLimitMs(Stage stage, int stepMs) const;
    // A wait that ended without the socket ready: the deadline's or the step's time-out.
    [[noreturn]] void Fail(Stage stage, const char* what) const;

    UniqueSocket FSocket;
    TExchangeDeadline FDeadline;
    int FIoTimeoutMs;
};
