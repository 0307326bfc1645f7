#pragma once
#include "SocketHandle.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Why a client exchange failed: the connection could not be opened, or it broke
// (time-out, closed by the peer, a malformed reply) once it was open.
class TExchangeFailure : public std::runtime_error {
public:
    enum class Stage { Open, Transfer };
    TExchangeFailure(Stage stage, const char* what) : std::runtime_error(what), FStage(stage) {}
    Stage stage() const { return FStage; }

private:
    Stage FStage;
};

// One client connection for one exchange: resolves the host (a name or a dotted
// IPv4 address) to IPv4, connects within connectTimeoutMs, then sends and
// receives with ioTimeoutMs for each single send or receive. Every failure
// throws TExchangeFailure.
class TSocketStream {
public:
    TSocketStream(const std::wstring& host, int port, int connectTimeoutMs, int ioTimeoutMs);

    void Write(std::string_view bytes);
    void ReadExact(char* buffer, size_t size);
    SOCKET get() const { return FSocket.get(); }

private:
    UniqueSocket FSocket;
    int FIoTimeoutMs;
};
