// recsim.exe drives the simulated server loaded in another process (here: the test).
#include "SimulatorFixture.h"

#include "ProcessRunner.h"
#include "TestFolders.h"
#include "TextConvert.h"

#include <fstream>
#include <vector>

namespace {

class Recsim : public SimulatorTest {
protected:
    ProgramResult Run(const std::vector<std::wstring>& arguments, bool toThisProcess = true) {
        std::wstring line = QuoteArgument(ProgramFolder() + L"\\recsim.exe") + L" --session " + session_;
        if (toThisProcess) line += L" --pid " + std::to_wstring(::GetCurrentProcessId());
        for (const auto& argument : arguments) line += L" " + QuoteArgument(argument);
        return RunProgram(line);
    }

    std::vector<TRecorderEvent> Drain(KordavinClient& client) {
        std::vector<TRecorderEvent> events;
        while (auto event = ReadEvent(client)) events.push_back(*event);
        return events;
    }
};

}  // namespace

TEST_F(Recsim, QueuedEventsArriveInOrder) {
    KordavinClient client = KordavinClient::Create(L"");
    EXPECT_EQ(0u, Run({L"ring", L"K1"}).exitCode);
    EXPECT_EQ(0u, Run({L"ani", L"K1", L"+7 (495) 123-45-67"}).exitCode);
    EXPECT_EQ(0u, Run({L"begin", L"K1"}).exitCode);
    EXPECT_EQ(0u, Run({L"rename", L"K1", L"Приёмная"}).exitCode);
    EXPECT_EQ(0u, Run({L"end", L"Приёмная"}).exitCode);

    const auto events = Drain(client);
    ASSERT_EQ(5u, events.size());
    EXPECT_EQ(KDV_MSG_RING, events[0].Code);
    EXPECT_EQ(KDV_MSG_ANI_DETECT, events[1].Code);
    EXPECT_EQ(L"+7 (495) 123-45-67", events[1].Text);
    EXPECT_EQ(KDV_MSG_CONVERSATION_BEGIN, events[2].Code);
    EXPECT_EQ(KDV_MSG_CHANGE_CHANNEL_NAME, events[3].Code);
    EXPECT_EQ(L"K1", events[3].Channel);
    EXPECT_EQ(L"Приёмная", events[3].Text);
    EXPECT_EQ(KDV_MSG_CONVERSATION_END, events[4].Code);
}

TEST_F(Recsim, PlaysAScenarioFileWithPausesAndLongNames) {
    KordavinClient client = KordavinClient::Create(L"");
    TempFolder folder;
    const std::wstring path = folder.file(L"scenario.txt");
    {
        std::ofstream file(path.c_str(), std::ios::binary);
        file << "# a call that is missed\n"
                "ring \"Линия 2\"\n"
                "sleep 50\n"
                "\n"
                "ani \"Линия 2\" 4951234567\n"
                "event 0x10001 \"" << std::string(60, 'x') << "\" K9\n"
                "missed \"Линия 2\"\n"
                "destroy\n";
    }
    const auto result = Run({L"play", path});
    EXPECT_EQ(0u, result.exitCode) << result.output;

    const auto events = Drain(client);
    ASSERT_EQ(5u, events.size());
    EXPECT_EQ(L"Линия 2", events[0].Channel);
    EXPECT_EQ(L"4951234567", events[1].Text);
    EXPECT_EQ(std::wstring(48, L'x'), events[2].Channel) << "a channel name is cut to 48 units";
    EXPECT_EQ(KDV_MSG_MISSED_PHONE, events[3].Code);
    EXPECT_EQ(KDV_MSG_DESTROY_CONNECTION, events[4].Code);
}

TEST_F(Recsim, BadInputGetsAMessageAndAnExitCode) {
    KordavinClient client = KordavinClient::Create(L"");
    TempFolder folder;
    const std::wstring path = folder.file(L"bad.txt");
    {
        std::ofstream file(path.c_str(), std::ios::binary);
        file << "ring K1\nfly K1\nsleep soon\n";
    }
    struct Case {
        std::vector<std::wstring> arguments;
        DWORD exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{}, 1, "no command given"},
        {{L"ring"}, 1, "takes 1 argument"},
        {{L"teleport", L"K1"}, 1, "unknown command"},
        {{L"event", L"twelve"}, 1, "not an event code"},
        {{L"play", folder.file(L"missing.txt")}, 1, "cannot read"},
        {{L"play", path}, 1, "line 2: unknown command"},
    };
    for (const auto& c : cases) {
        const auto result = Run(c.arguments);
        EXPECT_EQ(c.exitCode, result.exitCode) << result.output;
        EXPECT_NE(std::string::npos, result.output.find(c.message)) << result.output;
    }
    EXPECT_TRUE(Drain(client).empty()) << "nothing of a bad scenario file is played";

    const auto noSuchProcess = RunProgram(QuoteArgument(ProgramFolder() + L"\\recsim.exe") +
                                          L" --session " + session_ + L"-nobody ring K1");
    EXPECT_EQ(2u, noSuchProcess.exitCode) << noSuchProcess.output;
}

TEST_F(Recsim, ReachesEveryProgramOfTheSessionAtOnce) {
    KordavinClient client = KordavinClient::Create(L"");
    // A second program with the simulator loaded: the console client.
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring line = QuoteArgument(ProgramFolder() + L"\\simclient.exe") + L" --seconds 20";
    ::SetEnvironmentVariableW(L"KORDAVIN_SIM_SESSION", session_.c_str());
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                 &startup, &info));
    UniqueKernelHandle process(info.hProcess), thread(info.hThread);

    std::string listing;
    for (int attempt = 0; attempt < 100; ++attempt) {
        listing = Run({L"list"}, false).output;
        if (listing.find(std::to_string(info.dwProcessId)) != std::string::npos) break;
        ::Sleep(100);
    }
    EXPECT_NE(std::string::npos, listing.find(std::to_string(info.dwProcessId))) << listing;
    EXPECT_NE(std::string::npos, listing.find(std::to_string(::GetCurrentProcessId()))) << listing;

    const auto result = Run({L"ring", L"K3"}, false);
    EXPECT_EQ(0u, result.exitCode) << result.output;
    const std::string answered = std::to_string(info.dwProcessId).append("] OK");
    EXPECT_NE(std::string::npos, result.output.find(answered)) << result.output;
    EXPECT_EQ(1u, Drain(client).size());
    ::TerminateProcess(process.get(), 0);
}
