// The dispatch reading real records from the simulated server through COM.
#include "FakeRecorderHost.h"
#include "SimulatorFixture.h"

using DispatchThroughSimulator = SimulatorTest;

TEST_F(DispatchThroughSimulator, QueuedRingAndCallerIdBecomeOnePopup) {
    KordavinClient client = KordavinClient::Create(L"");
    ASSERT_EQ(0, client.Connect());
    FakeRecorderHost host;
    host.sdk = &client;
    ASSERT_TRUE(Control(L"ring K1").starts_with(L"OK"));
    ASSERT_TRUE(Control(L"ani k1 84951234567").starts_with(L"OK"));
    DispatchRecorderEvents(host);
    ASSERT_EQ(1, host.items.Count());
    const TTrayMsgWinItem* item = host.items.Items(0);
    EXPECT_EQ(L"ВЫЗОВ", item->Title());
    EXPECT_EQ(L"K1", item->WinID());
    EXPECT_TRUE(item->Visible());
    EXPECT_EQ(L"84951234567", item->ClipboardText());
    EXPECT_EQ((std::vector<std::wstring>{L"KDV_MSG_RING", L"KDV_MSG_ANI_DETECT"}), host.trace);
    EXPECT_EQ(0, host.disconnects);
}

TEST_F(DispatchThroughSimulator, AVanishedServerIsALostConnection) {
    KordavinClient client = KordavinClient::Create(L"");
    ASSERT_EQ(0, client.Connect());
    FakeRecorderHost host;
    host.sdk = &client;
    Control(L"ring K1");
    DispatchRecorderEvents(host);
    ASSERT_EQ(1, host.items.Count());
    Control(L"ring K2");
    Control(L"vanish");
    DispatchRecorderEvents(host);
    Control(L"revive");
    EXPECT_EQ(1, host.disconnects);
    EXPECT_EQ(nullptr, host.Kordavin());
    EXPECT_EQ(0, host.items.Count());
    EXPECT_EQ(std::vector<std::wstring>{L"Соединение прервано сервером."}, host.statuses);
    EXPECT_EQ(1, host.balloons);
}
