// The real tray program under Wine, driven through the simulated recording server.
#include "DebugOutputCapture.h"
#include "InformerProcess.h"
#include "SimulatorFixture.h"

#include <gtest/gtest.h>

namespace {

class InformerEndToEnd : public SimulatorTest {
protected:
    static bool WaitForStatus(const InformerProcess& informer, const std::wstring& expected,
                              DWORD timeoutMs = 10000) {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        while (::GetTickCount64() < deadline) {
            if (informer.StatusText() == expected) return true;
            ::Sleep(50);
        }
        return false;
    }
};

}  // namespace

TEST_F(InformerEndToEnd, StartsConnectedTracesEventsAndNoticesALostConnection) {
    DebugOutputCapture trace;
    ASSERT_TRUE(trace.ok());
    InformerProcess informer({session_, true, {}});
    ASSERT_TRUE(informer.started());
    ASSERT_TRUE(informer.WaitForSimulator()) << "the program did not create the recording-server object";
    EXPECT_TRUE(WaitForStatus(informer, L"Подключено")) << informer.StatusText();

    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K1"}));
    EXPECT_EQ(0u, informer.Recsim({L"ani", L"K1", L"84951234567"}));
    EXPECT_EQ(0u, informer.Recsim({L"event", L"4", L"K1"}));
    EXPECT_EQ(0u, informer.Recsim({L"end", L"K1"}));
    ASSERT_TRUE(trace.WaitForLines(informer.processId(), 3, 10000));
    EXPECT_EQ((std::vector<std::string>{"KDV_MSG_RING", "KDV_MSG_ANI_DETECT", "KDV_MSG_CONVERSATION_END"}),
              trace.Lines(informer.processId()));

    EXPECT_EQ(0u, informer.Recsim({L"destroy"}));
    EXPECT_TRUE(WaitForStatus(informer, L"Соединение прервано сервером.")) << informer.StatusText();
    // The reconnection timer brings the connection back within ten seconds.
    EXPECT_TRUE(WaitForStatus(informer, L"Подключено", 15000)) << informer.StatusText();

    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, StartsDisconnectedWhenTheConnectSettingIsOff) {
    InformerProcess informer({session_, false, {}});
    ASSERT_TRUE(informer.started());
    EXPECT_TRUE(WaitForStatus(informer, L"Отключено")) << informer.StatusText();
    EXPECT_FALSE(::IsWindowVisible(informer.MainWindow())) << "only the tray icon shows at start";
    EXPECT_FALSE(informer.WaitForSimulator(1000)) << "no connection is tried";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, ClosingTheWindowKeepsTheProgramRunning) {
    InformerProcess informer({session_, false, {}});
    ASSERT_TRUE(informer.started());
    HWND window = informer.MainWindow();
    ASSERT_NE(nullptr, window);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ::Sleep(500);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(0u, informer.Exit());
}
