// Soak of the directory server: a given number of requests against a real server
// on a loopback port, most of them malformed or mutated (truncated, bit-flipped,
// random codes and counts, byte by byte, early close and reset) interleaved with
// valid ones and with floods of idle connections. Prints how many were sent, how
// many valid ones were answered correctly, the peak thread count and whether the
// server survived; exits non-zero when a valid request went wrong.
//   SharedDirectorySoak [--requests N] [--threads T] [--seconds S]
// With --seconds the soak also ends once S seconds have passed.
#include "SharedDirectoryProtocol.h"
#include "SharedDirectoryServer.h"
#include "SharingTestSupport.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

using namespace SharedDirectoryProtocol;

namespace {

struct Totals {
    std::atomic<uint64_t> sent{0}, valid{0}, validRight{0}, malformed{0}, flooded{0};
    std::atomic<int> peakThreads{0};
    std::atomic<uint64_t> firstWrong{0};
    std::atomic<bool> timeUp{false};
};

const std::wstring kKnownPhone = L"74951234567";

// Connects, or retries briefly: a client's own ports can run short for a moment.
std::unique_ptr<RawConnection> Connect(uint16_t port, const char* from = nullptr) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        auto connection = std::make_unique<RawConnection>(port, from);
        if (connection->connected()) return connection;
        ::Sleep(10);
    }
    return nullptr;
}

class SoakClient {
public:
    SoakClient(uint16_t port, Totals& totals, unsigned seed) : port_(port), totals_(totals), random_(seed) {}

    void Run(uint64_t requests, uint64_t floodEvery) {
        for (uint64_t i = 0; i < requests && !totals_.timeUp; ++i) {
            if (floodEvery && i % floodEvery == floodEvery / 2) Flood();
            if (Pick(100) < 40) Valid(i);
            else Malformed();
            ++totals_.sent;
        }
    }

private:
    uint32_t Pick(uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random_); }

    std::string ValidRequest(uint64_t i, std::string& expected) {
        switch (Pick(3)) {
        case 0:
            expected = EncodeCheckReply(true);
            return EncodeCheckRequest();
        case 1:
            expected = EncodeLookupReply(kLookupDone, L"Иван Петров", L"Москва", L"Поставщик бумаги");
            return EncodeLookupRequest(kKnownPhone);
        default: {
            expected = EncodeSaveReply();
            wchar_t phone[16];
            std::swprintf(phone, 16, L"7999%07u", static_cast<unsigned>(i % 10000000));
            return EncodeSaveRequest(phone, L"Абонент " + std::to_wstring(i), L"проверка");
        }
        }
    }

    void Valid(uint64_t i) {
        ++totals_.valid;
        std::string expected;
        const std::string request = ValidRequest(i, expected);
        auto connection = Connect(port_);
        bool sent = connection != nullptr;
        if (sent && Pick(100) < 3) {
            for (char byte : request) sent = sent && connection->Send(std::string(1, byte));
        } else if (sent && Pick(100) < 20) {
            const size_t at = 1 + Pick(static_cast<uint32_t>(request.size() - 1));
            sent = connection->Send(request.substr(0, at));
            ::Sleep(0);
            sent = sent && connection->Send(request.substr(at));
        } else if (sent) {
            sent = connection->Send(request);
        }
        const auto received = sent ? connection->ReadUntilClosed(15000) : RawConnection::Received{};
        if (received.closed && received.bytes == expected) {
            ++totals_.validRight;
        } else {
            uint64_t none = 0;
            totals_.firstWrong.compare_exchange_strong(none, totals_.sent + 1);
        }
    }

    void Malformed() {
        ++totals_.malformed;
        std::string dummy;
        std::string request = ValidRequest(Pick(1000), dummy);
        switch (Pick(6)) {
        case 0:  // truncated
            request.resize(Pick(static_cast<uint32_t>(request.size())));
            break;
        case 1:  // bit-flipped
            for (uint32_t flips = 1 + Pick(3); flips > 0; --flips)
                request[Pick(static_cast<uint32_t>(request.size()))] ^= static_cast<char>(1u << Pick(8));
            break;
        case 2: {  // random code and tail
            request.clear();
            PutInteger(request, static_cast<int32_t>(random_()));
            for (uint32_t n = Pick(40); n > 0; --n) request.push_back(static_cast<char>(Pick(256)));
            break;
        }
        case 3: {  // a lookup or save with a random count
            request.clear();
            PutInteger(request, 1 + static_cast<int32_t>(Pick(2)));
            const int32_t counts[] = {-1, -2, 3, 0x7FFFFFFF, static_cast<int32_t>(0x80000000), (1 << 20) + 2,
                                      1 << 20, static_cast<int32_t>(random_()), 2 * static_cast<int32_t>(Pick(50))};
            PutInteger(request, counts[Pick(9)]);
            for (uint32_t n = Pick(20); n > 0; --n) request.push_back(static_cast<char>(Pick(256)));
            break;
        }
        case 4:  // connect and go
            request.clear();
            break;
        default:  // a request cut anywhere, sent byte by byte
            request.resize(Pick(static_cast<uint32_t>(request.size())));
            break;
        }
        auto connection = Connect(port_);
        if (!connection) return;
        for (size_t at = 0; at < request.size();) {
            const size_t piece = Pick(4) == 0 ? 1 : request.size() - at;
            if (!connection->Send(request.substr(at, piece))) break;
            at += piece;
        }
        switch (Pick(3)) {
        case 0:
            connection->Abort();
            return;
        case 1:
            connection->Close();
            return;
        default:
            // Ends its side and reads whatever comes; a request still short of
            // its bytes is over for the server at once.
            ::shutdown(connection->get(), SD_SEND);
            connection->ReadUntilClosed(15000);
            return;
        }
    }

    // A burst of idle connections from another workstation held for a moment,
    // while the other clients go on.
    void Flood() {
        std::vector<std::unique_ptr<RawConnection>> idle;
        for (int i = 0; i < 300; ++i) {
            auto connection = Connect(port_, "127.0.0.2");
            if (connection) idle.push_back(std::move(connection));
        }
        totals_.flooded += idle.size();
        ::Sleep(200);
        for (size_t i = 0; i < idle.size(); ++i)
            if (i % 2) idle[i]->Abort();
    }

    uint16_t port_;
    Totals& totals_;
    std::mt19937 random_;
};

int Run(uint64_t requests, int threads, double timeLimit) {
    TestDirectories directories;
    TCallerLookupBackend backend(directories.lookup(), directories.subscribers());
    TSharedDirectoryServer server(backend);
    const int threadsBefore = ProcessThreadCount();
    server.StartOnAnyPort();
    const int threadsServing = ProcessThreadCount();
    const uint16_t port = server.Port();

    Totals totals;
    std::atomic<bool> done{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread monitor([&] {
        for (int tick = 1; !done; ++tick) {
            const int now = ProcessThreadCount();
            if (now > totals.peakThreads) totals.peakThreads = now;
            ::Sleep(200);
            if (timeLimit > 0 &&
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > timeLimit)
                totals.timeUp = true;
            // A long soak shows that it is moving, once a minute.
            if (tick % 300 == 0)
                std::fprintf(stderr, "... %llu sent after %.0f s\n", static_cast<unsigned long long>(totals.sent.load()),
                             std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    });
    std::vector<std::thread> clients;
    const uint64_t each = requests / static_cast<uint64_t>(threads);
    for (int t = 0; t < threads; ++t) {
        const uint64_t count = t == 0 ? requests - each * static_cast<uint64_t>(threads - 1) : each;
        clients.emplace_back([&, t, count] {
            SoakClient client(port, totals, 1000u + static_cast<unsigned>(t));
            client.Run(count, t == 0 ? std::max<uint64_t>(count / 4, 1) : 0);
        });
    }
    for (auto& client : clients) client.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    done = true;
    monitor.join();

    // Survived: still listening, answers a check, and every connection is gone.
    const auto check = Exchange(port, EncodeCheckRequest());
    for (int i = 0; i < 100 && server.Stats().Open > 0; ++i) ::Sleep(50);
    const auto stats = server.Stats();
    const bool survived = server.Active() && check.closed && check.bytes == EncodeCheckReply(true) && stats.Open == 0;

    std::printf("requests sent:            %llu in %.1f s (%.0f per second), %d client threads\n",
                static_cast<unsigned long long>(totals.sent.load()), seconds, totals.sent / seconds, threads);
    std::printf("  valid:                  %llu, answered correctly: %llu\n",
                static_cast<unsigned long long>(totals.valid.load()),
                static_cast<unsigned long long>(totals.validRight.load()));
    std::printf("  malformed or mutated:   %llu\n", static_cast<unsigned long long>(totals.malformed.load()));
    std::printf("  flood connections:      %llu (peak open at the server: %zu, refused over the limit: %llu, "
                "over the limit of one address: %llu)\n",
                static_cast<unsigned long long>(totals.flooded.load()), stats.PeakOpen,
                static_cast<unsigned long long>(stats.RefusedOverLimit),
                static_cast<unsigned long long>(stats.RefusedOverAddressLimit));
    std::printf("server: accepted %llu, answered %llu, closed without reply %llu\n",
                static_cast<unsigned long long>(stats.Accepted), static_cast<unsigned long long>(stats.Answered),
                static_cast<unsigned long long>(stats.Dropped));
    std::printf("threads: %d before the server, %d serving, peak %d during the soak (%d of them soak clients and "
                "monitor)\n",
                threadsBefore, threadsServing, totals.peakThreads.load(), threads + 1);
    std::printf("server survived: %s\n", survived ? "yes" : "NO");
    if (totals.firstWrong) std::printf("first wrong valid request: #%llu\n", static_cast<unsigned long long>(totals.firstWrong.load()));
    return survived && totals.valid == totals.validRight ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t requests = 10000;
    int threads = 4;
    double timeLimit = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--requests") requests = std::strtoull(argv[i + 1], nullptr, 10);
        else if (option == "--threads") threads = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--seconds") timeLimit = std::atof(argv[i + 1]);
    }
    try {
        return Run(requests, threads, timeLimit);
    } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());
        return 2;
    }
}
