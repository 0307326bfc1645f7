// The simulated recording server answers the SDK's three calls through COM.
#include "SimulatorFixture.h"

#include "AppError.h"

using SimulatedServer = SimulatorTest;

TEST_F(SimulatedServer, DeliversAQueuedRingThroughReadMessage) {
    KordavinClient client = KordavinClient::Create(L"");
    EXPECT_EQ(0, client.Connect());
    EXPECT_FALSE(ReadEvent(client)) << "a new client starts with an empty queue";

    EXPECT_TRUE(Control(L"ring K1").starts_with(L"OK"));
    const auto event = ReadEvent(client);
    ASSERT_TRUE(event);
    EXPECT_EQ(KDV_MSG_RING, event->Code);
    EXPECT_EQ(L"K1", event->Channel);
    EXPECT_EQ(L"", event->Text);
    EXPECT_FALSE(ReadEvent(client));
}

TEST_F(SimulatedServer, EachObjectHasItsOwnQueue) {
    KordavinClient first = KordavinClient::Create(L"");
    KordavinClient second = KordavinClient::Create(L"");
    Control(L"ani \"Канал 1\" 84951234567");
    const auto a = ReadEvent(first);
    const auto b = ReadEvent(second);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(L"Канал 1", a->Channel);
    EXPECT_EQ(L"84951234567", b->Text);
}

TEST_F(SimulatedServer, ChannelListAndConnectFailureAreControllable) {
    KordavinClient client = KordavinClient::Create(L"");
    EXPECT_EQ(L"OK", Control(L"channels \"K1||Линия 3|\""));
    std::wstring channels;
    EXPECT_EQ(0, client.GetChannelList(channels));
    EXPECT_EQ(L"K1||Линия 3|", channels);

    Control(L"connect-result 0x0A");
    EXPECT_EQ(10, client.Connect());
    EXPECT_EQ(0, client.Connect()) << "a chosen failure applies to the next Connect only";
}

TEST_F(SimulatedServer, VanishedServerFailsWithADispatchException) {
    KordavinClient client = KordavinClient::Create(L"");
    Control(L"vanish");
    EXPECT_THROW(client.ReadMessage(*std::make_unique<ComVariant>()), AppError);
    Control(L"revive");
    ComVariant message;
    EXPECT_EQ(1, client.ReadMessage(message));
}

TEST_F(SimulatedServer, BadControlInputIsAnsweredAndTheServerGoesOn) {
    KordavinClient client = KordavinClient::Create(L"");
    EXPECT_TRUE(Control(L"ring").starts_with(L"ERROR"));
    EXPECT_TRUE(Control(L"fly K1").starts_with(L"ERROR"));
    EXPECT_TRUE(Control(L"ring \"K1").starts_with(L"ERROR"));
    EXPECT_TRUE(Control(L"event banana").starts_with(L"ERROR"));
    EXPECT_TRUE(Control(L"event 4 K2 x").starts_with(L"OK"));
    const auto event = ReadEvent(client);
    ASSERT_TRUE(event);
    EXPECT_EQ(4, event->Code);
}
