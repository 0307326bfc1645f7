#include "SocketHandle.h"

bool SetNonBlocking(SOCKET socket, bool nonBlocking) noexcept {
    u_long mode = nonBlocking ? 1 : 0;
    return ::ioctlsocket(socket, FIONBIO, &mode) == 0;
}

bool WaitForSocket(SOCKET socket, short events, int timeoutMs, short* revents) noexcept {
    WSAPOLLFD entry{};
    entry.fd = socket;
    entry.events = events;
    const int ready = ::WSAPoll(&entry, 1, timeoutMs);
    if (revents) *revents = ready > 0 ? entry.revents : 0;
    return ready > 0;
}

std::wstring Ipv4Text(uint32_t networkOrder) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&networkOrder);
    return std::to_wstring(bytes[0]) + L"." + std::to_wstring(bytes[1]) + L"." + std::to_wstring(bytes[2]) + L"." +
           std::to_wstring(bytes[3]);
}
