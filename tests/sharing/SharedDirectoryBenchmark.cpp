// Lookups per second and latency through the directory client, with 1, 8 and 32
// concurrent clients, against our server on a subscriber directory of 100,000
// rows and, in the same run, against a minimal reference server that speaks the
// same protocol with a fixed reply (one blocking thread per connection). Not a
// test: it only prints figures.
//   SharedDirectoryBenchmark [--seconds S]
#include "CityCodesImport.h"
#include "SharedDirectoryClient.h"
#include "SharedDirectoryProtocol.h"
#include "SharedDirectoryServer.h"
#include "SharingTestSupport.h"
#include "SubscriberTable.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

using namespace SharedDirectoryProtocol;

namespace {

constexpr int kRows = 100000;

std::wstring Phone(int i) {
    wchar_t text[16];
    std::swprintf(text, 16, L"7495%07d", i);
    return text;
}

// Reads one request from a blocking socket, exactly as far as its counts say.
bool ReadRequest(SOCKET socket) {
    TRequestReader reader;
    char buffer[4096];
    while (reader.state() == TRequestReader::State::NeedMore) {
        const int received = ::recv(socket, buffer, sizeof(buffer), 0);
        if (received <= 0) return false;
        size_t consumed = 0;
        reader.Feed(buffer, static_cast<size_t>(received), consumed);
    }
    return reader.state() == TRequestReader::State::Complete;
}

// The simplest server of the protocol: every connection on a thread of its own,
// blocking reads, one fixed reply.
class ReferenceServer {
public:
    explicit ReferenceServer(std::string reply) : reply_(std::move(reply)) {
        listener_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        ::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        ::listen(listener_.get(), SOMAXCONN);
        int length = sizeof(address);
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ::ntohs(address.sin_port);
        acceptor_ = std::thread([this] {
            for (;;) {
                SOCKET accepted = ::accept(listener_.get(), nullptr, nullptr);
                if (accepted == INVALID_SOCKET) return;
                ++running_;
                std::thread([this, accepted] {
                    UniqueSocket connection(accepted);
                    DWORD timeout = kIoTimeoutMs;
                    ::setsockopt(accepted, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                                 sizeof(timeout));
                    BOOL noDelay = TRUE;
                    ::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                                 sizeof(noDelay));
                    if (ReadRequest(accepted)) {
                        ::send(accepted, reply_.data(), static_cast<int>(reply_.size()), 0);
                        ::shutdown(accepted, SD_SEND);
                    }
                    --running_;
                }).detach();
            }
        });
    }
    ~ReferenceServer() {
        listener_.reset();
        acceptor_.join();
        while (running_ > 0) ::Sleep(10);
    }
    uint16_t port() const { return port_; }

private:
    WinsockSession winsock_;
    std::string reply_;
    UniqueSocket listener_;
    uint16_t port_ = 0;
    std::atomic<int> running_{0};
    std::thread acceptor_;
};

struct Figures {
    double perSecond = 0, p50 = 0, p99 = 0;
    uint64_t failed = 0;
};

// clients threads, each with a client of its own, look up random stored numbers.
Figures Measure(uint16_t port, int clients, double seconds) {
    std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
    std::atomic<uint64_t> failed{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            TSharedDirectoryClient client;
            client.SetServer(L"127.0.0.1", port);
            std::mt19937 random(static_cast<unsigned>(c) + 7u);
            std::uniform_int_distribution<int> pick(0, kRows - 1);
            auto& mine = latencies[static_cast<size_t>(c)];
            while (!stop) {
                std::wstring name, region, comment;
                const auto begin = std::chrono::steady_clock::now();
                const bool ok = client.GetNameRegionCommentByPhoneRemote(Phone(pick(random)), name, region, comment);
                mine.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begin).count());
                if (!ok || name.empty()) ++failed;
            }
        });
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& thread : threads) thread.join();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<double> all;
    for (auto& mine : latencies) all.insert(all.end(), mine.begin(), mine.end());
    std::sort(all.begin(), all.end());
    Figures figures;
    if (all.empty()) return figures;
    figures.perSecond = static_cast<double>(all.size()) / elapsed;
    figures.p50 = all[all.size() / 2];
    figures.p99 = all[all.size() * 99 / 100];
    figures.failed = failed;
    return figures;
}

int Run(double seconds) {
    TempFolder folder;
    BuildCityCodesTable(folder.file(L"TQR"), {{L"7", L"Россия"}, {L"7495", L"Москва"}, {L"7812", L"Санкт-Петербург"}});
    {
        std::vector<std::vector<std::wstring>> rows;
        rows.reserve(kRows);
        for (int i = 0; i < kRows; ++i)
            rows.push_back({Phone(i), L"Абонент " + std::to_wstring(i), L"Комментарий " + std::to_wstring(i)});
        MakeSubscriberTable(folder.file(L"PQR"), rows);
    }
    TTQRDataModule areas(folder.file(L"TQR"));
    TPQRDataModule subscribers(folder.file(L"PQR"), folder.file(L"none"));
    areas.Open();
    subscribers.Open();
    TCallerLookup lookup(areas, subscribers);
    TCallerLookupBackend backend(lookup, subscribers);
    TSharedDirectoryServer ours(backend);
    ours.StartOnAnyPort();
    ReferenceServer reference(EncodeLookupReply(kLookupDone, L"Абонент 12345", L"Москва", L"Комментарий 12345"));

    std::printf("subscriber rows: %d; %.1f s per run; lookups through the directory client, a new connection each\n",
                kRows, seconds);
    std::printf("%8s %-10s %12s %10s %10s %8s\n", "clients", "server", "lookups/s", "p50 us", "p99 us", "failed");
    for (int clients : {1, 8, 32}) {
        Measure(ours.Port(), clients, 0.3);  // warm-up
        const Figures mine = Measure(ours.Port(), clients, seconds);
        Measure(reference.port(), clients, 0.3);
        const Figures theirs = Measure(reference.port(), clients, seconds);
        std::printf("%8d %-10s %12.0f %10.0f %10.0f %8llu\n", clients, "ours", mine.perSecond, mine.p50, mine.p99,
                    static_cast<unsigned long long>(mine.failed));
        std::printf("%8d %-10s %12.0f %10.0f %10.0f %8llu\n", clients, "reference", theirs.perSecond, theirs.p50,
                    theirs.p99, static_cast<unsigned long long>(theirs.failed));
        std::printf("%8d ratio ours/reference: %.2f%s\n", clients, mine.perSecond / theirs.perSecond,
                    clients == 8 ? " (target at 8 clients: at least 0.80)" : "");
    }
    const auto stats = ours.Stats();
    std::printf("our server: answered %llu, closed without reply %llu, peak open %zu\n",
                static_cast<unsigned long long>(stats.Answered), static_cast<unsigned long long>(stats.Dropped),
                stats.PeakOpen);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 3;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--seconds") seconds = std::max(0.5, std::atof(argv[i + 1]));
    try {
        return Run(seconds);
    } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());
        return 1;
    }
}
