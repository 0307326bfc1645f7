#include "FreePort.h"

#include "SocketHandle.h"

uint16_t FreePort() {
    WinsockSession winsock;
    UniqueSocket probe(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::bind(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    int length = sizeof(address);
    ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return ::ntohs(address.sin_port);
}
