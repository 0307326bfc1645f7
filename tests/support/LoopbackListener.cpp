#include "LoopbackListener.h"

#include <stdexcept>

UniqueSocket ListenOnLoopback(uint16_t& port) {
    UniqueSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener.get(), SOMAXCONN) != 0)
        throw std::runtime_error("bind/listen");
    int length = sizeof(address);
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port = ::ntohs(address.sin_port);
    return listener;
}
