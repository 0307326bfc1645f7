// The tray program's parts wired by the controller, without its main window:
// the simulated server's records reach the popups, the diagnostics, the CRM
// card, the journal and the view.
#include "CrmLink.h"
#include "DirectoryBulk.h"
#include "FakeSqlServer.h"
#include "HeldLock.h"
#include "ControllerParts.h"
#include "InformerController.h"
#include "LoopbackHttpServer.h"
#include "MessagePump.h"
#include "ProcessRunner.h"
#include "SimulatorFixture.h"
#include "SlapdServer.h"
#include "TestFolders.h"
#include "pqrUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

// Stands in for the main window.
class FakeView : public IInformerView {
public:
    void OnCallEvent(const TCallEvent& event) override { kinds.push_back(event.Kind); }
    void ShowServerChannels(const std::vector<std::wstring>& list) override { channels = list; }
    void CallRecorded(const TCallRecord& record) override { records.push_back(record); }
    void JournalFailed(const std::wstring& text) override { failures.push_back(text); }
    void ShowConnection(TConnectionState state, const TConnectionError& reason) override {
        states.push_back(state);
        reasons.push_back(reason);
    }
    void DirectoryFailed(const std::wstring& text) override { directoryFailures.push_back(text); }
    void SaveFailed(const TSaveFailure& failure) override { savesFailed.push_back(failure.Phone); }
    void SaveNotFinished(const std::wstring& phone) override { savesNotFinished.push_back(phone); }
    void QuietTimeChanged() override { ++quietChanges; }
    void SqlDirectoryChanged(const TSqlDirectoryStatus& status) override { sqlStates.push_back(status); }

    bool Heard(TCallEventKind kind) const { return std::find(kinds.begin(), kinds.end(), kind) != kinds.end(); }

    std::vector<TCallEventKind> kinds;
    std::vector<std::wstring> channels;
    std::vector<TCallRecord> records;
    std::vector<std::wstring> failures;
    std::vector<TConnectionState> states;
    std::vector<TConnectionError> reasons;
    std::vector<std::wstring> directoryFailures;
    std::vector<std::wstring> savesFailed;
    std::vector<std::wstring> savesNotFinished;
    int quietChanges = 0;
    std::vector<TSqlDirectoryStatus> sqlStates;
};

class InformerController : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        SetCrmUrlOpener([this](const std::wstring& url, std::wstring&) {
            urls.push_back(url);
            return true;
        });
    }
    void TearDown() override { SetCrmUrlOpener(nullptr); }
    // The city codes' table in folder's TQR, as the directories open it.
    void MakeCityCodes() {
        RunProgram(QuoteArgument(ProgramFolder() + L"\\citycodes.exe") + L" " +
                   QuoteArgument(ProgramFolder() + L"\\numbers-data\\CityCodes.csv") + L" " +
                   QuoteArgument(folder.file(L"TQR")));
    }

    TempFolder folder;
    FakeView view;
    std::vector<std::wstring> urls;
};

TEST_F(InformerController, TheServersCallsReachEveryPartAndTheView) {
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    TMainFormSettings settings = controller.Settings();
    settings.FChannels = {L"K1"};
    settings.FCrmUrlTemplate = L"https://crm.example/?p={number}";
    settings.FCrmOpenMode = comOnAnswer;
    controller.ApplySettings(settings);
    controller.OpenJournal(folder.file(L"Journal\\CallJournal.db"));
    ASSERT_TRUE(Parts::Journal(controller).Enabled());

    // The simulator listens for control lines once an object of it exists.
    KordavinClient opener = KordavinClient::Create(L"");
    ASSERT_TRUE(Control(L"channels K1|K2").starts_with(L"OK"));
    std::wstring error;
    ASSERT_TRUE(controller.Connect(L"", error)) << testing::PrintToString(error);
    EXPECT_EQ((std::vector<std::wstring>{L"K1", L"K2"}), view.channels);
    EXPECT_TRUE(controller.Diagnostics().Connected());

    for (const wchar_t* line : {L"ring K1", L"ani K1 84951234567", L"begin K1", L"begin K1", L"end K1", L"ring K2",
                                L"ring K1"})
        ASSERT_TRUE(Control(line).starts_with(L"OK")) << testing::PrintToString(line);
    controller.PollRecorder();
    ASSERT_EQ(1u, view.records.size());
    EXPECT_EQ(L"K1", view.records[0].Channel);
    EXPECT_EQ(L"74951234567", view.records[0].Caller.Number);
    EXPECT_EQ(TCallOutcome::Answered, view.records[0].Outcome);
    EXPECT_EQ(std::vector<std::wstring>{L"https://crm.example/?p=74951234567"}, urls) << "once for the call";
    EXPECT_EQ(7u, controller.Diagnostics().Count());
    EXPECT_EQ(TLookupFailureKind::DirectoriesClosed, controller.Diagnostics().At(1).LookupFailure)
        << "the directories open only with SyncDirectories";
    EXPECT_EQ(1, Parts::Popups(controller).Items().Count()) << "the second call on K1 rings; K2 is not watched";

    controller.Disconnect();
    EXPECT_FALSE(controller.Connected());
    EXPECT_FALSE(controller.Diagnostics().Connected());
    EXPECT_EQ(0, Parts::Popups(controller).Items().Count());
    ASSERT_EQ(2u, view.records.size());
    EXPECT_EQ(TCallOutcome::Interrupted, view.records[1].Outcome);
    EXPECT_EQ(2u, Parts::Journal(controller).ReadAll().size());
    EXPECT_TRUE(view.failures.empty());
    EXPECT_FALSE(view.Heard(TCallEventKind::ConnectionLost)) << "the user's own disconnect is no lost connection";
}

TEST_F(InformerController, WhileQuietNoPopupAppearsTheCallsStillReachTheJournalAndPopupsComeBackAfter) {
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    int64_t now = 12 * 60 * kMinuteMs;
    Parts::Quiet(controller).SetClock([&now] { return now; }, [] { return false; });
    TMainFormSettings settings = controller.Settings();
    settings.FChannels = {L"K1"};
    controller.ApplySettings(settings);
    controller.OpenJournal(folder.file(L"Journal\\CallJournal.db"));
    KordavinClient opener = KordavinClient::Create(L"");
    ASSERT_TRUE(Control(L"channels K1").starts_with(L"OK"));
    std::wstring error;
    ASSERT_TRUE(controller.Connect(L"", error)) << testing::PrintToString(error);

    controller.Quiet().Start(TQuietFor::Hour);
    for (const wchar_t* line : {L"ring K1", L"ani K1 84951234567", L"missed K1"})
        ASSERT_TRUE(Control(line).starts_with(L"OK")) << testing::PrintToString(line);
    controller.PollRecorder();
    EXPECT_TRUE(Parts::Popups(controller).Windows().empty()) << "no popup while quiet";
    ASSERT_EQ(1u, view.records.size());
    EXPECT_EQ(TCallOutcome::Missed, view.records[0].Outcome);
    EXPECT_EQ(1u, Parts::Journal(controller).ReadAll().size()) << "the call is in the journal";
    EXPECT_EQ(1, Parts::Journal(controller).MissedSinceViewed()) << "and counts as missed";

    now += 61 * kMinuteMs;
    ASSERT_TRUE(Control(L"ring K1").starts_with(L"OK"));
    controller.PollRecorder();
    EXPECT_EQ(1u, Parts::Popups(controller).Windows().size()) << "popups again once the hour is over";
    controller.Disconnect();
    PumpPending();
}

// The tray's icon and hint follow quiet time that the clock begins or ends.
TEST_F(InformerController, QuietTimeTheClockBeginsOrEndsIsToldOnceAtTheNextCheck) {
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    int64_t now = 12 * 60 * kMinuteMs;
    bool busy = false;
    Parts::Quiet(controller).SetClock([&now] { return now; }, [&busy] { return busy; });
    Parts::CheckQuietTime(controller);
    EXPECT_EQ(0, view.quietChanges) << "not quiet, as at the start";

    controller.Quiet().Start(TQuietFor::Hour);
    Parts::CheckQuietTime(controller);
    EXPECT_EQ(1, view.quietChanges);
    now += 30 * kMinuteMs;
    Parts::CheckQuietTime(controller);
    EXPECT_EQ(1, view.quietChanges) << "the same quiet hour is not told again";
    now += 31 * kMinuteMs;
    Parts::CheckQuietTime(controller);
    EXPECT_EQ(2, view.quietChanges) << "the hour ran out";

    TMainFormSettings settings = controller.Settings();
    settings.FQuietWhenBusy = true;
    controller.ApplyQuietHours(settings);
    busy = true;
    Parts::CheckQuietTime(controller);
    EXPECT_EQ(3, view.quietChanges) << "Windows asks for quiet";
    controller.End(TInformerController::TEnding::Exit);
    busy = false;
    Parts::CheckQuietTime(controller);
    EXPECT_EQ(3, view.quietChanges) << "nothing is told once the parts have ended";
}

TEST_F(InformerController, TheServerEndingTheConnectionIsToldToTheViewAndEndsTheCalls) {
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    controller.OpenJournal(folder.file(L"Journal\\CallJournal.db"));
    std::wstring error;
    ASSERT_TRUE(controller.Connect(L"", error)) << testing::PrintToString(error);
    ASSERT_TRUE(Control(L"ring K1").starts_with(L"OK"));
    ASSERT_TRUE(Control(L"destroy").starts_with(L"OK"));
    controller.PollRecorder();
    EXPECT_FALSE(controller.Connected());
    EXPECT_TRUE(view.Heard(TCallEventKind::ConnectionLost));
    ASSERT_EQ(1u, view.records.size());
    EXPECT_EQ(TCallOutcome::Interrupted, view.records[0].Outcome);
    EXPECT_EQ(TConnectionError::Kind::ClosedByServer, controller.Diagnostics().LastConnectionError().What);
    EXPECT_EQ(0, Parts::Popups(controller).Items().Count());
}

TEST_F(InformerController, TheWantedConnectionIsKeptAndTheReasonWhileReconnectingIsTold) {
    MakeCityCodes();
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    KordavinClient opener = KordavinClient::Create(L"");
    ASSERT_TRUE(Control(L"connect-result 10").starts_with(L"OK"));
    controller.ApplyConnection({true, L"", folder.file(L"TQR"), folder.file(L"PQR")});
    EXPECT_FALSE(controller.Connected());
    ASSERT_FALSE(view.states.empty());
    EXPECT_EQ(TConnectionState::Reconnecting, view.states.back());
    EXPECT_EQ(TConnectionError::Kind::ConnectFailed, view.reasons.back().What);
    EXPECT_EQ(L"Ошибка подключения библиотеки 0x0000000A.", view.reasons.back().Text)
        << "the reason the diagnostics give";
    EXPECT_EQ(view.reasons.back().Text, controller.Diagnostics().LastConnectionError().Text);

    // The reconnection timer's tick connects from what was applied, not from any window.
    controller.Reconnect();
    EXPECT_TRUE(controller.Connected());
    EXPECT_EQ(TConnectionState::Connected, view.states.back());

    ASSERT_TRUE(Control(L"destroy").starts_with(L"OK"));
    controller.PollRecorder();
    EXPECT_FALSE(controller.Connected());
    EXPECT_TRUE(view.Heard(TCallEventKind::ConnectionLost));
    EXPECT_EQ(TConnectionState::Reconnecting, view.states.back());
    EXPECT_EQ(TConnectionError::Kind::ClosedByServer, view.reasons.back().What);

    // Off at the user's wish: nothing reconnects it, not even a wake-up.
    controller.Reconnect();
    EXPECT_TRUE(controller.Connected());
    controller.ApplyConnection({false, L"", folder.file(L"TQR"), folder.file(L"PQR")});
    EXPECT_FALSE(controller.Connected());
    EXPECT_EQ(TConnectionState::Off, view.states.back());
    EXPECT_FALSE(controller.Diagnostics().Connected());
    controller.Reconnect();
    controller.WakeUp(TWakeUp::Resume);
    EXPECT_FALSE(controller.Connected());
    EXPECT_TRUE(view.directoryFailures.empty());
}

TEST_F(InformerController, WakingUpReconnectsALostConnectionAtOnce) {
    // Windows tells these to the controller's window; under Wine none arrives,
    // so the reactions are called as the window would.
    const TWakeUp reasons[] = {TWakeUp::Resume, TWakeUp::NetworkChanged, TWakeUp::SessionUnlocked};
    MakeCityCodes();
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    KordavinClient opener = KordavinClient::Create(L"");
    controller.ApplyConnection({true, L"", folder.file(L"TQR"), folder.file(L"PQR")});
    ASSERT_TRUE(controller.Connected());
    for (const TWakeUp reason : reasons) {
        SCOPED_TRACE(static_cast<int>(reason));
        // The connection died in the sleep: the wake-up itself notices it, and
        // reconnects without waiting for the ten-second tick.
        ASSERT_TRUE(Control(L"destroy").starts_with(L"OK"));
        const ULONGLONG started = ::GetTickCount64();
        controller.WakeUp(reason);
        EXPECT_TRUE(controller.Connected());
        EXPECT_LT(::GetTickCount64() - started, 3000u);
        EXPECT_EQ(TConnectionState::Connected, view.states.back());
        EXPECT_EQ(TConnectionError::Kind::ClosedByServer, controller.Diagnostics().LastConnectionError().What);
    }
    EXPECT_EQ(3, std::count(view.kinds.begin(), view.kinds.end(), TCallEventKind::ConnectionLost));
}

TEST_F(InformerController, TheEndOfTheSessionEndsCallsInProgressAsInterruptedInTheClosedJournal) {
    const std::wstring journalPath = folder.file(L"Journal\\CallJournal.db");
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    controller.OpenJournal(journalPath);
    std::wstring error;
    ASSERT_TRUE(controller.Connect(L"", error)) << testing::PrintToString(error);
    for (const wchar_t* line : {L"ring K1", L"ani K1 84951234567", L"begin K1", L"ring K2"})
        ASSERT_TRUE(Control(line).starts_with(L"OK")) << testing::PrintToString(line);
    controller.PollRecorder();
    ASSERT_TRUE(view.records.empty()) << "both calls are still in progress";

    EXPECT_TRUE(controller.Shutdown(3000).empty()) << "no save was running";
    ASSERT_EQ(2u, view.records.size());
    for (const TCallRecord& record : view.records) EXPECT_EQ(TCallOutcome::Interrupted, record.Outcome);
    EXPECT_FALSE(Parts::Journal(controller).Enabled()) << "the journal's file is closed";
    EXPECT_FALSE(controller.Connected());

    // Once only: the window's own end afterwards adds nothing.
    EXPECT_TRUE(controller.Shutdown(3000).empty());
    EXPECT_EQ(2u, view.records.size());

    TCallJournalStore store;
    store.Open(journalPath);
    const std::vector<TCallRecord> stored = store.ReadAll();
    ASSERT_EQ(2u, stored.size());
    std::vector<std::wstring> channels;
    for (const TCallRecord& record : stored) {
        EXPECT_EQ(TCallOutcome::Interrupted, record.Outcome);
        channels.push_back(record.Channel);
    }
    std::sort(channels.begin(), channels.end());
    EXPECT_EQ((std::vector<std::wstring>{L"K1", L"K2"}), channels);
}

TEST_F(InformerController, AnUnreadableAllowListEntryIsToldOnlyWhereThisPcServesTheDirectories) {
    const struct {
        bool shared;
        bool client;
        const wchar_t* allowed;
        std::optional<std::wstring> told;
    } cases[] = {
        {true, false, L"10.0.0.7, 192.168.1.*", L"192.168.1.*"},
        {true, false, L"10.0.0.7;10.0.0.8", L"10.0.0.7;10.0.0.8"},
        {true, false, L" 192.168.1.0/24, 10.0.0.7 ", std::nullopt},
        {true, false, L"", std::nullopt},
        {true, true, L"сервер", std::nullopt},
        {false, false, L"сервер", std::nullopt},
    };
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.allowed));
        TMainFormSettings settings = controller.Settings();
        settings.FUseRemoteDB = c.shared;
        settings.FDBAsClient = c.client;
        settings.FDBAllowedClients = c.allowed;
        controller.ApplySettings(settings);
        const std::optional<TUnreadableEntry> unreadable = controller.UnreadableAllowedClient();
        ASSERT_EQ(c.told.has_value(), unreadable.has_value());
        if (c.told) {
            EXPECT_EQ(*c.told, unreadable->Entry);
        }
    }
}

}  // namespace

namespace {

// A name source that knows one number.
class OneNumberSource : public ICallerNameSource {
public:
    OneNumberSource(std::wstring number, std::wstring name) : number_(std::move(number)), name_(std::move(name)) {}
    bool FindCaller(TCaller& caller, TLookupFailure&) override {
        ++asked;
        if (caller.Number != number_) return false;
        caller.Name = name_;
        return true;
    }
    int asked = 0;

private:
    std::wstring number_, name_;
};

TEST_F(InformerController, NameSourcesAfterTheDirectoriesAreAskedInOrderUntilOneNamesTheCaller) {
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    OneNumberSource first(L"74950000001", L"Первый");
    OneNumberSource second(L"74950000002", L"Второй");
    OneNumberSource third(L"74950000002", L"Третий");
    controller.AddNameSource(first);
    controller.AddNameSource(second);
    controller.AddNameSource(third);
    const struct {
        const wchar_t* number;
        bool found;
        const wchar_t* name;
        int askedThird;
    } cases[] = {
        {L"74950000001", true, L"Первый", 0},
        {L"74950000002", true, L"Второй", 0},
        {L"74959999999", false, L"", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.number));
        third.asked = 0;
        TCaller caller{c.number, {}, {}, {}};
        TLookupFailure failure;
        EXPECT_EQ(c.found, controller.LookUpCaller(caller, failure));
        EXPECT_EQ(c.name, caller.Name);
        EXPECT_EQ(c.askedThird, third.asked);
        // The directories are closed: their reason stands unless a source named the caller.
        EXPECT_EQ(c.found ? TLookupFailureKind::None : TLookupFailureKind::DirectoriesClosed, failure.Kind);
    }
}

}  // namespace

namespace {

// The organisation's directory is asked after the subscriber directory: a
// number only it knows gets its name and, as the comment, the attributes; a
// name an operator saved wins.
TEST_F(InformerController, TheOrganisationsDirectoryNamesCallersTheSubscriberDirectoryDoesNot) {
    if (!TSlapdServer::Available()) GTEST_SKIP() << "slapd runs on the Linux side of Wine only";
    TSlapdServer server;
    std::string why;
    ASSERT_TRUE(server.Start(LdifPerson(L"ivanov", {{L"cn", L"Иван Иванов"},
                                                    {L"telephoneNumber", L"+7 (495) 111-22-33"},
                                                    {L"title", L"Инженер"},
                                                    {L"o", L"ООО Кордавин"}}) +
                                 LdifPerson(L"petrova", {{L"cn", L"Анна Петрова"},
                                                         {L"telephoneNumber", L"8 495 222 33 44 доб. 5"},
                                                         {L"title", L"Бухгалтер"}}),
                             0, why))
        << why;
    MakeCityCodes();
    {
        TPQRDataModule subscribers(folder.file(L"PQR"));
        subscribers.Open();
        subscribers.AddEditRow(L"74952223344", L"Петрова (бухгалтерия)", L"звонить после обеда");
        subscribers.Close();
    }

    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"), folder.path());
    controller.OpenJournal(folder.file(L"CallJournal.db"));
    TMainFormSettings settings = controller.Settings();
    settings.FLdapServers = server.Url();
    settings.FLdapBase = TSlapdServer::kSuffix;
    settings.FLdapCommentAttributes = L"title,o";
    controller.ApplySettings(settings);
    const ULONGLONG until = ::GetTickCount64() + 30000;
    while (Parts::OrgDirectory(controller).LastSync().Entries < 2 && ::GetTickCount64() < until) ::Sleep(50);
    ASSERT_EQ(2, Parts::OrgDirectory(controller).LastSync().Entries)
        << testing::PrintToString(Parts::OrgDirectory(controller).LastSync().Error.Detail);

    KordavinClient opener = KordavinClient::Create(L"");
    std::wstring error;
    ASSERT_TRUE(controller.Connect(L"", error)) << testing::PrintToString(error);
    controller.SyncDirectories(folder.file(L"TQR"), folder.file(L"PQR"));

    const struct {
        const wchar_t* number;
        const wchar_t* name;
        const wchar_t* comment;
    } cases[] = {
        {L"74951112233", L"Иван Иванов", L"Инженер, ООО Кордавин"},
        {L"74952223344", L"Петрова (бухгалтерия)", L"звонить после обеда"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.number));
        TCaller caller{c.number, {}, {}, {}};
        TLookupFailure failure;
        EXPECT_TRUE(controller.LookUpCaller(caller, failure));
        EXPECT_EQ(c.name, caller.Name);
        EXPECT_EQ(c.comment, caller.Comment);
        EXPECT_EQ(L"Москва", caller.Region) << "the region still comes from the city codes";
        EXPECT_EQ(TLookupFailureKind::None, failure.Kind);
    }

    // A call through the server carries the directory's name to the journal.
    for (const wchar_t* line : {L"ring K1", L"ani K1 84951112233", L"end K1"})
        ASSERT_TRUE(Control(line).starts_with(L"OK")) << testing::PrintToString(line);
    controller.PollRecorder();
    ASSERT_EQ(1u, view.records.size());
    EXPECT_EQ(L"Иван Иванов", view.records[0].Caller.Name);

    // Switched off, it names nobody.
    settings.FLdapServers.clear();
    controller.ApplySettings(settings);
    TCaller caller{L"74951112233", {}, {}, {}};
    TLookupFailure failure;
    controller.LookUpCaller(caller, failure);
    EXPECT_EQ(L"", caller.Name);
}

// The caller whom the popup of the one call on a channel shows; empty without a popup.
TCaller PopupCaller(TInformerController& controller) {
    TTrayMsgWinCollection& items = Parts::Popups(controller).Items();
    return items.Count() == 1 ? items.Items(0)->Caller : TCaller{};
}

class CrmNames : public InformerController {
protected:
    // A controller watching K1, its journal open, the lookup against server, connected.
    void Start(TInformerController& controller, const TLoopbackHttpServer& server) {
        TMainFormSettings settings = controller.Settings();
        settings.FChannels = {L"K1"};
        settings.LookupUrlTemplate = server.BaseUrlW() + L"/find?phone={number}";
        settings.LookupCommentPath = L"/company";
        controller.ApplySettings(settings);
        controller.OpenJournal(folder.file(L"Journal\\CallJournal.db"));
        opener.emplace(KordavinClient::Create(L""));
        ASSERT_TRUE(Control(L"channels K1").starts_with(L"OK"));
        std::wstring error;
        ASSERT_TRUE(controller.Connect(L"", error)) << testing::PrintToString(error);
    }
    void Send(TInformerController& controller, std::initializer_list<const wchar_t*> lines) {
        for (const wchar_t* line : lines) ASSERT_TRUE(Control(line).starts_with(L"OK")) << testing::PrintToString(line);
        controller.PollRecorder();
    }

    std::optional<KordavinClient> opener;
};

TEST_F(CrmNames, ACallerNoDirectoryKnowsIsNamedInTheOpenPopupOnceAndTheJournalKeepsTheName) {
    TLoopbackHttpServer server([](const TReceivedRequest&) {
        THttpScript s;
        s.DelayMs = 300;
        s.Body = R"({"name":"ООО «Ромашка»","company":"Клиент с 2019 года"})";
        return s;
    });
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    Start(controller, server);
    Send(controller, {L"ring K1", L"ani K1 84951234567"});
    const TCaller shown = PopupCaller(controller);
    EXPECT_EQ(L"74951234567", shown.Number) << "the popup is there at once";
    EXPECT_EQ(L"", shown.Name) << "before the CRM answers";

    // More events of the same call ask no more.
    Send(controller, {L"ani K1 84951234567", L"begin K1"});
    ASSERT_TRUE(PumpUntil([&] { return !PopupCaller(controller).Name.empty(); }));
    EXPECT_EQ(L"ООО «Ромашка»", PopupCaller(controller).Name);
    EXPECT_EQ(L"Клиент с 2019 года", PopupCaller(controller).Comment);
    EXPECT_EQ(L"74951234567", PopupCaller(controller).Number);
    EXPECT_TRUE(view.Heard(TCallEventKind::CallerChanged));
    EXPECT_EQ(1, server.RequestCount());
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_EQ("/find?phone=74951234567", server.Requests()[0].Target);

    Send(controller, {L"end K1"});
    const auto stored = Parts::Journal(controller).ReadAll();
    ASSERT_EQ(1u, stored.size());
    EXPECT_EQ(L"ООО «Ромашка»", stored[0].Caller.Name);
    EXPECT_EQ(0u, Parts::CrmNames(controller).WaitingCalls());
}

TEST_F(CrmNames, AnAnswerAfterTheCallEndedNamesTheJournalOnlyAndAFailureReachesTheDiagnostics) {
    // The first call's answer comes late; the second call's number gets a 500.
    TLoopbackHttpServer server([](const TReceivedRequest& request) {
        THttpScript s;
        if (request.Target.find("74950000500") != std::string::npos) {
            s.Status = 500;
            s.Body = "oops";
            return s;
        }
        s.DelayMs = 800;
        s.Body = R"({"name":"Поздний"})";
        return s;
    });
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    Start(controller, server);
    Send(controller, {L"ring K1", L"ani K1 84951112233", L"end K1"});
    ASSERT_EQ(1u, view.records.size());
    EXPECT_EQ(L"", view.records[0].Caller.Name);
    EXPECT_EQ(0, Parts::Popups(controller).Items().Count());

    ASSERT_TRUE(PumpUntil([&] { return Parts::CrmNames(controller).WaitingCalls() == 0; }));
    const auto stored = Parts::Journal(controller).ReadAll();
    ASSERT_EQ(1u, stored.size());
    EXPECT_EQ(L"Поздний", stored[0].Caller.Name);
    EXPECT_EQ(L"74951112233", stored[0].Caller.Number);
    EXPECT_EQ(0, Parts::Popups(controller).Items().Count()) << "no popup comes back for a call that has ended";
    EXPECT_FALSE(view.Heard(TCallEventKind::CallerChanged));

    const size_t before = controller.Diagnostics().Total();
    Send(controller, {L"ring K1", L"ani K1 84950000500"});
    ASSERT_TRUE(PumpUntil([&] { return Parts::CrmNames(controller).WaitingCalls() == 0; }));
    const TEventDiagnostics& diagnostics = controller.Diagnostics();
    ASSERT_EQ(before + 3, diagnostics.Total()) << "two records of the server and the lookup's failure";
    const TEventRecord& failure = diagnostics.At(diagnostics.Count() - 1);
    EXPECT_EQ(TCrmNamesError::HttpStatus, failure.CrmNamesError);
    EXPECT_EQ(L"500", failure.Detail);
    EXPECT_EQ(std::wstring(L"K1"), failure.Channel.data());
    EXPECT_EQ(std::wstring(L"74950000500"), failure.Number.data());
    EXPECT_EQ(L"", PopupCaller(controller).Name);
    EXPECT_EQ(2, server.RequestCount());
}

TEST_F(CrmNames, TheEndOfTheSessionDoesNotWaitForACrmThatNeverAnswers) {
    TLoopbackHttpServer server([](const TReceivedRequest&) {
        // Silent until the test is over (the server cuts the delay short on its end).
        THttpScript s;
        s.DelayMs = 60000;
        return s;
    });
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    Start(controller, server);
    Send(controller, {L"ring K1", L"ani K1 84951234567"});
    ASSERT_TRUE(PumpUntil([&] { return server.RequestCount() == 1; }));

    const ULONGLONG started = ::GetTickCount64();
    controller.End(TInformerController::TEnding::SessionEnd);
    const ULONGLONG took = ::GetTickCount64() - started;
    EXPECT_LT(took, 5000u) << "the CRM's request is left behind, not waited for";
    ASSERT_EQ(1u, view.records.size());
    EXPECT_EQ(TCallOutcome::Interrupted, view.records[0].Outcome);
    EXPECT_TRUE(view.savesNotFinished.empty());
    EXPECT_TRUE(view.savesFailed.empty());
    EXPECT_FALSE(Parts::Journal(controller).Enabled());
    controller.End(TInformerController::TEnding::Exit);
    EXPECT_EQ(1u, view.records.size()) << "once only";
}

TEST_F(CrmNames, ANumberADirectoryNamesAsksNoCrm) {
    TLoopbackHttpServer server([](const TReceivedRequest&) {
        THttpScript s;
        s.Body = R"({"name":"Из CRM"})";
        return s;
    });
    OneNumberSource source(L"74957654321", L"Из справочника");
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    controller.AddNameSource(source);
    Start(controller, server);
    Send(controller, {L"ring K1", L"ani K1 84957654321"});
    PumpFor(300);
    EXPECT_EQ(L"Из справочника", PopupCaller(controller).Name);
    EXPECT_EQ(0, server.RequestCount());
}

// Another workstation holds the subscriber table locked while calls come in:
// the popups show the region at once (the city codes are not locked), and the
// name follows once the lock is gone, in the popup of a call in progress or in
// the journal of one that has ended.
TEST_F(CrmNames, UnderALockedSubscriberTableTheRegionShowsAtOnceAndTheNameFollows) {
    RunProgram(QuoteArgument(ProgramFolder() + L"\\citycodes.exe") + L" " +
               QuoteArgument(ProgramFolder() + L"\\numbers-data\\CityCodes.csv") + L" " +
               QuoteArgument(folder.file(L"TQR")));
    {
        TPQRDataModule subscribers(folder.file(L"PQR"));
        subscribers.Open();
        subscribers.AddEditRow(L"74952223344", L"Петрова (бухгалтерия)", L"звонить после обеда");
        subscribers.AddEditRow(L"74955556677", L"Сидоров", L"");
        subscribers.Close();
    }
    // A CRM that knows nobody: the names come from the subscriber table alone.
    TLoopbackHttpServer unused([](const TReceivedRequest&) {
        THttpScript s;
        s.Status = 404;
        return s;
    });
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"));
    Start(controller, unused);
    controller.SyncDirectories(folder.file(L"TQR"), folder.file(L"PQR"));

    {
        HeldLock lock(folder.file(L"PQR\\AbonentPhones.db"), L"exclusive", 60000);
        ASSERT_TRUE(lock.held());
        Send(controller, {L"ring K1", L"ani K1 84952223344"});
        const TCaller shown = PopupCaller(controller);
        EXPECT_EQ(L"74952223344", shown.Number);
        EXPECT_EQ(L"Москва", shown.Region) << "the region whatever the subscriber table's state";
        EXPECT_EQ(L"", shown.Name);
        EXPECT_EQ(1u, Parts::LateSubscriberNames(controller).WaitingCalls());
        PumpFor(3 * TLateSubscriberNames::kRetryEveryMs);
        EXPECT_EQ(L"", PopupCaller(controller).Name) << "still locked";
    }
    ASSERT_TRUE(PumpUntil([&] { return !PopupCaller(controller).Name.empty(); }));
    EXPECT_EQ(L"Петрова (бухгалтерия)", PopupCaller(controller).Name);
    EXPECT_EQ(L"звонить после обеда", PopupCaller(controller).Comment);
    EXPECT_EQ(L"Москва", PopupCaller(controller).Region);
    EXPECT_EQ(0u, Parts::LateSubscriberNames(controller).WaitingCalls());
    Send(controller, {L"end K1"});

    // A call that ends while the table is still locked: the journal gets the name.
    {
        HeldLock lock(folder.file(L"PQR\\AbonentPhones.db"), L"exclusive", 60000);
        ASSERT_TRUE(lock.held());
        Send(controller, {L"ring K1", L"ani K1 84955556677", L"end K1"});
    }
    ASSERT_TRUE(PumpUntil([&] { return Parts::LateSubscriberNames(controller).WaitingCalls() == 0; }));
    const auto stored = Parts::Journal(controller).ReadAll();
    ASSERT_EQ(2u, stored.size());
    const auto second = std::find_if(stored.begin(), stored.end(),
                                     [](const TCallRecord& r) { return r.Caller.Number == L"74955556677"; });
    ASSERT_NE(stored.end(), second);
    EXPECT_EQ(L"Сидоров", second->Caller.Name);
    EXPECT_EQ(L"Москва", second->Caller.Region);
    EXPECT_EQ(0, Parts::Popups(controller).Items().Count());
}

}  // namespace

namespace {

// The name a lookup of the controller gives now.
std::wstring NameOf(TInformerController& controller, const std::wstring& number) {
    TCaller caller{number, {}, {}, {}};
    TLookupFailure failure;
    controller.LookUpCaller(caller, failure);
    return caller.Name;
}

bool ServerHas(TFakeSqlTable& table, const std::wstring& phone, const std::wstring& name) {
    std::wstring stored, comment;
    return table.Lookup(phone, stored, comment) && stored == name;
}

TEST_F(InformerController, WithSqlConnectionSetTheSubscriberDirectoryIsTheSqlOneAndTheSharingIsNotUsedForNames) {
    MakeCityCodes();
    auto table = std::make_shared<TFakeSqlTable>();
    table->Put(L"74951234567", L"Из SQL", L"с сервера");
    PutDirectoryRow(folder.file(L"PQR"), {L"74951234567", L"Из папки", L""});
    TInformerController controller(view, folder.file(L"TQR"), folder.file(L"PQR"), folder.file(L"Parts"),
                                   FakeSqlServers(table));
    TMainFormSettings settings = controller.Settings();
    settings.FSqlConnection = L"Driver={PostgreSQL Unicode};Server=db1;Database=phones;";
    settings.FSqlSyncSeconds = 1;
    // A client of a directory server that is not there: names come from SQL all the same.
    settings.FUseRemoteDB = true;
    settings.FDBAsClient = true;
    settings.FDBServerAddress = L"127.0.0.1";
    controller.ApplySettings(settings);
    ASSERT_TRUE(controller.SqlDirectoryStatus().Enabled);
    ASSERT_FALSE(view.sqlStates.empty());
    EXPECT_TRUE(view.sqlStates.back().Enabled);
    KordavinClient opener = KordavinClient::Create(L"");
    controller.ApplyConnection({true, L"", folder.file(L"TQR"), folder.file(L"PQR")});
    ASSERT_TRUE(controller.Connected());

    // The sync brings the server's names into the replica that popups read.
    EXPECT_TRUE(PumpUntil([&] { return NameOf(controller, L"74951234567") == L"Из SQL"; }, 10000));

    // A save from the popup editor's path goes to the SQL directory and on to the server.
    controller.ContactSaver()(L"78121234500", L"Петров", L"склад");
    EXPECT_EQ(L"Петров", NameOf(controller, L"78121234500")) << "in the replica at once";
    EXPECT_TRUE(PumpUntil([&] { return ServerHas(*table, L"78121234500", L"Петров"); }, 10000));

    // The directory window reads the replica and writes through the SQL directory.
    const TInformerController::TSubscriberDirectory directory = controller.SubscriberDirectory();
    EXPECT_FALSE(directory.Remote);
    EXPECT_NE(folder.file(L"PQR"), directory.Folder);
    EXPECT_EQ(2u, ReadDirectoryRows(directory.Folder).size());
    directory.Writes->Delete(L"74951234567");
    EXPECT_TRUE(PumpUntil([&] { return !ServerHas(*table, L"74951234567", L"Из SQL"); }, 10000));
    EXPECT_EQ(L"", NameOf(controller, L"74951234567"));
    directory.Writes->Put({L"74950000001", L"Новиков", L""});
    EXPECT_TRUE(PumpUntil([&] { return ServerHas(*table, L"74950000001", L"Новиков"); }, 10000));
    EXPECT_EQ(1u, ReadDirectoryRows(folder.file(L"PQR")).size()) << "the folder is left alone";

    // This PC as the directory server: it serves nothing beside the SQL directory.
    settings.FDBAsClient = false;
    settings.FDBAllowedClients = L"no address";
    controller.ApplySettings(settings);
    EXPECT_FALSE(controller.UnreadableAllowedClient()) << "no directory server reads the list";
    EXPECT_TRUE(controller.RestartSharedDirectoryServer());

    // Off again: the folder (here the directory server's) is the subscriber directory once more.
    settings.FSqlConnection.clear();
    settings.FUseRemoteDB = false;
    controller.ApplySettings(settings);
    EXPECT_FALSE(controller.SqlDirectoryStatus().Enabled);
    controller.Reconnect();
    EXPECT_EQ(L"Из папки", NameOf(controller, L"74951234567"));
    EXPECT_EQ(folder.file(L"PQR"), controller.SubscriberDirectory().Folder);
    EXPECT_TRUE(view.directoryFailures.empty());
}

}  // namespace
