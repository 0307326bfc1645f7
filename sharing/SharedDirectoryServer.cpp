#include "SharedDirectoryServer.h"

#include "AppError.h"
#include "CallerLookup.h"
#include "SharedDirectoryProtocol.h"
#include "TextConvert.h"
#include "pqrUnit.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <optional>
#include <unordered_map>
#include <vector>

using namespace SharedDirectoryProtocol;

bool TCallerLookupBackend::CheckDB() { return FLookup.CheckDB(); }

bool TCallerLookupBackend::GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name,
                                                           std::wstring& region, std::wstring& comment) {
    return FLookup.GetNameRegionCommentByPhoneLocal(phone, name, region, comment);
}

void TCallerLookupBackend::AddEditRow(const std::wstring& phone, const std::wstring& name,
                                      const std::wstring& comment) {
    FAbonentList.AddEditRow(phone, name, comment);
}

namespace {

// The reply to one request; nothing for an unknown code or a failed operation,
// which close the connection without a reply.
std::optional<std::string> Serve(ISharedDirectoryBackend& backend, const TSharedDirectoryRequest& request) noexcept {
    try {
        switch (request.Code) {
        case kCheckRequest:
            return EncodeCheckReply(backend.CheckDB());
        case kLookupRequest: {
            std::wstring name, region, comment;
            if (!backend.GetNameRegionCommentByPhoneLocal(request.Phone, name, region, comment))
                return EncodeLookupReply(kLookupNotDone);
            return EncodeLookupReply(kLookupDone, name, region, comment);
        }
        case kSaveRequest:
            backend.AddEditRow(request.Phone, request.Name, request.Comment);
            return EncodeSaveReply();
        default:
            return std::nullopt;
        }
    } catch (...) {
        return std::nullopt;
    }
}

void RaiseThreadPriority() { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); }

}  // namespace

struct TSharedDirectoryServer::Shared {
    struct Job {
        uint64_t id;
        TSharedDirectoryRequest request;
    };
    struct Done {
        uint64_t id;
        std::optional<std::string> reply;
    };
    enum class State { Reading, Working, Writing };
    struct Connection {
        UniqueSocket socket;
        uint32_t address = 0;  // the peer's, in network byte order
        State state = State::Reading;
        TRequestReader reader;
        std::string reply;
        size_t sent = 0;
        size_t received = 0;  // request bytes held, counted in buffered
        // Set at the accept and again when the reply is ready; never moved by a
        // byte that arrives or leaves.
        ULONGLONG deadline = 0;
    };

    Shared(ISharedDirectoryBackend& backend, TSharedDirectoryServerLimits limits, TAllowedClients allowed)
        : backend(backend), limits(limits), allowed(std::move(allowed)) {}

    // Winsock stays up while a worker left running after a stop still holds this.
    WinsockSession winsock;
    ISharedDirectoryBackend& backend;
    const TSharedDirectoryServerLimits limits;
    const TAllowedClients allowed;
    UniqueSocket listener;
    // A datagram to this socket wakes the I/O thread out of its poll.
    UniqueSocket wake;
    sockaddr_in wakeAddress{};
    std::atomic<bool> wakePending{false};
    std::atomic<bool> stopping{false};
    // When a stop stops waiting for running operations; set before stopping.
    std::atomic<ULONGLONG> stopDeadline{0};

    std::mutex lock;  // guards jobs, done, busy and workersStop
    std::condition_variable jobReady;
    std::condition_variable workerIdle;
    std::deque<Job> jobs;
    std::vector<Done> done;
    size_t busy = 0;  // workers inside a directory operation
    bool workersStop = false;
    // Started by Listen, ended by Stop once the I/O thread is gone.
    std::vector<std::thread> workers;

    // Owned by the I/O thread alone.
    std::unordered_map<uint64_t, Connection> connections;
    std::unordered_map<uint32_t, size_t> openPerAddress;
    std::unordered_map<uint32_t, size_t> bufferedPerAddress;  // request bytes held, by client address
    uint64_t nextId = 1;
    size_t buffered = 0;

    std::atomic<uint64_t> accepted{0}, refusedByList{0}, refusedOverLimit{0}, refusedOverAddressLimit{0},
        answered{0}, dropped{0};
    std::atomic<size_t> open{0}, peakOpen{0};

    void Wake() noexcept {
        if (wakePending.exchange(true)) return;
        const char byte = 0;
        ::sendto(wake.get(), &byte, 1, 0, reinterpret_cast<const sockaddr*>(&wakeAddress), sizeof(wakeAddress));
    }

    void WorkerLoop() noexcept {
        RaiseThreadPriority();
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> guard(lock);
                jobReady.wait(guard, [&] { return workersStop || !jobs.empty(); });
                if (jobs.empty()) return;
                job = std::move(jobs.front());
                jobs.pop_front();
                ++busy;
            }
            std::optional<std::string> reply = Serve(backend, job.request);
            {
                std::lock_guard<std::mutex> guard(lock);
                try {
                    done.push_back({job.id, std::move(reply)});
                } catch (...) {
                    // No memory for the reply: its connection ends at its deadline.
                }
                --busy;
            }
            workerIdle.notify_all();
            Wake();
        }
    }

    void Close(uint64_t id, bool answeredInFull) {
        auto found = connections.find(id);
        if (found == connections.end()) return;
        if (answeredInFull) {
            ::shutdown(found->second.socket.get(), SD_SEND);
            ++answered;
        } else {
            ++dropped;
        }
        buffered -= found->second.received;
        Unbuffer(found->second.address, found->second.received);
        auto peer = openPerAddress.find(found->second.address);
        if (peer != openPerAddress.end() && --peer->second == 0) openPerAddress.erase(peer);
        connections.erase(found);
        open = connections.size();
    }

    void Unbuffer(uint32_t address, size_t bytes) {
        if (bytes == 0) return;
        auto held = bufferedPerAddress.find(address);
        if (held != bufferedPerAddress.end() && (held->second -= bytes) == 0) bufferedPerAddress.erase(held);
    }

    // Room in the shared budget for more bytes of this connection's request.
    // When the budget runs out, the address holding the most of it gives way
    // (its largest request first): so each address keeps its share, and many
    // large requests from one address never shut another address out.
    bool MakeRoom(uint64_t id, const Connection& connection, size_t wanted) {
        while (buffered + wanted > limits.MaxBufferedBytes) {
            uint32_t heaviest = connection.address;
            const auto own = bufferedPerAddress.find(connection.address);
            size_t heaviestBytes = (own == bufferedPerAddress.end() ? 0 : own->second) + wanted;
            for (const auto& [address, bytes] : bufferedPerAddress)
                if (bytes > heaviestBytes) {
                    heaviest = address;
                    heaviestBytes = bytes;
                }
            if (heaviest == connection.address) return false;
            uint64_t victim = 0;
            size_t victimBytes = 0;
            for (const auto& [otherId, other] : connections)
                if (otherId != id && other.address == heaviest && other.received > victimBytes) {
                    victim = otherId;
                    victimBytes = other.received;
                }
            if (victimBytes == 0) return false;
            Close(victim, false);
        }
        return true;
    }

    void AcceptAll(ULONGLONG now) {
        // A burst at a time, so that a flood cannot starve the open connections.
        for (int i = 0; i < 256; ++i) {
            sockaddr_in peer{};
            int length = sizeof(peer);
            UniqueSocket socket(::accept(listener.get(), reinterpret_cast<sockaddr*>(&peer), &length));
            if (!socket) return;
            const uint32_t address = peer.sin_addr.s_addr;
            if (!allowed.Allows(address)) {
                ++refusedByList;
                continue;
            }
            const auto fromPeer = openPerAddress.find(address);
            if (fromPeer != openPerAddress.end() && fromPeer->second >= limits.MaxConnectionsPerAddress) {
                ++refusedOverAddressLimit;
                continue;
            }
            if (connections.size() >= limits.MaxConnections || !SetNonBlocking(socket.get(), true)) {
                ++refusedOverLimit;
                continue;
            }
            BOOL noDelay = TRUE;
            ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                         sizeof(noDelay));
            const uint64_t id = nextId++;
            Connection& connection = connections[id];
            connection.socket = std::move(socket);
            connection.address = address;
            connection.deadline = now + static_cast<ULONGLONG>(limits.IoTimeoutMs);
            ++openPerAddress[address];
            ++accepted;
            open = connections.size();
            if (open > peakOpen) peakOpen = open.load();
            // On a near link the request is often here already: no poll round for it.
            Read(id, connection);
        }
    }

    void Read(uint64_t id, Connection& connection) {
        char buffer[16384];
        for (;;) {
            const int received = ::recv(connection.socket.get(), buffer, sizeof(buffer), 0);
            if (received == 0 || (received < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK)) {
                Close(id, false);
                return;
            }
            if (received < 0) return;
            if (!MakeRoom(id, connection, static_cast<size_t>(received))) {
                Close(id, false);
                return;
            }
            buffered += static_cast<size_t>(received);
            bufferedPerAddress[connection.address] += static_cast<size_t>(received);
            connection.received += static_cast<size_t>(received);
            size_t consumed = 0;
            switch (connection.reader.Feed(buffer, static_cast<size_t>(received), consumed)) {
            case TRequestReader::State::NeedMore:
                continue;
            case TRequestReader::State::Invalid:
                Close(id, false);
                return;
            case TRequestReader::State::Complete: {
                connection.state = State::Working;
                {
                    std::lock_guard<std::mutex> guard(lock);
                    jobs.push_back({id, connection.reader.Request()});
                }
                jobReady.notify_one();
                return;
            }
            }
        }
    }

    void Write(uint64_t id, Connection& connection) {
        while (connection.sent < connection.reply.size()) {
            const int sent = ::send(connection.socket.get(), connection.reply.data() + connection.sent,
                                    static_cast<int>(connection.reply.size() - connection.sent), 0);
            if (sent < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) return;
            if (sent <= 0) {
                Close(id, false);
                return;
            }
            connection.sent += static_cast<size_t>(sent);
        }
        Close(id, true);
    }

    void TakeDone(ULONGLONG now) {
        wakePending = false;
        std::vector<Done> finished;
        {
            std::lock_guard<std::mutex> guard(lock);
            finished.swap(done);
        }
        for (Done& item : finished) {
            auto found = connections.find(item.id);
            if (found == connections.end()) continue;
            if (!item.reply) {
                Close(item.id, false);
                continue;
            }
            found->second.state = State::Writing;
            found->second.reply = std::move(*item.reply);
            found->second.deadline = now + static_cast<ULONGLONG>(limits.IoTimeoutMs);
            Write(item.id, found->second);
        }
    }

    void IoLoop() noexcept {
        try {
            RaiseThreadPriority();
            std::vector<WSAPOLLFD> polled;
            std::vector<uint64_t> ids;
            while (!stopping) {
                ULONGLONG now = ::GetTickCount64();
                // Connections past their deadline (not in a directory operation) are closed.
                ULONGLONG nearest = now + 1000;
                for (auto it = connections.begin(); it != connections.end();) {
                    Connection& connection = it->second;
                    if (connection.state != State::Working && connection.deadline <= now) {
                        const uint64_t id = it->first;
                        ++it;
                        Close(id, false);
                        continue;
                    }
                    if (connection.state != State::Working && connection.deadline < nearest)
                        nearest = connection.deadline;
                    ++it;
                }
                polled.clear();
                ids.clear();
                polled.push_back({listener.get(), POLLRDNORM, 0});
                polled.push_back({wake.get(), POLLRDNORM, 0});
                for (auto& [id, connection] : connections) {
                    if (connection.state == State::Working) continue;
                    polled.push_back(
                        {connection.socket.get(), static_cast<short>(connection.state == State::Reading ? POLLRDNORM : POLLWRNORM), 0});
                    ids.push_back(id);
                }
                const int ready = ::WSAPoll(polled.data(), static_cast<ULONG>(polled.size()),
                                            static_cast<INT>(nearest - now));
                if (stopping) break;
                if (ready < 0) {
                    ::Sleep(10);
                    continue;
                }
                now = ::GetTickCount64();
                if (polled[1].revents) {
                    char drain[64];
                    while (::recv(wake.get(), drain, sizeof(drain), 0) > 0) {
                    }
                }
                TakeDone(now);
                for (size_t i = 0; i < ids.size(); ++i) {
                    if (!polled[i + 2].revents) continue;
                    auto found = connections.find(ids[i]);
                    if (found == connections.end()) continue;
                    if (found->second.state == State::Reading) Read(ids[i], found->second);
                    else if (found->second.state == State::Writing) Write(ids[i], found->second);
                }
                if (polled[0].revents) AcceptAll(now);
            }
        } catch (...) {
            // Out of memory in the loop: the server shuts down like a stop.
        }
        Shutdown();
    }

    // Closes everything; operations already running may finish until the stop's
    // deadline, and their replies get one chance to go out.
    void Shutdown() noexcept {
        if (stopDeadline == 0)
            stopDeadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(0, limits.StopWaitMs));
        listener.reset();
        std::deque<Job> waiting;
        {
            std::lock_guard<std::mutex> guard(lock);
            workersStop = true;
            waiting.swap(jobs);
        }
        jobReady.notify_all();
        for (auto it = connections.begin(); it != connections.end();) {
            if (it->second.state == State::Working) {
                ++it;
                continue;
            }
            const uint64_t id = it->first;
            ++it;
            Close(id, false);
        }
        for (const Job& job : waiting) Close(job.id, false);
        {
            std::unique_lock<std::mutex> guard(lock);
            for (;;) {
                const ULONGLONG now = ::GetTickCount64();
                if (busy == 0 || now >= stopDeadline) break;
                workerIdle.wait_for(guard, std::chrono::milliseconds(static_cast<long long>(stopDeadline - now)));
            }
        }
        try {
            TakeDone(::GetTickCount64());
        } catch (...) {
        }
        while (!connections.empty()) Close(connections.begin()->first, false);
    }

    // Once the I/O thread is gone: idle workers are joined; while one is still
    // inside an operation all are let go, each holding the state it uses.
    bool EndWorkers() noexcept {
        bool ended;
        {
            std::lock_guard<std::mutex> guard(lock);
            workersStop = true;
            ended = busy == 0;
        }
        jobReady.notify_all();
        for (std::thread& worker : workers) {
            if (!worker.joinable()) continue;
            if (ended) worker.join();
            else worker.detach();
        }
        workers.clear();
        return ended;
    }
};

TSharedDirectoryServer::TSharedDirectoryServer(ISharedDirectoryBackend& backend, TSharedDirectoryServerLimits limits)
    : FBackend(backend), FLimits(limits) {}

TSharedDirectoryServer::~TSharedDirectoryServer() { Stop(); }

void TSharedDirectoryServer::Start(int port, TAllowedClients allowed) {
    if (port < 1 || port > 65535) throw AppError(L"Port " + std::to_wstring(port) + L" is outside 1..65535.");
    Listen(port, std::move(allowed));
}

void TSharedDirectoryServer::StartOnAnyPort(TAllowedClients allowed) { Listen(0, std::move(allowed)); }

namespace {

[[noreturn]] void ThrowSocketError(const wchar_t* what, int error) {
    throw AppError(std::wstring(what) + L": " + SystemErrorText(static_cast<unsigned long>(error)));
}

[[noreturn]] void ThrowSocketError(const wchar_t* what) { ThrowSocketError(what, ::WSAGetLastError()); }

UniqueSocket NewSocket(int type, int protocol) {
    UniqueSocket socket(::WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
    if (!socket) ThrowSocketError(L"No socket");
    if (!SetNonBlocking(socket.get(), true)) ThrowSocketError(L"No non-blocking mode");
    return socket;
}

// Errors of an exclusive bind while the port's last connections linger.
bool PortStillHeld(int error) { return error == WSAEADDRINUSE || error == WSAEACCES; }

}  // namespace

void TSharedDirectoryServer::Listen(int port, TAllowedClients allowed) {
    Stop();
    if (!FWinsock.ok()) throw AppError(L"Winsock is not available.");
    auto shared = std::make_shared<Shared>(FBackend, FLimits, std::move(allowed));

    shared->listener = NewSocket(SOCK_STREAM, IPPROTO_TCP);
    // Nobody else may take the port while we hold it.
    BOOL exclusive = TRUE;
    ::setsockopt(shared->listener.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof(exclusive));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_ANY);
    address.sin_port = ::htons(static_cast<u_short>(port));
    for (int attempt = 1;; ++attempt) {
        const auto* bound = reinterpret_cast<const sockaddr*>(&address);
        if ((FBind ? FBind(shared->listener.get(), bound, sizeof(address))
                   : ::bind(shared->listener.get(), bound, sizeof(address))) == 0)
            break;
        const int error = ::WSAGetLastError();
        if (!PortStillHeld(error) || attempt >= FLimits.BindAttempts) ThrowSocketError(L"Cannot listen on the port", error);
        ::Sleep(static_cast<DWORD>(std::max(0, FLimits.BindRetryDelayMs)));
    }
    // A deep backlog: a burst of clients waits in it instead of being refused.
    if (::listen(shared->listener.get(), SOMAXCONN) != 0) ThrowSocketError(L"Cannot listen on the port");
    int length = sizeof(address);
    ::getsockname(shared->listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
    const uint16_t boundPort = ::ntohs(address.sin_port);

    shared->wake = NewSocket(SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::bind(shared->wake.get(), reinterpret_cast<const sockaddr*>(&loopback), sizeof(loopback)) != 0)
        ThrowSocketError(L"No wake-up socket");
    length = sizeof(loopback);
    ::getsockname(shared->wake.get(), reinterpret_cast<sockaddr*>(&loopback), &length);
    shared->wakeAddress = loopback;

    try {
        for (int i = 0; i < std::max(1, FLimits.Workers); ++i)
            shared->workers.emplace_back([shared] { shared->WorkerLoop(); });
        Shared* raw = shared.get();
        FIoThread = std::thread([raw] { raw->IoLoop(); });
    } catch (...) {
        shared->EndWorkers();
        throw AppError(L"No thread for the directory server.");
    }
    FShared = std::move(shared);
    FPort = boundPort;
}

bool TSharedDirectoryServer::Stop() {
    if (!FIoThread.joinable()) return true;
    FShared->stopDeadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(0, FLimits.StopWaitMs));
    FShared->stopping = true;
    FShared->wakePending = false;
    FShared->Wake();
    FIoThread.join();
    FPort = 0;
    return FShared->EndWorkers();
}

TSharedDirectoryServer::TStats TSharedDirectoryServer::Stats() const {
    TStats stats;
    if (!FShared) return stats;
    stats.Accepted = FShared->accepted;
    stats.RefusedByList = FShared->refusedByList;
    stats.RefusedOverLimit = FShared->refusedOverLimit;
    stats.RefusedOverAddressLimit = FShared->refusedOverAddressLimit;
    stats.Answered = FShared->answered;
    stats.Dropped = FShared->dropped;
    stats.Open = FShared->open;
    stats.PeakOpen = FShared->peakOpen;
    return stats;
}
