// The recorder event dispatch driven by a fake SDK object and a fake controller.
#include "FakeRecorderHost.h"
#include "KordavinUtils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::wstring kLost = L"Соединение прервано сервером.";
const std::wstring kNoNumberText = L"\r\nНет информации о номере.\r\n";
const std::vector<TTrayMsgWinItem*> kOneWholeNotification{nullptr};

class RecorderDispatch : public ::testing::Test {
protected:
    FakeRecorderHost host;

    void Queue(int32_t code, const std::wstring& channel = L"", const std::wstring& text = L"") {
        host.fakeSdk.Queue(code, channel, text);
    }
    void Tick() { DispatchRecorderEvents(host); }
    TTrayMsgWinItem* Popup(const std::wstring& channel) { return host.items.FindItemWinID(channel); }

    void ExpectConnectionLost() {
        EXPECT_EQ(1, host.disconnects);
        EXPECT_EQ(0, host.items.Count()) << "every popup closes";
        EXPECT_EQ(0, host.items.UpdateCount()) << "no bracket is left open";
        EXPECT_EQ(std::vector<std::wstring>{kLost}, host.statuses);
        EXPECT_EQ(1, host.balloons);
    }
    void ExpectConnectionKept() {
        EXPECT_EQ(0, host.disconnects);
        EXPECT_TRUE(host.statuses.empty());
        EXPECT_EQ(0, host.balloons);
    }
};

TEST_F(RecorderDispatch, RingOpensOnePopupPerChannelWithOneNotification) {
    Queue(KDV_MSG_RING, L"K1");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    const TTrayMsgWinItem* item = host.items.Items(0);
    EXPECT_EQ(L"ВЫЗОВ", item->Title());
    EXPECT_EQ(kNoNumberText + L"K1", item->SimpleText());
    EXPECT_EQ(L"K1", item->WinID());
    EXPECT_TRUE(item->Visible());
    EXPECT_FALSE(item->UseRichText);
    EXPECT_EQ(L"", item->ClipboardText());
    EXPECT_EQ(kOneWholeNotification, host.notifications) << "the popup is built inside one bracket";
    EXPECT_EQ(std::vector<std::wstring>{L"KDV_MSG_RING"}, host.trace);
    EXPECT_EQ(2, host.fakeSdk.reads) << "the queue is read until it reports empty";
    ExpectConnectionKept();

    host.notifications.clear();
    Queue(KDV_MSG_RING, L"k1");
    Tick();
    EXPECT_EQ(1, host.items.Count()) << "a second ring on the channel finds its popup";
    EXPECT_TRUE(host.notifications.empty());
    EXPECT_EQ(2u, host.trace.size());
}

TEST_F(RecorderDispatch, OnlyMonitoredChannelsGetPopupsUnlessNoneAreListed) {
    host.settings.FChannels = {L"K1"};
    Queue(KDV_MSG_RING, L"K2");
    Queue(KDV_MSG_ANI_DETECT, L"K2", L"84951234567");
    Queue(KDV_MSG_RING, L"k1");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    EXPECT_EQ(L"k1", host.items.Items(0)->WinID()) << "the popup carries the name the server sent";
    EXPECT_TRUE(host.lookups.empty()) << "an unmonitored channel is not looked up";
    EXPECT_EQ(0, host.items.UpdateCount());

    FakeRecorderHost everyChannel;
    everyChannel.fakeSdk.Queue(KDV_MSG_RING, L"K2");
    everyChannel.fakeSdk.Queue(KDV_MSG_ANI_DETECT, L"Линия 7", L"123");
    DispatchRecorderEvents(everyChannel);
    EXPECT_EQ(2, everyChannel.items.Count());
}

TEST_F(RecorderDispatch, CallerIdWithoutRingOpensAnAonPopupWithTheCallerLines) {
    host.settings.FDefaultCityCode = L"812";
    host.settings.FCityPrefixes = {L"9"};
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"84951234567");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    const TTrayMsgWinItem* item = host.items.Items(0);
    EXPECT_EQ(L"АОН", item->Title());
    EXPECT_EQ(L"K1", item->WinID());
    EXPECT_TRUE(item->Visible());
    EXPECT_EQ(L"84951234567", item->ClipboardText()) << "the copy text is the number as presented";
    ASSERT_EQ(1u, host.lookups.size());
    EXPECT_EQ(NormalizePhoneNumber(L"84951234567", 1, L"7", L"812", {L"9"}, {L"810", L"00"}, {L"8", L"0"}, true),
              host.lookups[0])
        << "the lookup gets the incoming number normalised with the dialling settings";
    EXPECT_TRUE(host.outputsWereEmpty);
    EXPECT_EQ(host.lookups[0], item->Caller.Number);
    EXPECT_EQ(L"Иванов Пётр", item->Caller.Name);
    EXPECT_EQ(L"Москва", item->Caller.Region);
    EXPECT_EQ(L"поставщик", item->Caller.Comment);
    EXPECT_TRUE(item->UseRichText);
    EXPECT_EQ(L"", item->SimpleText());
    EXPECT_EQ(kOneWholeNotification, host.notifications);
    EXPECT_EQ(std::vector<std::wstring>{L"KDV_MSG_ANI_DETECT"}, host.trace);
}

TEST_F(RecorderDispatch, CallerIdAfterARingKeepsTheTitleAndAddsTheCallerLines) {
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_ANI_DETECT, L"k1", L"4951234567");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    const TTrayMsgWinItem* item = host.items.Items(0);
    EXPECT_EQ(L"ВЫЗОВ", item->Title());
    EXPECT_EQ(L"K1", item->WinID());
    EXPECT_TRUE(item->UseRichText);
    EXPECT_EQ(L"Иванов Пётр", item->Caller.Name);
    EXPECT_EQ(L"4951234567", item->ClipboardText());
    EXPECT_EQ(2u, host.notifications.size()) << "one refresh per event";
}

TEST_F(RecorderDispatch, CallerIdOnlyModeIgnoresRingsAndNumbersThatWereNotPresented) {
    struct Case {
        std::wstring number;
        bool opensPopup;
    };
    const Case cases[] = {
        {L"", false},           {L"O", false},        {L"P", false},
        {L"P4951234567", false}, {L"Oxx", false},      {L"84951234567", true},
        {L"o123", true},         {L"p123", true},
        {L"\u039F123", true},  // Greek capital omicron is no marker
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.number));
        FakeRecorderHost h;
        h.settings.FCallerIDOnly = true;
        h.fakeSdk.Queue(KDV_MSG_RING, L"K1");
        h.fakeSdk.Queue(KDV_MSG_ANI_DETECT, L"K1", c.number);
        DispatchRecorderEvents(h);
        EXPECT_EQ(c.opensPopup ? 1 : 0, h.items.Count());
        EXPECT_EQ(c.opensPopup ? 1u : 0u, h.lookups.size());
        EXPECT_EQ(2u, h.trace.size()) << "ignored events are traced all the same";
    }

    host.settings.FCallerIDOnly = true;
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"123");
    Tick();
    host.notifications.clear();
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"P");
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    EXPECT_EQ(L"123", host.items.Items(0)->ClipboardText()) << "an existing popup stays as it was";
    EXPECT_EQ(1u, host.lookups.size());
    EXPECT_TRUE(host.notifications.empty());
}

TEST_F(RecorderDispatch, WithheldNumbersFillThePopupButAreNotOfferedForCopying) {
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"P4951234567");
    Queue(KDV_MSG_ANI_DETECT, L"K2", L"123");
    Queue(KDV_MSG_ANI_DETECT, L"K2", L"O");
    Tick();
    ASSERT_EQ(2, host.items.Count());
    EXPECT_EQ(L"", Popup(L"K1")->ClipboardText());
    EXPECT_TRUE(Popup(L"K1")->UseRichText);
    EXPECT_EQ(L"123", Popup(L"K2")->ClipboardText()) << "a marker keeps the earlier copy text";
    EXPECT_EQ(3u, host.lookups.size());

    Queue(KDV_MSG_ANI_DETECT, L"K2", L"");
    Tick();
    EXPECT_EQ(L"", Popup(L"K2")->ClipboardText()) << "an empty number empties the copy text";
}

TEST_F(RecorderDispatch, ConversationBeginRetitlesOrClosesAndTheEndCloses) {
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"123");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    EXPECT_EQ(L"РАЗГОВОР", host.items.Items(0)->Title());
    EXPECT_EQ(L"Иванов Пётр", host.items.Items(0)->Caller.Name) << "a late caller ID still fills the popup";
    Queue(KDV_MSG_CONVERSATION_END, L"K1");
    Tick();
    EXPECT_EQ(0, host.items.Count());

    host.settings.FCloseTMWOnStart = true;
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
    Queue(KDV_MSG_RING, L"K2");
    Queue(KDV_MSG_MISSED_PHONE, L"K2");
    Tick();
    EXPECT_EQ(0, host.items.Count());
    EXPECT_EQ(0, host.items.UpdateCount());
}

TEST_F(RecorderDispatch, TheCrmCardOpensOnceWhenACallWithANumberIsAnsweredInThatModeOnly) {
    const struct {
        TCrmOpenMode mode;
        const wchar_t* crm;
        const wchar_t* number;  // null: no caller ID at all
        bool closeOnAnswer;
        std::vector<std::wstring> cards;
    } cases[] = {
        {comOnAnswer, L"https://crm.example/?p={number}", L"84951234567", false,
         {L"74951234567|Иванов Пётр|K1"}},
        {comOnAnswer, L"https://crm.example/?p={number}", L"84951234567", true, {L"74951234567|Иванов Пётр|K1"}},
        {comButton, L"https://crm.example/?p={number}", L"84951234567", false, {}},
        {comNever, L"https://crm.example/?p={number}", L"84951234567", false, {}},
        {static_cast<TCrmOpenMode>(7), L"https://crm.example/?p={number}", L"84951234567", false, {}},
        {comOnAnswer, L"", L"84951234567", false, {}},
        {comOnAnswer, L"ftp://crm.example/?p={number}", L"84951234567", false, {}},
        {comOnAnswer, L"https://crm.example/?p={number}", L"P", false, {}},
        {comOnAnswer, L"https://crm.example/?p={number}", nullptr, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", " << testing::PrintToString(c.crm) << ", "
                                        << (c.number ? testing::PrintToString(c.number) : "no number"));
        FakeRecorderHost h;
        h.settings.FDefaultCityCode = L"495";
        h.crm.OpenMode = c.mode;
        h.crm.UrlTemplate = c.crm;
        h.settings.FCloseTMWOnStart = c.closeOnAnswer;
        h.fakeSdk.Queue(KDV_MSG_RING, L"K1");
        if (c.number) h.fakeSdk.Queue(KDV_MSG_ANI_DETECT, L"K1", c.number);
        // A server that repeats the start of the conversation opens no second card.
        h.fakeSdk.Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
        h.fakeSdk.Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
        DispatchRecorderEvents(h);
        EXPECT_EQ(c.cards, h.crmCards);
        EXPECT_EQ(c.closeOnAnswer ? 0 : 1, h.items.Count());
        // The next call on the channel is a new call with a card of its own.
        h.fakeSdk.Queue(KDV_MSG_CONVERSATION_END, L"K1");
        h.fakeSdk.Queue(KDV_MSG_RING, L"K1");
        if (c.number) h.fakeSdk.Queue(KDV_MSG_ANI_DETECT, L"K1", c.number);
        h.fakeSdk.Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
        DispatchRecorderEvents(h);
        EXPECT_EQ(c.cards.size() * 2, h.crmCards.size());
    }
}

TEST_F(RecorderDispatch, AnItemFreedWhileTheCrmCardOpensIsNotTouchedAfterwards) {
    host.crm.OpenMode = comOnAnswer;
    host.crm.UrlTemplate = L"https://crm.example/{number}";
    host.settings.FCloseTMWOnStart = true;
    host.duringCrmOpen = [&] { host.items.Clear(); };
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"123");
    Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
    Tick();
    EXPECT_EQ(1u, host.crmCards.size());
    EXPECT_EQ(0, host.items.Count());
}

TEST_F(RecorderDispatch, EventsForAChannelWithoutPopupChangeNoPopup) {
    host.settings.FCloseTMWOnStart = true;
    Queue(KDV_MSG_RING, L"K1");
    Tick();
    host.notifications.clear();
    Queue(KDV_MSG_MISSED_PHONE, L"K2");
    Queue(KDV_MSG_CONVERSATION_BEGIN, L"K2");
    Queue(KDV_MSG_CONVERSATION_END, L"K2");
    Queue(KDV_MSG_CHANGE_CHANNEL_NAME, L"K2", L"K3");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    EXPECT_EQ(L"ВЫЗОВ", host.items.Items(0)->Title());
    EXPECT_EQ(L"K1", host.items.Items(0)->WinID());
    EXPECT_TRUE(host.notifications.empty());
    EXPECT_EQ(5u, host.trace.size());
}

TEST_F(RecorderDispatch, RenameMovesThePopupTheCheckListItemAndTheMonitoredEntry) {
    host.settings.FChannels = {L"k1", L"K0"};
    host.channelList = {L"K0", L"K1", L"k1", L"K2"};
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_CHANGE_CHANNEL_NAME, L"K1", L"K5");
    Tick();
    EXPECT_EQ((std::vector<std::wstring>{L"K5", L"K0"}), host.settings.FChannels);
    EXPECT_EQ((std::vector<std::wstring>{L"K0", L"K5", L"k1", L"K2"}), host.channelList)
        << "the first matching item is renamed in place";
    ASSERT_EQ(1, host.items.Count());
    EXPECT_EQ(L"K5", host.items.Items(0)->WinID());

    Queue(KDV_MSG_RING, L"K5");
    Queue(KDV_MSG_RING, L"K1");
    Tick();
    EXPECT_EQ(1, host.items.Count()) << "K5 finds its popup; K1 is no longer monitored";
}

TEST_F(RecorderDispatch, RenameOntoAnotherPopupsNameLeavesTwoPopupsClosedLowerFirst) {
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_RING, L"K2");
    Queue(KDV_MSG_CHANGE_CHANNEL_NAME, L"K1", L"K2");
    Tick();
    ASSERT_EQ(2, host.items.Count());
    EXPECT_EQ(L"K2", host.items.Items(0)->WinID());
    EXPECT_EQ(L"K2", host.items.Items(1)->WinID());

    Queue(KDV_MSG_CONVERSATION_END, L"K2");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    EXPECT_EQ(1, host.items.Items(0)->ID()) << "the popup at the lower position went first";
    Queue(KDV_MSG_CONVERSATION_END, L"k2");
    Tick();
    EXPECT_EQ(0, host.items.Count());
    ExpectConnectionKept();
}

TEST_F(RecorderDispatch, AClosedPopupWindowKeepsItsItemUntilTheCallEnds) {
    Queue(KDV_MSG_RING, L"K1");
    Tick();
    host.items.Items(0)->SetVisible(false);  // the user closed the window
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"123");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    EXPECT_FALSE(host.items.Items(0)->Visible()) << "no window opens again for the call";
    EXPECT_EQ(L"Иванов Пётр", host.items.Items(0)->Caller.Name);

    Queue(KDV_MSG_CONVERSATION_END, L"K1");
    Queue(KDV_MSG_RING, L"K1");
    Tick();
    ASSERT_EQ(1, host.items.Count());
    EXPECT_TRUE(host.items.Items(0)->Visible()) << "the next call opens a popup again";
}

TEST_F(RecorderDispatch, EveryKnownEventIsTracedByItsNameAndUnknownOnesNotAtAll) {
    Queue(4, L"K1");
    Queue(KDV_MSG_DEVICE_CONNECTED);
    Queue(0);
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"123");
    Queue(-1, L"K1");
    Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
    Queue(KDV_MSG_CONVERSATION_END, L"K1");
    Queue(0x10000, L"K1");
    Queue(KDV_MSG_MISSED_PHONE, L"K1");
    Queue(KDV_MSG_CHANGE_CHANNEL_NAME, L"K1", L"K2");
    Queue(KDV_MSG_DESTROY_CONNECTION);
    Tick();
    const std::vector<std::wstring> expected{
        L"KDV_MSG_DEVICE_CONNECTED",   L"KDV_MSG_RING",           L"KDV_MSG_ANI_DETECT",
        L"KDV_MSG_CONVERSATION_BEGIN", L"KDV_MSG_CONVERSATION_END", L"KDV_MSG_MISSED_PHONE",
        L"KDV_MSG_CHANGE_CHANNEL_NAME", L"KDV_MSG_DESTROY_CONNECTION",
    };
    EXPECT_EQ(expected, host.trace);
    EXPECT_EQ(1, host.refreshes) << "a device coming online reloads the channel list";
}

TEST_F(RecorderDispatch, DestroyConnectionMidBurstClosesEverythingAndReadsNoFurther) {
    for (bool sdkStaysAfterDisconnect : {false, true}) {
        SCOPED_TRACE(sdkStaysAfterDisconnect);
        FakeRecorderHost h;
        h.keepSdkOnDisconnect = sdkStaysAfterDisconnect;
        h.fakeSdk.Queue(KDV_MSG_RING, L"K1");
        h.fakeSdk.Queue(KDV_MSG_ANI_DETECT, L"K2", L"123");
        h.fakeSdk.Queue(KDV_MSG_DESTROY_CONNECTION);
        h.fakeSdk.Queue(KDV_MSG_RING, L"K3");
        DispatchRecorderEvents(h);
        EXPECT_EQ(3, h.fakeSdk.reads);
        EXPECT_EQ(1u, h.fakeSdk.Pending());
        EXPECT_EQ(1, h.disconnects);
        EXPECT_EQ(0, h.items.Count());
        EXPECT_EQ(std::vector<std::wstring>{kLost}, h.statuses);
        EXPECT_EQ(1, h.balloons);
        EXPECT_EQ(3u, h.trace.size());
    }

    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_DESTROY_CONNECTION);
    Tick();
    Tick();
    EXPECT_EQ(2, host.fakeSdk.reads) << "nothing is read while disconnected";
    ExpectConnectionLost();
}

TEST_F(RecorderDispatch, AnEmptyQueueEndsTheTickQuietly) {
    Tick();
    EXPECT_EQ(1, host.fakeSdk.reads);
    EXPECT_TRUE(host.trace.empty());
    EXPECT_TRUE(host.notifications.empty());
    ExpectConnectionKept();
}

TEST_F(RecorderDispatch, AServerVanishingMidDrainIsALostConnection) {
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_RING, L"K2");
    host.fakeSdk.QueueFailure();
    Queue(KDV_MSG_RING, L"K3");
    Tick();
    ExpectConnectionLost();
    EXPECT_EQ(3, host.fakeSdk.reads);
    EXPECT_EQ(2u, host.trace.size());
    EXPECT_EQ(nullptr, host.Kordavin());
}

SAFEARRAY* NewArray(VARTYPE type, ULONG elements) { return ::SafeArrayCreateVector(type, 0, elements); }

// An array of `type` whose data block holds the bytes of the record.
SAFEARRAY* ArrayWithBytes(VARTYPE type, const std::vector<uint8_t>& bytes) {
    const ULONG size = static_cast<ULONG>(::SafeArrayGetElemsize(NewArray(type, 0)));
    std::vector<uint8_t> padded = bytes;
    padded.resize((bytes.size() + size - 1) / size * size, 0);
    SAFEARRAY* array = NewArray(type, static_cast<ULONG>(padded.size() / size));
    void* data = nullptr;
    ::SafeArrayAccessData(array, &data);
    std::memcpy(data, padded.data(), padded.size());
    ::SafeArrayUnaccessData(array);
    return array;
}

TEST_F(RecorderDispatch, ARecordThatIsNotABigEnoughArrayOfNumbersIsALostConnection) {
    struct Case {
        const char* name;
        std::function<void(VARIANT&)> fill;
    };
    const std::vector<uint8_t> ring = EncodeRecorderEvent({KDV_MSG_RING, L"K9", L""});
    static SAFEARRAY* heldByReference = nullptr;
    const Case cases[] = {
        {"empty variant", [](VARIANT&) {}},
        {"integer", [](VARIANT& v) { v.vt = VT_I4; v.lVal = 2; }},
        {"text", [](VARIANT& v) { v.vt = VT_BSTR; v.bstrVal = ::SysAllocString(L"KDV_MSG_RING"); }},
        {"byte array without data", [](VARIANT& v) { v.vt = VT_ARRAY | VT_UI1; v.parray = nullptr; }},
        {"207 bytes", [&](VARIANT& v) { PutByteArray(v, std::vector<uint8_t>(ring.begin(), ring.end() - 1)); }},
        {"no bytes", [](VARIANT& v) { PutByteArray(v, {}); }},
        {"103 shorts", [](VARIANT& v) { v.vt = VT_ARRAY | VT_I2; v.parray = NewArray(VT_I2, 103); }},
        {"207 bytes by reference",
         [&](VARIANT& v) {
             heldByReference = ArrayWithBytes(VT_UI1, std::vector<uint8_t>(ring.begin(), ring.end() - 1));
             v.vt = VT_BYREF | VT_ARRAY | VT_UI1;
             v.pparray = &heldByReference;
         }},
        {"null array reference", [](VARIANT& v) { v.vt = VT_BYREF | VT_ARRAY | VT_UI1; v.pparray = nullptr; }},
        {"208 texts", [](VARIANT& v) { v.vt = VT_ARRAY | VT_BSTR; v.parray = NewArray(VT_BSTR, 208); }},
        {"208 variants", [](VARIANT& v) { v.vt = VT_ARRAY | VT_VARIANT; v.parray = NewArray(VT_VARIANT, 208); }},
        {"two-dimensional 208 x 208 bytes",
         [](VARIANT& v) {
             SAFEARRAYBOUND bounds[2] = {{208, 0}, {208, 0}};
             v.vt = VT_ARRAY | VT_UI1;
             v.parray = ::SafeArrayCreate(VT_UI1, 2, bounds);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRecorderHost h;
        h.fakeSdk.Queue(KDV_MSG_RING, L"K1");
        h.fakeSdk.QueueVariant(c.fill);
        h.fakeSdk.Queue(KDV_MSG_RING, L"K2");
        DispatchRecorderEvents(h);
        EXPECT_EQ(1, h.disconnects);
        EXPECT_EQ(0, h.items.Count());
        EXPECT_EQ(std::vector<std::wstring>{kLost}, h.statuses);
        EXPECT_EQ(1, h.balloons);
        EXPECT_EQ(std::vector<std::wstring>{L"KDV_MSG_RING"}, h.trace);
        EXPECT_EQ(2, h.fakeSdk.reads);
        if (heldByReference) ::SafeArrayDestroy(heldByReference);
        heldByReference = nullptr;
    }

    std::vector<uint8_t> longer = ring;
    longer.resize(300, 0xEE);
    host.fakeSdk.QueueBlock(longer);
    Tick();
    EXPECT_EQ(1, host.items.Count()) << "bytes after the record are the server's own business";
    ExpectConnectionKept();
}

TEST_F(RecorderDispatch, TheRecordIsReadFromAnyArrayOfNumbersByValueOrByReference) {
    const std::vector<uint8_t> ring = EncodeRecorderEvent({KDV_MSG_RING, L"Канал 7", L""});
    // The variant passed by reference owns nothing: the test frees what it points to.
    static SAFEARRAY* held = nullptr;
    static VARIANT heldVariant;
    struct Case {
        const char* name;
        std::function<void(VARIANT&)> fill;
    };
    const Case cases[] = {
        {"208 signed bytes", [&](VARIANT& v) { v.vt = VT_ARRAY | VT_I1; v.parray = ArrayWithBytes(VT_I1, ring); }},
        {"104 shorts", [&](VARIANT& v) { v.vt = VT_ARRAY | VT_I2; v.parray = ArrayWithBytes(VT_I2, ring); }},
        {"104 words", [&](VARIANT& v) { v.vt = VT_ARRAY | VT_UI2; v.parray = ArrayWithBytes(VT_UI2, ring); }},
        {"52 integers", [&](VARIANT& v) { v.vt = VT_ARRAY | VT_I4; v.parray = ArrayWithBytes(VT_I4, ring); }},
        {"bytes by reference",
         [&](VARIANT& v) {
             held = ArrayWithBytes(VT_UI1, ring);
             v.vt = VT_BYREF | VT_ARRAY | VT_UI1;
             v.pparray = &held;
         }},
        {"shorts by reference",
         [&](VARIANT& v) {
             held = ArrayWithBytes(VT_I2, ring);
             v.vt = VT_BYREF | VT_ARRAY | VT_I2;
             v.pparray = &held;
         }},
        {"a variant by reference holding bytes",
         [&](VARIANT& v) {
             ::VariantInit(&heldVariant);
             PutByteArray(heldVariant, ring);
             v.vt = VT_BYREF | VT_VARIANT;
             v.pvarVal = &heldVariant;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRecorderHost h;
        h.fakeSdk.QueueVariant(c.fill);
        DispatchRecorderEvents(h);
        ASSERT_EQ(1, h.items.Count());
        EXPECT_EQ(L"Канал 7", h.items.Items(0)->WinID());
        EXPECT_EQ(0, h.disconnects);
        EXPECT_TRUE(h.statuses.empty());
        if (held) ::SafeArrayDestroy(held);
        held = nullptr;
        ::VariantClear(&heldVariant);
    }
}

TEST_F(RecorderDispatch, ATickInsideARunningDispatchDoesNothing) {
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"84951234567");
    Queue(KDV_MSG_RING, L"K2");
    int readsSeenInside = -1;
    size_t tracedInside = 0;
    host.duringLookup = [&] {
        // A timer tick from a modal loop opened inside the lookup.
        DispatchRecorderEvents(host);
        readsSeenInside = host.fakeSdk.reads;
        tracedInside = host.trace.size();
    };
    Tick();
    EXPECT_EQ(1, readsSeenInside) << "the inner tick read nothing";
    EXPECT_EQ(1u, tracedInside);
    EXPECT_EQ((std::vector<std::wstring>{L"KDV_MSG_ANI_DETECT", L"KDV_MSG_RING"}), host.trace)
        << "the running tick handles the rest of the queue";
    ASSERT_EQ(2, host.items.Count());
    EXPECT_EQ(L"Иванов Пётр", host.items.Items(0)->Caller.Name);
    EXPECT_EQ(0, host.items.UpdateCount());
    EXPECT_EQ((std::vector<TTrayMsgWinItem*>{nullptr, nullptr}), host.notifications) << "one refresh per event";
    ExpectConnectionKept();

    host.duringLookup = nullptr;
    Queue(KDV_MSG_RING, L"K3");
    Tick();
    EXPECT_EQ(3, host.items.Count()) << "the next tick runs again";
}

TEST_F(RecorderDispatch, AnErrorWhileHandlingAnEventIsALostConnection) {
    struct Case {
        const char* name;
        void (*arrange)(FakeRecorderHost&);
    };
    const Case cases[] = {
        {"lookup fails", [](FakeRecorderHost& h) {
             h.failLookup = true;
             h.fakeSdk.Queue(KDV_MSG_ANI_DETECT, L"K2", L"123");
         }},
        {"popup manager fails", [](FakeRecorderHost& h) {
             h.failNotifications = true;
             h.fakeSdk.Queue(KDV_MSG_RING, L"K2");
         }},
        {"channel list fails", [](FakeRecorderHost& h) {
             h.failRefresh = true;
             h.fakeSdk.Queue(KDV_MSG_DEVICE_CONNECTED);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRecorderHost h;
        h.fakeSdk.Queue(KDV_MSG_RING, L"K1");
        DispatchRecorderEvents(h);
        c.arrange(h);
        h.fakeSdk.Queue(KDV_MSG_RING, L"K3");
        DispatchRecorderEvents(h);
        EXPECT_EQ(1, h.disconnects);
        EXPECT_EQ(0, h.items.Count());
        EXPECT_EQ(0, h.items.UpdateCount());
        EXPECT_EQ(std::vector<std::wstring>{kLost}, h.statuses);
        EXPECT_EQ(1, h.balloons);
        EXPECT_EQ(1u, h.fakeSdk.Pending()) << "nothing more is read in that tick";
    }
}

TEST_F(RecorderDispatch, LosingTheConnectionCarriesOutEveryStepEvenWhenOneFails) {
    host.items.Add();
    host.failDisconnect = true;
    host.failNotifications = true;
    Queue(KDV_MSG_DESTROY_CONNECTION);
    Queue(KDV_MSG_RING, L"K3");
    Tick();
    EXPECT_EQ(1, host.disconnects) << "the destroy event is not handled twice";
    EXPECT_EQ(0, host.items.Count());
    EXPECT_EQ(std::vector<std::wstring>{kLost}, host.statuses);
    EXPECT_EQ(1, host.balloons);
    EXPECT_EQ(1u, host.fakeSdk.Pending());
}

TEST_F(RecorderDispatch, FullLengthTextsWithoutTerminatorAreReadWhole) {
    std::wstring channel;
    for (int i = 0; i < 48; ++i) channel.push_back(static_cast<wchar_t>(L'А' + i % 32));
    const std::wstring number(48, L'7');
    Queue(KDV_MSG_RING, channel);
    Queue(KDV_MSG_ANI_DETECT, channel, number);
    Tick();
    ASSERT_EQ(1, host.items.Count());
    const TTrayMsgWinItem* item = host.items.Items(0);
    EXPECT_EQ(channel, item->WinID());
    EXPECT_EQ(kNoNumberText + channel, item->SimpleText());
    EXPECT_EQ(number, item->ClipboardText());
}

TEST_F(RecorderDispatch, AServerThatNeverRunsEmptyCannotHoldTheTickForever) {
    host.fakeSdk.endless = EncodeRecorderEvent({KDV_MSG_RING, L"K1", L""});
    Tick();
    EXPECT_EQ(kMaxRecorderEventsPerTick, host.fakeSdk.reads);
    EXPECT_EQ(1, host.items.Count());
    ExpectConnectionKept();
}

}  // namespace

TEST_F(RecorderDispatch, CallEventsAreToldAfterHandlingWithWhatTheCallerIdShowed) {
    host.settings.FChannels = {L"K1"};
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"84951234567");
    Queue(KDV_MSG_ANI_DETECT, L"K2", L"84957654321");
    Queue(KDV_MSG_CONVERSATION_BEGIN, L"K1");
    Queue(KDV_MSG_CONVERSATION_END, L"K1");
    Queue(KDV_MSG_MISSED_PHONE, L"K2");
    Queue(KDV_MSG_CHANGE_CHANNEL_NAME, L"K1", L"K5");
    Queue(KDV_MSG_DEVICE_CONNECTED, L"K1");
    Queue(4, L"K1");
    Tick();
    ASSERT_EQ(7u, host.callEvents.size()) << "device and unknown events are no call events";
    const struct {
        int32_t code;
        const wchar_t* channel;
        bool monitored;
        bool hasCaller;
    } expected[] = {
        {KDV_MSG_RING, L"K1", true, false},
        {KDV_MSG_ANI_DETECT, L"K1", true, true},
        {KDV_MSG_ANI_DETECT, L"K2", false, false},
        {KDV_MSG_CONVERSATION_BEGIN, L"K1", true, false},
        {KDV_MSG_CONVERSATION_END, L"K1", true, false},
        {KDV_MSG_MISSED_PHONE, L"K2", false, false},
        {KDV_MSG_CHANGE_CHANNEL_NAME, L"K1", false, false},  // K1 is no longer watched: K5 is
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].code, host.callEvents[i].code);
        EXPECT_EQ(expected[i].channel, host.callEvents[i].channel);
        EXPECT_EQ(expected[i].monitored, host.callEvents[i].monitored);
        EXPECT_EQ(expected[i].hasCaller, host.callEvents[i].hasCaller);
    }
    const TCaller& caller = host.callEvents[1].caller;
    EXPECT_EQ(L"74951234567", caller.Number);
    EXPECT_EQ(host.lookupName, caller.Name);
    EXPECT_EQ(host.lookupRegion, caller.Region);
    EXPECT_EQ(L"K5", host.callEvents[6].text);
}

TEST_F(RecorderDispatch, AFailingCallEventHandlerCostsNeitherPopupsNorTheConnection) {
    host.failCallEvents = true;
    Queue(KDV_MSG_RING, L"K1");
    Queue(KDV_MSG_ANI_DETECT, L"K1", L"84951234567");
    Queue(KDV_MSG_RING, L"K2");
    Tick();
    EXPECT_EQ(3u, host.callEvents.size());
    ASSERT_EQ(2, host.items.Count());
    EXPECT_TRUE(Popup(L"K1")->UseRichText);
    EXPECT_EQ(0, host.items.UpdateCount());
    ExpectConnectionKept();
}
