#include "SharingTestSupport.h"

#include "CityCodesImport.h"

#include <tlhelp32.h>

#include <cstdio>

std::string HexBytes(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

std::string HexOf(const std::string& bytes) {
    std::string hex;
    char piece[4];
    for (unsigned char byte : bytes) {
        std::snprintf(piece, sizeof(piece), hex.empty() ? "%02X" : " %02X", byte);
        hex += piece;
    }
    return hex;
}

RawConnection::RawConnection(uint16_t port, const char* from) {
    socket_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (from) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = ::inet_addr(from);
        if (::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
            socket_.reset();
            return;
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    address.sin_port = ::htons(port);
    if (::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        socket_.reset();
        return;
    }
    // Pieces of a request go out as they are sent, not held back for an acknowledgement.
    BOOL noDelay = TRUE;
    ::setsockopt(socket_.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
}

bool RawConnection::Send(const std::string& bytes) {
    return ::send(socket_.get(), bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
}

RawConnection::Received RawConnection::ReadUntilClosed(int timeoutMs) {
    Received received;
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return received;
        if (!WaitForSocket(socket_.get(), POLLRDNORM, static_cast<int>(deadline - now))) return received;
        char buffer[4096];
        const int count = ::recv(socket_.get(), buffer, sizeof(buffer), 0);
        if (count <= 0) {
            received.closed = true;
            return received;
        }
        received.bytes.append(buffer, static_cast<size_t>(count));
    }
}

void RawConnection::Abort() {
    linger hard{1, 0};
    ::setsockopt(socket_.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
    socket_.reset();
}

RawConnection::Received Exchange(uint16_t port, const std::string& request, int timeoutMs) {
    RawConnection connection(port);
    if (!connection.connected() || !connection.Send(request)) return {};
    return connection.ReadUntilClosed(timeoutMs);
}

TestDirectories::TestDirectories()
    : areas_(cityFolder_.path()), subscribers_(subscriberFolder_.file(L"PQR"), subscriberFolder_.file(L"old")),
      lookup_(areas_, subscribers_) {
    BuildCityCodesTable(cityFolder_.path(), {{L"7", L"Россия"}, {L"7495", L"Москва"}, {L"7812", L"Санкт-Петербург"}});
    areas_.Open();
    subscribers_.Open();
    subscribers_.AddEditRow(L"74951234567", L"Иван Петров", L"Поставщик бумаги");
}

std::wstring TestDirectories::Stored(const std::wstring& phone) { return subscribers_.AbonentByPhone(phone); }

HookedBackend::~HookedBackend() {
    std::unique_lock<std::mutex> lock(mutex_);
    gateClosed_ = false;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return inside_ == 0; });
}

HookedBackend::Inside::Inside(HookedBackend& hooked) : hooked_(hooked) {
    std::unique_lock<std::mutex> lock(hooked_.mutex_);
    ++hooked_.calls_;
    ++hooked_.inside_;
    hooked_.changed_.notify_all();
    hooked_.changed_.wait(lock, [&] { return !hooked_.gateClosed_; });
}

HookedBackend::Inside::~Inside() {
    std::lock_guard<std::mutex> lock(hooked_.mutex_);
    --hooked_.inside_;
    hooked_.changed_.notify_all();
}

bool HookedBackend::CheckDB() {
    const Inside inside(*this);
    return inner_.CheckDB();
}

bool HookedBackend::GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name,
                                                     std::wstring& region, std::wstring& comment) {
    const Inside inside(*this);
    return inner_.GetNameRegionCommentByPhoneLocal(phone, name, region, comment);
}

void HookedBackend::AddEditRow(const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
    const Inside inside(*this);
    if (failSaves) throw std::runtime_error("the table refused the row");
    inner_.AddEditRow(phone, name, comment);
}

void HookedBackend::CloseGate() {
    std::lock_guard<std::mutex> lock(mutex_);
    gateClosed_ = true;
}

void HookedBackend::OpenGate() {
    std::lock_guard<std::mutex> lock(mutex_);
    gateClosed_ = false;
    changed_.notify_all();
}

bool HookedBackend::WaitForCalls(int count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return calls_ >= count; });
}

ScriptedServer::ScriptedServer(std::function<void(SOCKET)> script, int backlog, bool accept) {
    listener_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    ::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    ::listen(listener_.get(), backlog);
    int length = sizeof(address);
    ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ::ntohs(address.sin_port);
    if (!accept) return;
    thread_ = std::thread([this, script] {
        while (!stopping_) {
            if (!WaitForSocket(listener_.get(), POLLRDNORM, 100)) continue;
            UniqueSocket connection(::accept(listener_.get(), nullptr, nullptr));
            if (connection) script(connection.get());
        }
    });
}

ScriptedServer::~ScriptedServer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

int ProcessThreadCount() {
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
        count += entry.th32OwnerProcessID == self;
    return count;
}
