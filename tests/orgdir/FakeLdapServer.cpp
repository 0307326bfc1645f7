#include "FakeLdapServer.h"

#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <vector>

namespace {

using TBytes = std::string;

TBytes Length(size_t length) {
    if (length < 0x80) return TBytes(1, static_cast<char>(length));
    TBytes bytes = "\x84";
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((length >> shift) & 0xFF);
    return bytes;
}

TBytes Tlv(unsigned char tag, const TBytes& content) { return static_cast<char>(tag) + Length(content.size()) + content; }
TBytes Text(std::string_view text) { return Tlv(0x04, TBytes(text)); }
TBytes Integer(uint32_t value) {
    TBytes bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<char>(value & 0xFF));
        value >>= 8;
    } while (value != 0);
    if (static_cast<unsigned char>(bytes.front()) & 0x80) bytes.insert(bytes.begin(), '\0');
    return Tlv(0x02, bytes);
}
TBytes Message(uint32_t id, const TBytes& operation, const TBytes& controls = {}) {
    return Tlv(0x30, Integer(id) + operation + controls);
}
TBytes Success(unsigned char tag) { return Tlv(tag, Tlv(0x0A, TBytes(1, '\0')) + Text("") + Text("")); }

TBytes Entry(uint32_t id, int number, size_t titleLength) {
    const std::string n = std::to_string(number);
    auto attribute = [](std::string_view type, const std::string& value) {
        return Tlv(0x30, Text(type) + Tlv(0x31, Text(value)));
    };
    const TBytes attributes = attribute("cn", "Person " + n) + attribute("telephoneNumber", std::to_string(1000000 + number)) +
                              attribute("title", std::string(titleLength, 'x'));
    return Message(id, Tlv(0x64, Text("uid=p" + n + ",dc=fake,dc=test") + Tlv(0x30, attributes)));
}

TBytes PageDone(uint32_t id, const std::string& cookie) {
    const TBytes value = Tlv(0x30, Integer(0) + Text(cookie));
    const TBytes control = Tlv(0x30, Text("1.2.840.113556.1.4.319") + Text(value));
    return Message(id, Success(0x65), Tlv(0xA0, control));
}

// The length of a whole BER element at the start of data; 0 while incomplete.
size_t ElementSize(std::string_view data) {
    if (data.size() < 2) return 0;
    const auto first = static_cast<unsigned char>(data[1]);
    size_t header = 2, length = first;
    if (first & 0x80) {
        const size_t count = first & 0x7F;
        if (count == 0 || count > 4 || data.size() < 2 + count) return 0;
        length = 0;
        for (size_t i = 0; i < count; ++i) length = (length << 8) | static_cast<unsigned char>(data[2 + i]);
        header += count;
    }
    return data.size() >= header + length ? header + length : 0;
}
size_t HeaderSize(std::string_view data) {
    const auto first = static_cast<unsigned char>(data[1]);
    return 2 + ((first & 0x80) ? (first & 0x7F) : 0);
}

// A search of the root entry (an empty base), as a client asks what kind of
// server this is: not one of the pages.
bool RootEntrySearch(std::string_view search) {
    if (search.size() < 2) return false;
    const size_t at = HeaderSize(search);
    return search.size() >= at + 2 && search[at] == 0x04 && search[at + 1] == 0x00;
}

struct TConnection {
    SOCKET Socket = INVALID_SOCKET;
    TBytes In, Out;
};

// Sends what the socket takes now.
void SendSome(TConnection& c) {
    size_t done = 0;
    while (done < c.Out.size()) {
        const int sent =
            ::send(c.Socket, c.Out.data() + done, static_cast<int>(std::min<size_t>(c.Out.size() - done, 1 << 16)), 0);
        if (sent <= 0) break;
        done += static_cast<size_t>(sent);
    }
    c.Out.erase(0, done);
}

}  // namespace

TFakeLdapServer::TFakeLdapServer(TMode mode, TFakeLdapPages pages) : mode_(mode), shape_(pages) {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (listener == INVALID_SOCKET || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener, 8) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener != INVALID_SOCKET) ::closesocket(listener);
        return;
    }
    listener_ = listener;
    port_ = ::ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

TFakeLdapServer::~TFakeLdapServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (Listening()) ::closesocket(static_cast<SOCKET>(listener_));
    ::WSACleanup();
}

void TFakeLdapServer::Serve() noexcept {
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    const SOCKET listener = static_cast<SOCKET>(listener_);
    std::vector<TConnection> connections;
    int page = 0;
    try {
        while (!stop_ && std::chrono::steady_clock::now() < until) {
            fd_set readable, writable;
            FD_ZERO(&readable);
            FD_ZERO(&writable);
            FD_SET(listener, &readable);
            for (const TConnection& c : connections) {
                FD_SET(c.Socket, &readable);
                if (!c.Out.empty()) FD_SET(c.Socket, &writable);
            }
            timeval timeout{0, 50 * 1000};
            if (::select(0, &readable, &writable, nullptr, &timeout) <= 0) continue;
            if (FD_ISSET(listener, &readable)) {
                const SOCKET accepted = ::accept(listener, nullptr, nullptr);
                if (accepted != INVALID_SOCKET) {
                    u_long nonBlocking = 1;
                    ::ioctlsocket(accepted, FIONBIO, &nonBlocking);
                    connections.push_back({accepted, {}, {}});
                    ++connections_;
                }
            }
            for (TConnection& c : connections) {
                if (FD_ISSET(c.Socket, &writable)) SendSome(c);
                if (!FD_ISSET(c.Socket, &readable)) continue;
                char buffer[4096];
                const int received = ::recv(c.Socket, buffer, sizeof(buffer), 0);
                if (received <= 0) {
                    ::closesocket(c.Socket);
                    c.Socket = INVALID_SOCKET;
                    continue;
                }
                c.In.append(buffer, static_cast<size_t>(received));
                for (size_t size; (size = ElementSize(c.In)) != 0; c.In.erase(0, size)) {
                    // LDAPMessage: SEQUENCE { messageID INTEGER, protocolOp ... }
                    const std::string_view message(c.In.data(), size);
                    const size_t at = HeaderSize(message);
                    if (message.size() < at + 3 || message[at] != 0x02) continue;
                    const size_t idLength = static_cast<unsigned char>(message[at + 1]);
                    uint32_t id = 0;
                    for (size_t i = 0; i < idLength && at + 2 + i < message.size(); ++i)
                        id = (id << 8) | static_cast<unsigned char>(message[at + 2 + i]);
                    const size_t op = at + 2 + idLength;
                    if (op >= message.size()) continue;
                    const auto tag = static_cast<unsigned char>(message[op]);
                    if (tag == 0x50) ++abandons_;
                    if (mode_ == TMode::Silent) continue;
                    if (tag == 0x60) c.Out += Message(id, Success(0x61));
                    if (tag != 0x63 || mode_ == TMode::BindOnly) continue;
                    if (RootEntrySearch(message.substr(op))) {
                        c.Out += Message(id, Success(0x65));
                        continue;
                    }
                    ++page;
                    ++pages_;
                    // The same cookie comes with the same page again: a read in circles.
                    const int first = mode_ == TMode::SameCookie ? 0 : page * shape_.EntriesPerPage;
                    for (int i = 0; i < shape_.EntriesPerPage; ++i)
                        c.Out += Entry(id, first + i, shape_.TitleLength);
                    const bool last = mode_ == TMode::FreshCookies && shape_.LastPage != 0 && page >= shape_.LastPage;
                    c.Out += PageDone(id, last ? "" : mode_ == TMode::SameCookie ? "same" : "page-" + std::to_string(page));
                }
                // At once: the next select would only wake for it after its time-out.
                SendSome(c);
            }
            connections.erase(std::remove_if(connections.begin(), connections.end(),
                                             [](const TConnection& c) { return c.Socket == INVALID_SOCKET; }),
                              connections.end());
        }
    } catch (...) {
    }
    for (const TConnection& c : connections) ::closesocket(c.Socket);
}
