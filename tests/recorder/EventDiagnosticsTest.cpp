// What the dispatch records for each event: the reason a popup did or did not
// appear, and the ring that keeps the last events.
#include "FakeRecorderHost.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct QueuedEvent {
    int32_t code;
    std::wstring channel;
    std::wstring text;
};

struct OutcomeCase {
    const char* what;
    std::function<void(FakeRecorderHost&)> setUp;
    std::vector<QueuedEvent> events;
    TEventOutcome outcome;
    bool withheld = false;
    TLookupFailure lookup = {};
    // Runs before the last event, once the others are handled.
    std::function<void(FakeRecorderHost&)> beforeLast = {};
};

void HideAllPopups(FakeRecorderHost& host) {
    for (int i = 0; i < host.items.Count(); ++i) host.items.Items(i)->SetVisible(false);
}

const QueuedEvent kRingK1{KDV_MSG_RING, L"K1", L""};
const QueuedEvent kCallerK1{KDV_MSG_ANI_DETECT, L"K1", L"84951234567"};

// The last event of each case is the one whose record is checked.
const std::vector<OutcomeCase> kOutcomeCases = {
    {"a ring opens a popup", {}, {kRingK1}, TEventOutcome::PopupShown},
    {"a caller ID without ring opens a popup", {}, {kCallerK1}, TEventOutcome::PopupShown},
    {"a caller ID after a ring fills its popup", {}, {kRingK1, kCallerK1}, TEventOutcome::PopupUpdated},
    {"a second ring finds the popup", {}, {kRingK1, kRingK1}, TEventOutcome::PopupAlreadyOpen},
    {"a ring on an unmonitored channel", [](FakeRecorderHost& h) { h.settings.FChannels = {L"K2"}; },
     {kRingK1}, TEventOutcome::NotMonitored},
    {"a caller ID on an unmonitored channel", [](FakeRecorderHost& h) { h.settings.FChannels = {L"K2"}; },
     {kCallerK1}, TEventOutcome::NotMonitored},
    {"a ring in caller-ID-only mode", [](FakeRecorderHost& h) { h.settings.FCallerIDOnly = true; },
     {kRingK1}, TEventOutcome::CallerIdOnly},
    {"an empty number in caller-ID-only mode", [](FakeRecorderHost& h) { h.settings.FCallerIDOnly = true; },
     {{KDV_MSG_ANI_DETECT, L"K1", L""}}, TEventOutcome::CallerIdOnly},
    {"a private number in caller-ID-only mode", [](FakeRecorderHost& h) { h.settings.FCallerIDOnly = true; },
     {{KDV_MSG_ANI_DETECT, L"K1", L"P"}}, TEventOutcome::Withheld, true},
    {"an out-of-area number in caller-ID-only mode", [](FakeRecorderHost& h) { h.settings.FCallerIDOnly = true; },
     {{KDV_MSG_ANI_DETECT, L"K1", L"O"}}, TEventOutcome::Withheld, true},
    {"a private number otherwise shows the popup", {}, {{KDV_MSG_ANI_DETECT, L"K1", L"P"}},
     TEventOutcome::PopupShown, true},
    {"the local directories are closed",
     [](FakeRecorderHost& h) {
         h.lookupResult = false;
         h.lookupFailure = {TLookupFailureKind::DirectoriesClosed, L""};
     },
     {kCallerK1}, TEventOutcome::PopupShown, false, {TLookupFailureKind::DirectoriesClosed, L""}},
    {"the directory server is not reached",
     [](FakeRecorderHost& h) {
         h.lookupResult = false;
         h.lookupFailure = {TLookupFailureKind::ServerNotReached, L"10.0.0.9:32456"};
     },
     {kRingK1, kCallerK1}, TEventOutcome::PopupUpdated, false,
     {TLookupFailureKind::ServerNotReached, L"10.0.0.9:32456"}},
    {"a ring after the user closed the popup", {}, {kRingK1, kRingK1}, TEventOutcome::PopupHiddenByUser, false, {},
     HideAllPopups},
    {"a caller ID after the user closed the popup", {}, {kRingK1, kCallerK1}, TEventOutcome::PopupHiddenByUser, false,
     {}, HideAllPopups},
    {"the end of a call closes its popup", {}, {kRingK1, {KDV_MSG_CONVERSATION_END, L"K1", L""}},
     TEventOutcome::PopupClosed},
    {"a missed call on a channel without popup", {}, {{KDV_MSG_MISSED_PHONE, L"K1", L""}}, TEventOutcome::NoPopup},
    {"an answer retitles the popup", {}, {kRingK1, {KDV_MSG_CONVERSATION_BEGIN, L"K1", L""}},
     TEventOutcome::PopupUpdated},
    {"an answer closes the popup when so set", [](FakeRecorderHost& h) { h.settings.FCloseTMWOnStart = true; },
     {kRingK1, {KDV_MSG_CONVERSATION_BEGIN, L"K1", L""}}, TEventOutcome::PopupClosed},
    {"a device online", {}, {{KDV_MSG_DEVICE_CONNECTED, L"", L""}}, TEventOutcome::ChannelListRefreshed},
    {"a rename", {}, {{KDV_MSG_CHANGE_CHANNEL_NAME, L"K1", L"K5"}}, TEventOutcome::ChannelRenamed},
    {"the server ends the connection", {}, {{KDV_MSG_DESTROY_CONNECTION, L"", L""}},
     TEventOutcome::ConnectionClosed},
    {"an unknown event code", {}, {{4, L"K1", L"123"}}, TEventOutcome::UnknownCode},
};

TEST(EventDiagnostics, EachEventIsRecordedWithWhatWasDoneWithIt) {
    for (const OutcomeCase& c : kOutcomeCases) {
        FakeRecorderHost host;
        if (c.setUp) c.setUp(host);
        for (size_t i = 0; i + 1 < c.events.size(); ++i)
            host.fakeSdk.Queue(c.events[i].code, c.events[i].channel, c.events[i].text);
        DispatchRecorderEvents(host);
        if (c.beforeLast) c.beforeLast(host);
        const QueuedEvent& last = c.events.back();
        host.fakeSdk.Queue(last.code, last.channel, last.text);
        DispatchRecorderEvents(host);
        ASSERT_EQ(c.events.size(), host.diagnostics.Count()) << c.what << ": one record per event read";
        const TEventRecord& record = host.diagnostics.At(host.diagnostics.Count() - 1);
        EXPECT_EQ(c.outcome, record.Outcome) << c.what;
        EXPECT_EQ(c.withheld, record.NumberWithheld) << c.what;
        EXPECT_EQ(c.lookup.Kind, record.LookupFailure) << c.what;
        EXPECT_EQ(c.lookup.Detail, record.Detail) << c.what;
        EXPECT_EQ(last.code, record.Code) << c.what;
        EXPECT_EQ(last.channel, record.Channel.data()) << c.what;
        EXPECT_EQ(last.text, record.Number.data()) << c.what;
    }
}

TEST(EventDiagnostics, AnErrorWhileHandlingIsRecordedWithItsTextAsTheLastConnectionError) {
    FakeRecorderHost host;
    host.failLookup = true;
    host.fakeSdk.Queue(KDV_MSG_ANI_DETECT, L"K1", L"123");
    DispatchRecorderEvents(host);
    ASSERT_EQ(1u, host.diagnostics.Count());
    const TEventRecord& record = host.diagnostics.At(0);
    EXPECT_EQ(TEventOutcome::HandlingFailed, record.Outcome);
    EXPECT_EQ(KDV_MSG_ANI_DETECT, record.Code) << "the event that failed is named";
    EXPECT_EQ(L"lookup failed", record.Detail);
    EXPECT_EQ(TConnectionError::Kind::HandlingFailed, host.diagnostics.LastConnectionError().What);
    EXPECT_EQ(L"lookup failed", host.diagnostics.LastConnectionError().Text);
    EXPECT_FALSE(host.diagnostics.Connected());
    EXPECT_EQ(1, host.disconnects) << "the connection is still dropped";

    FakeRecorderHost closing;
    closing.fakeSdk.Queue(KDV_MSG_DESTROY_CONNECTION);
    DispatchRecorderEvents(closing);
    EXPECT_EQ(TConnectionError::Kind::ClosedByServer, closing.diagnostics.LastConnectionError().What);
}

TEST(EventDiagnostics, TheRingKeepsTheLast500EventsOldestFirst) {
    TEventDiagnostics diagnostics;
    constexpr int kEvents = 1203;
    for (int i = 0; i < kEvents; ++i)
        diagnostics.Record({KDV_MSG_RING, L"K" + std::to_wstring(i), L""}, {TEventOutcome::PopupShown});
    ASSERT_EQ(TEventDiagnostics::kCapacity, diagnostics.Count());
    EXPECT_EQ(static_cast<uint64_t>(kEvents), diagnostics.Total());
    EXPECT_STREQ(L"K703", diagnostics.At(0).Channel.data()) << "the oldest still held";
    EXPECT_STREQ(L"K1202", diagnostics.At(499).Channel.data()) << "the newest";
    EXPECT_THROW(diagnostics.At(500), std::out_of_range);

    TEventDiagnostics few;
    few.Record({KDV_MSG_RING, L"A", L""}, {TEventOutcome::PopupShown});
    few.Record({KDV_MSG_RING, L"B", L""}, {TEventOutcome::PopupShown});
    EXPECT_EQ(2u, few.Count());
    EXPECT_STREQ(L"A", few.At(0).Channel.data());
}

TEST(EventDiagnostics, TextsLongerThanARecordFieldAreCutAndARareDetailIsKept) {
    TEventDiagnostics diagnostics;
    const std::wstring longText(60, L'Ж');
    TEventHandling failedLookup(TEventOutcome::PopupShown);
    failedLookup.Lookup = {TLookupFailureKind::LocalStoreError, L"диск"};
    diagnostics.Record({KDV_MSG_ANI_DETECT, longText, longText}, failedLookup);
    diagnostics.Record({KDV_MSG_RING, L"K2", L""}, {TEventOutcome::PopupShown});
    EXPECT_EQ(std::wstring(48, L'Ж'), diagnostics.At(0).Channel.data());
    EXPECT_EQ(std::wstring(48, L'Ж'), diagnostics.At(0).Number.data());
    EXPECT_EQ(L"диск", diagnostics.At(0).Detail);
    EXPECT_EQ(L"", diagnostics.At(1).Detail) << "an event without failure carries no detail";
}

}  // namespace
