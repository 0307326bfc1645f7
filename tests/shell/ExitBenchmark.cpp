// Prints how long the real program takes to end at "Выход" and at the end of a
// Windows session (WM_ENDSESSION: until its handler returns, and until the
// process is gone), with no peers configured and with every peer silent: an
// LDAP server, a CRM and a directory server that accept connections and never
// answer, each with a request of the program open when it is told to end; and
// with this workstation serving the directories to clients that stay silent
// and to one whose save waits for another workstation's lock. Run by hand;
// not a test.
#include "BenchmarkClock.h"
#include "SharedDirectoryProtocol.h"
#include "FreePort.h"
#include "HeldLock.h"
#include "InformerProcess.h"
#include "LoopbackListener.h"
#include "SimulatorFixture.h"
#include "SocketHandle.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRounds = 3;
// The settings window's "test the connection to the directory server" button.
constexpr int kTestSharedDirectoryServerButton = 1175;

// The simulator registered, with a session of this process's own, outside a test.
struct SimulatorSession : SimulatorTest {
    using SimulatorTest::SetUpTestSuite;
    using SimulatorTest::session_;
    void TestBody() override {}
};

// A peer on 127.0.0.1 that takes every connection and never sends a byte nor
// closes one, until it is destroyed.
class SilentServer {
public:
    SilentServer() {
        listener_ = ListenOnLoopback(port_);
        acceptor_ = std::thread([this] {
            while (!stop_) {
                if (!WaitForSocket(listener_.get(), POLLRDNORM, 100)) continue;
                UniqueSocket client(::accept(listener_.get(), nullptr, nullptr));
                if (!client) continue;
                std::lock_guard lock(lock_);
                held_.push_back(std::move(client));
            }
        });
    }
    ~SilentServer() {
        stop_ = true;
        acceptor_.join();
    }
    uint16_t port() const { return port_; }
    size_t held() {
        std::lock_guard lock(lock_);
        return held_.size();
    }

private:
    WinsockSession winsock_;
    UniqueSocket listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex lock_;  // guards held_
    std::vector<UniqueSocket> held_;
    std::thread acceptor_;
};

bool WaitForStatus(const InformerProcess& informer, const std::wstring& expected) {
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    while (::GetTickCount64() < deadline) {
        if (informer.StatusText() == expected) return true;
        ::Sleep(50);
    }
    return false;
}

struct Times {
    double handlerMs = -1;  // WM_ENDSESSION's handler; -1 for "Выход"
    double endedMs = -1;    // until the process was gone; -1 when it was not within 30 s
};

enum class Ending { Exit, SessionEnd };

// Clients of this workstation's directory server: some that connect and send
// nothing, and one whose save waits for another workstation's lock on the
// subscriber table.
struct BusyClients {
    WinsockSession winsock;
    std::unique_ptr<HeldLock> lock;
    std::vector<UniqueSocket> connections;

    bool Start(const InformerProcess& informer, uint16_t port) {
        lock = std::make_unique<HeldLock>(informer.folder() + L"\\PQR\\AbonentPhones.db", L"exclusive", 120000);
        if (!lock->held()) return false;
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        address.sin_port = ::htons(port);
        for (int i = 0; i < 6; ++i)
            if (!Connect()) return false;
        return true;
    }
    // A save that the server's worker is still waiting in when the program ends.
    bool SendSave() {
        if (!Connect()) return false;
        const std::string save = SharedDirectoryProtocol::EncodeSaveRequest(L"74950000001", L"Ожидающий", L"");
        return ::send(connections.back().get(), save.data(), static_cast<int>(save.size()), 0) > 0;
    }

private:
    sockaddr_in address{};
    bool Connect() {
        UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) return false;
        connections.push_back(std::move(socket));
        return true;
    }
};

// One program from start to its end, connected and with a call's lookups under
// way when it is told to end. servedPort: this workstation serves the
// directories there, to busy clients.
// testing: the connection test to the directory server is running when the program ends.
bool RunOnce(const std::vector<std::wstring>& iniLines, Ending ending, Times& times, uint16_t servedPort,
             bool testing) {
    InformerProcess::Options options;
    options.simSession = SimulatorSession::session_;
    options.iniLines = iniLines;
    InformerProcess informer(options);
    const auto failed = [](const char* step) {
        std::printf("  (the round failed: %s)\n", step);
        return false;
    };
    if (!informer.started() || !informer.WaitForSimulator() || !WaitForStatus(informer, L"Подключено"))
        return failed("no connection");
    BusyClients clients;
    if (servedPort && !clients.Start(informer, servedPort)) return failed("the busy clients did not start");
    if (informer.Recsim({L"ani", L"K1", L"84951234567"}) != 0 || !informer.WaitForPopups(1, 20000))
        return failed("no popup");
    // The sync, the CRM's request and the directory server's exchange are all waiting by now.
    ::Sleep(1500);
    if (servedPort) {
        if (!clients.SendSave()) return failed("the client's save was not sent");
        ::Sleep(200);
    }
    const HWND window = informer.MainWindow();
    if (testing) {
        const HWND button = ::GetDlgItem(window, kTestSharedDirectoryServerButton);
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kTestSharedDirectoryServerButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        ::Sleep(300);
    }
    const double start = NowMicroseconds();
    if (ending == Ending::Exit) {
        informer.RequestExit();
    } else {
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 20000, &answer);
        const double asked = NowMicroseconds();
        ::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 30000, nullptr);
        times.handlerMs = (NowMicroseconds() - asked) / 1000.0;
    }
    if (informer.WaitForExit(30000) == static_cast<DWORD>(-1)) return failed("no end within 30 s");
    times.endedMs = (NowMicroseconds() - start) / 1000.0;
    return true;
}

void Report(const char* what, const std::vector<std::wstring>& iniLines, uint16_t servedPort = 0,
            bool testing = false) {
    for (const Ending ending : {Ending::Exit, Ending::SessionEnd}) {
        std::vector<Times> rounds;
        for (int round = 0; round < kRounds; ++round) {
            Times times;
            if (!RunOnce(iniLines, ending, times, servedPort, testing)) {
                std::printf("  %-22s %s: the round failed\n", what,
                            ending == Ending::Exit ? "\"Выход\"" : "session end");
                continue;
            }
            rounds.push_back(times);
        }
        if (rounds.empty()) continue;
        std::sort(rounds.begin(), rounds.end(), [](const Times& a, const Times& b) { return a.endedMs < b.endedMs; });
        const Times& median = rounds[rounds.size() / 2];
        if (ending == Ending::Exit) {
            std::printf("  %-22s \"Выход\" to the process's end:     %7.0f ms median (%.0f .. %.0f)\n", what,
                        median.endedMs, rounds.front().endedMs, rounds.back().endedMs);
        } else {
            std::printf("  %-22s WM_ENDSESSION handled in %7.0f ms, process gone after %7.0f ms median (%.0f .. %.0f)\n",
                        what, median.handlerMs, median.endedMs, rounds.front().endedMs, rounds.back().endedMs);
        }
    }
}

int Run() {
    SimulatorSession::SetUpTestSuite();
    ComApartment apartment;
    std::printf("%d rounds each; a call's popup shown 1.5 s before the end\n", kRounds);
    Report("no peers", {});
    SilentServer ldap, crm, directory;
    const std::vector<std::wstring> silent = {
        L"LdapServers=ldap://127.0.0.1:" + std::to_wstring(ldap.port()), L"LdapBase=dc=example,dc=org",
        L"LookupUrlTemplate=http://127.0.0.1:" + std::to_wstring(crm.port()) + L"/find?phone={number}",
        L"UseRemoteDB=1", L"DBAsClient=1", L"DBServerAddress=127.0.0.1",
        L"DBPort=" + std::to_wstring(directory.port())};
    Report("every peer silent", silent);
    Report("silent + server test", silent, 0, true);
    // The subscriber directory in an SQL server that never answers the login.
    SilentServer sql;
    std::vector<std::wstring> silentSql(silent.begin(), silent.begin() + 3);
    silentSql.push_back(L"SqlConnection=Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" +
                        std::to_wstring(sql.port()) + L";Database=phones;Uid=informer;");
    Report("silent, SQL directory", silentSql);
    std::printf("  (connections the silent peers took: LDAP %zu, CRM %zu, directory server %zu, SQL server %zu)\n",
                ldap.held(), crm.held(), directory.held(), sql.held());
    const uint16_t served = FreePort();
    Report("serving busy clients", {L"UseRemoteDB=1", L"DBAsClient=0", L"DBPort=" + std::to_wstring(served)}, served);
    return 0;
}

}  // namespace

int main() {
    try {
        return Run();
    } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());
        return 1;
    }
}
