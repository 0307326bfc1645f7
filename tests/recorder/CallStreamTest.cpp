// The call-event stream as a listener sees it: every event in order, with the
// call it belongs to, and a caller given later by a name source.
#include "FakeRecorderHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What a listener added in a test remembers of each event.
struct Heard {
    TCallEventKind kind;
    std::wstring channel;
    bool monitored;
    std::wstring callerName;  // the event's caller, when it has one
    int64_t callId;           // 0: no call
    bool callEnded;

    bool operator==(const Heard&) const = default;
    friend void PrintTo(const Heard& h, std::ostream* out) {
        *out << "{kind " << static_cast<int>(h.kind) << ", " << testing::PrintToString(h.channel) << ", monitored "
             << h.monitored << ", " << testing::PrintToString(h.callerName) << ", call " << h.callId
             << (h.callEnded ? " ended" : "") << "}";
    }
};

class RecordingListener : public ICallEventListener {
public:
    void OnCallEvent(const TCallEvent& event) override {
        heard.push_back({event.Kind, event.Channel, event.Monitored, event.Caller ? event.Caller->Name : L"",
                         event.Call ? event.Call->Id : 0, event.Call && event.Call->Ended()});
        if (event.Call && event.Call->Ended()) endedCallers.push_back(event.Call->Caller);
        if (fail) throw AppError(L"listener failed");
    }
    std::vector<Heard> heard;
    std::vector<TCaller> endedCallers;
    bool fail = false;
};

using K = TCallEventKind;

class CallStream : public ::testing::Test {
protected:
    FakeRecorderHost host;
    RecordingListener listener;

    void SetUp() override { host.dispatch.AddListener(listener); }
    void Queue(int32_t code, const std::wstring& channel = L"", const std::wstring& text = L"") {
        host.fakeSdk.Queue(code, channel, text);
    }
};

TEST_F(CallStream, AListenerAddedInATestHearsEveryEventInOrderWithItsCall) {
    host.settings.FChannels = {L"K1", L"K2"};
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"84951234567");
    Queue(KDV_MSG_RING, L"K9");
    Queue(KDV_MSG_DEVICE_CONNECTED);
    Queue(KDV_MSG_RING, L"K2");
    Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
    Queue(KDV_MSG_CONVERSATION_END, L"K1");
    Queue(KDV_MSG_CHANGE_CHANNEL_NAME, L"K2", L"K7");
    Queue(4, L"K2");
    Queue(KDV_MSG_DESTROY_CONNECTION);
    DispatchRecorderEvents(host);
    const std::vector<Heard> expected{
        {K::Ring, L"K1", true, L"", 1, false},
        {K::CallerId, L"K1", true, host.lookupName, 1, false},
        {K::Ring, L"K9", false, L"", 0, false},
        {K::Other, L"", false, L"", 0, false},
        {K::Ring, L"K2", true, L"", 2, false},
        {K::ConversationBegin, L"K1", true, L"", 1, false},
        {K::ConversationEnd, L"K1", true, L"", 1, true},
        {K::Renamed, L"K2", false, L"", 2, false},  // K7 is watched now, no longer K2; its call goes on
        {K::Other, L"K2", false, L"", 0, false},
        // The server ends the connection: the call in progress ends first.
        {K::Interrupted, L"K7", true, L"", 2, true},
        {K::ConnectionLost, L"", false, L"", 0, false},
        {K::Other, L"", false, L"", 0, false},
    };
    EXPECT_EQ(expected, listener.heard);
    ASSERT_EQ(2u, listener.endedCallers.size());
    EXPECT_EQ((TCaller{L"74951234567", host.lookupName, host.lookupRegion, host.lookupComment}),
              listener.endedCallers[0]);
    EXPECT_EQ(0u, host.dispatch.Calls().CallsInProgress());
    EXPECT_EQ(10u, host.diagnostics.Count()) << "the diagnostics keep the server's records only";
}

TEST_F(CallStream, ACallerGivenLaterReachesTheCallItsPopupAndTheListeners) {
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"84951234567");
    DispatchRecorderEvents(host);
    host.notifications.clear();
    const TCaller late{L"74951234567", L"ООО «Ромашка»", L"Москва", L"из CRM"};

    EXPECT_TRUE(host.dispatch.SetCaller(L"k1", late));
    ASSERT_EQ(1, host.items.Count());
    EXPECT_EQ(late, host.items.Items(0)->Caller) << "the popup shows the new caller";
    EXPECT_EQ(1u, host.notifications.size()) << "and is refreshed once";
    ASSERT_FALSE(listener.heard.empty());
    EXPECT_EQ((Heard{K::CallerChanged, L"K1", true, late.Name, 1, false}), listener.heard.back());
    EXPECT_FALSE(host.dispatch.SetCaller(L"K2", late)) << "no call on that channel";

    Queue(KDV_MSG_MISSED_PHONE, L"K1");
    DispatchRecorderEvents(host);
    ASSERT_EQ(1u, listener.endedCallers.size());
    EXPECT_EQ(late, listener.endedCallers[0]) << "the call ends with the caller given later";
}

TEST_F(CallStream, AFailingListenerCostsTheListenersAfterItNothing) {
    RecordingListener failing;
    failing.fail = true;
    host.dispatch.RemoveListener(listener);
    host.dispatch.AddListener(failing);
    host.dispatch.AddListener(listener);
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_MISSED_PHONE, L"K1");
    DispatchRecorderEvents(host);
    EXPECT_EQ(2u, failing.heard.size());
    EXPECT_EQ(failing.heard, listener.heard);
    EXPECT_EQ(0, host.disconnects);
}

TEST_F(CallStream, TheCrmCardKeepsItsOwnStatePerCallAcrossAClosedPopup) {
    host.crm = {L"https://crm.example/?p={number}", comOnAnswer};
    host.settings.FCloseTMWOnStart = true;
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"84951234567");
    Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
    // The popup closed on answering; a caller ID that comes late opens a new
    // popup for the same call, and answering again opens no second card.
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"84951234567");
    Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
    DispatchRecorderEvents(host);
    EXPECT_EQ(std::vector<std::wstring>{L"74951234567|Иванов Пётр|K1"}, host.crmCards);
}

}  // namespace
