#include "InformerController.h"

#include "AllowedClients.h"
#include "AppError.h"
#include "ChannelList.h"
#include "ConnectionTexts.h"
#include "NameSources.h"
#include "ParallelStops.h"
#include "SaveDataThreadUnit.h"
#include "SqlDirectoryWrites.h"

#include <algorithm>

TInformerController::TInformerController(IInformerView& view, std::wstring cityCodesDir,
                                         std::wstring abonentPhoneDir, std::wstring nameSourceFolder,
                                         TSqlDirectory::TServerFactory sqlServers)
    : FView(view) {
    FPopups = std::make_unique<TTrayMsgWins>();
    FQuiet = std::make_unique<TQuietTime>();
    FPopups->SetHoldBack([this] { return FQuiet->Quiet(); });
    FAreaList = std::make_unique<TTQRDataModule>(std::move(cityCodesDir));
    FAbonentList = std::make_unique<TPQRDataModule>(std::move(abonentPhoneDir));
    FCallerLookup = std::make_unique<TCallerLookup>(*FAreaList, *FAbonentList);
    FDBClient = std::make_unique<TSharedDirectoryClient>();
    FCallerLookup->SetRemote(FDBClient.get());
    FDBServerBackend = std::make_unique<TCallerLookupBackend>(*FCallerLookup, *FAbonentList);
    FDBServer = std::make_unique<TSharedDirectoryServer>(*FDBServerBackend);
    FWindow = std::make_unique<TControllerWindow>(static_cast<IControllerClock&>(*this));
    SetTimer(TTimer::Quiet, kQuietCheckMs, true);
    FSqlDirectory = std::make_shared<TSqlDirectory>(nameSourceFolder.empty() ? DefaultSqlReplicaRoot() : nameSourceFolder,
                                                    std::move(sqlServers));
    FSqlDirectoryPart = std::make_unique<TSqlDirectoryPart>(FSqlDirectory);
    // Told on the sync's thread: posted on, by the window's handle, which a
    // message after the window has gone simply misses.
    FSqlDirectory->SetOnStatusChanged([window = FWindow->Handle()] {
        ::PostMessageW(window, static_cast<UINT>(TPosted::SqlDirectoryChanged), 0, 0);
    });
    FSaveFailures = std::make_shared<TSaveFailureQueue>(FWindow->Handle(), static_cast<UINT>(TPosted::SaveFailed));
    // Told inside the event stream: the view hears of it once the stream is done.
    FCallJournal = std::make_unique<TCallJournal>([this](const std::wstring& text) {
        FJournalFailure = text;
        if (FWindow) FWindow->Post(TPosted::JournalFailed);
    });
    FCallJournal->SetOnRecorded([this](const TCallRecord& record) { FView.CallRecorded(record); });
    FCrmOnAnswer = std::make_unique<TCrmOnAnswer>(
        [this] { return TCrmSettings{FSettings.FCrmUrlTemplate, FSettings.FCrmOpenMode}; });
    FDispatch = std::make_unique<TRecorderDispatch>(static_cast<IRecorderHost&>(*this), FSettings, FPopups->Items());
    // The parts that keep state first; the view last, when the state is told.
    FDispatch->AddListener(FDiagnostics);
    FDispatch->AddListener(*FCrmOnAnswer);
    const TNameSourceContext context{*FDispatch,
                                     *FCallJournal,
                                     FDiagnostics,
                                     std::move(nameSourceFolder),
                                     [this](ICallerNameSource& source) { AddNameSource(source); },
                                     [this](ICallEventListener& listener) { FDispatch->AddListener(listener); }};
    for (const TNameSource& source : NameSources())
        if (source.Make) FNameSourceParts.emplace_back(source.Part, source.Make(context));
    FLateNames = std::make_unique<TLateSubscriberNames>(*FCallerLookup, *FDispatch, *FCallJournal);
    FDispatch->AddListener(*FLateNames);
    FDispatch->AddListener(*FCallJournal);
    FDispatch->AddListener(FView);
    // The built-in defaults that exist only at run time.
    FSettings.FCityCodesDir = FAreaList->CityCodesDir();
    FSettings.FAbonentPhoneDir = FAbonentList->AbonentPhoneDir();
    FSettings.FFontName = FPopups->Font().Name;
    FSettings.FFontSize = FPopups->Font().Size;
}

TInformerController::~TInformerController() {
    // A controller that was never shut down still ends its calls and threads.
    if (!FShutDown) Shutdown(0);
}

void TInformerController::ApplyQuietHours(const TMainFormSettings& settings) {
    FSettings.FQuietHours = settings.FQuietHours;
    FSettings.FQuietHoursFrom = settings.FQuietHoursFrom;
    FSettings.FQuietHoursTo = settings.FQuietHoursTo;
    FSettings.FQuietWhenBusy = settings.FQuietWhenBusy;
    FQuiet->SetSettings(QuietSettingsFrom(settings.FQuietHours, settings.FQuietHoursFrom, settings.FQuietHoursTo,
                                          settings.FQuietWhenBusy));
}

void TInformerController::ApplySettings(const TMainFormSettings& settings) {
    FSettings = settings;
    TTMWFont font = FPopups->Font();
    font.Name = FSettings.FFontName;
    font.Size = FSettings.FFontSize;
    FPopups->SetFont(&font);
    ApplyQuietHours(FSettings);
    ApplySqlDirectory();
    // The SQL directory replaces the directory sharing for names.
    FCallerLookup->SetUseRemoteDB(FSettings.FUseRemoteDB && !FSqlInUse);
    FCallerLookup->SetDBAsClient(FSettings.FDBAsClient);
    FDBClient->SetServer(FSettings.FDBServerAddress, FSettings.FDBPort);
    for (auto& [part, source] : FNameSourceParts)
        if (source) source->Apply(FSettings);
}

void TInformerController::ApplyNameSource(TSettingsPart part, const TMainFormSettings& settings) {
    FSettings = settings;
    for (auto& [sourcePart, source] : FNameSourceParts)
        if (source && sourcePart == part) source->ApplyOwnPart(FSettings);
}

void TInformerController::ApplyPart(TSettingsPart part, const TMainFormSettings& settings) {
    switch (part) {
    case TSettingsPart::Main: ApplySettings(settings); break;
    case TSettingsPart::QuietHours: ApplyQuietHours(settings); break;
    case TSettingsPart::SqlDirectory:
        ApplySettings(settings);
        // This PC no longer serves (or serves again) the directories it keeps.
        RestartSharedDirectoryServer();
        break;
    default: ApplyNameSource(part, settings); break;
    }
}

const INameSourcePart* TInformerController::NameSourcePart(TSettingsPart part) const {
    if (part == TSettingsPart::SqlDirectory) return FSqlDirectoryPart.get();
    for (const auto& [sourcePart, source] : FNameSourceParts)
        if (sourcePart == part) return source.get();
    return nullptr;
}

bool TInformerController::RestartSharedDirectoryServer() {
    FDBServer->Stop();
    if (!FSettings.FUseRemoteDB || FSettings.FDBAsClient || FSqlInUse) return true;
    try {
        FDBServer->Start(FSettings.FDBPort, TAllowedClients::Parse(FSettings.FDBAllowedClients));
        return true;
    } catch (...) {
        return false;
    }
}

void TInformerController::ApplySqlDirectory() {
    const bool wanted = SqlDirectoryEnabled(FSettings);
    const bool wasInUse = FSqlInUse;
    try {
        // The same settings again leave a running sync alone.
        FSqlDirectoryPart->Apply(FSettings);
        FSqlInUse = wanted && !FSqlDirectory->ReplicaFolder().empty();
    } catch (...) {
        // No replica here: the configured folder keeps the names until the
        // settings change, and the user is told why.
        FSqlInUse = false;
        FView.DirectoryFailed(GetExceptionText(std::current_exception()));
    }
    if (!FSqlInUse && !wasInUse) return;
    // Another folder reopens an open subscriber directory from there.
    const std::wstring& configured =
        FConnection.AbonentPhonePath.empty() ? FSettings.FAbonentPhoneDir : FConnection.AbonentPhonePath;
    FAbonentList->SetAbonentPhoneDir(SubscriberFolder(configured));
    FView.SqlDirectoryChanged(FSqlDirectory->Status());
}

std::wstring TInformerController::SubscriberFolder(const std::wstring& configured) const {
    return FSqlInUse ? FSqlDirectory->ReplicaFolder() : configured;
}

TInformerController::TSubscriberDirectory TInformerController::SubscriberDirectory() const {
    TSubscriberDirectory directory;
    if (FSqlInUse) {
        directory.Folder = FSqlDirectory->ReplicaFolder();
        directory.Writes = SqlDirectoryWrites(FSqlDirectory);
        return directory;
    }
    directory.Folder = FSettings.FAbonentPhoneDir;
    directory.Remote = FSettings.FUseRemoteDB && FSettings.FDBAsClient;
    directory.Writes = FolderDirectoryWrites(directory.Folder);
    return directory;
}

std::optional<TUnreadableEntry> TInformerController::UnreadableAllowedClient() const {
    if (!FSettings.FUseRemoteDB || FSettings.FDBAsClient || FSqlInUse) return std::nullopt;
    return TAllowedClients::Parse(FSettings.FDBAllowedClients).FirstUnreadable();
}

void TInformerController::OpenJournal(const std::wstring& path) {
    FCallJournal->Open(path, {FSettings.FJournalDays, FSettings.FJournalMaxCalls});
}

void TInformerController::ApplyConnection(const TShownConnection& connection) {
    const bool sameWish = connection.Active == FConnection.Active;
    FConnection = connection;
    if (FShutDown) return;
    if (sameWish) {
        // The folders wait for the next opening.
        FAreaList->SetCityCodesDir(connection.AreaCodesPath);
        FAbonentList->SetAbonentPhoneDir(SubscriberFolder(connection.AbonentPhonePath));
        return;
    }
    if (connection.Active) {
        std::wstring error;
        Connect(connection.Server, error);
        SetTimer(TTimer::Reconnect, kReconnectMs, true);
    } else {
        SetTimer(TTimer::Reconnect, kReconnectMs, false);
        Disconnect();
    }
    SyncDirectories(connection.AreaCodesPath, SubscriberFolder(connection.AbonentPhonePath));
}

void TInformerController::Reconnect() {
    if (FShutDown || !FConnection.Active) return;
    if (!Connected()) {
        std::wstring error;
        Connect(FConnection.Server, error);
    }
    // A directory that cannot be opened is told once, not on every tick.
    try {
        SyncDirectories(FConnection.AreaCodesPath, SubscriberFolder(FConnection.AbonentPhonePath),
                        TDirectoryWait::Brief);
        FLastDirectoryError.clear();
    } catch (...) {
        const std::wstring text = GetExceptionText(std::current_exception());
        if (text != FLastDirectoryError) {
            FLastDirectoryError = text;
            FView.DirectoryFailed(text);
        }
    }
}

void TInformerController::WakeUp(TWakeUp) {
    if (FShutDown) return;
    // A connection that died in the sleep is noticed now, not at the next poll.
    PollRecorder();
    if (FConnection.Active && !Connected()) {
        Reconnect();
        // The next try a whole period after this one.
        SetTimer(TTimer::Reconnect, kReconnectMs, true);
    }
    // Another network may give the server's name another address.
    FDBClient->RenewServerAddress();
    for (auto& [part, source] : FNameSourceParts)
        if (source) source->WakeUp();
}

void TInformerController::SetTimer(TTimer timer, unsigned intervalMs, bool enabled) {
    if (FWindow) FWindow->SetTimer(timer, intervalMs, enabled);
}

TAddEditRowProc TInformerController::ContactSaver() {
    if (FSqlInUse)
        return [sql = FSqlDirectory](const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
            TSqlChange change;
            change.Phone = phone;
            change.Name = name;
            change.Comment = comment;
            sql->Save(change);
        };
    TCallerLookup* lookup = FCallerLookup.get();
    return [lookup](const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
        lookup->AddEditRow(phone, name, comment);
    };
}

void TInformerController::TogglePreview(const std::wstring& id, const std::wstring& title, const TCaller& caller) {
    TTrayMsgWinCollection& items = FPopups->Items();
    if (TTrayMsgWinItem* shown = items.FindItemWinID(id)) {
        const bool visible = FPopups->IsFormTMWVisible(shown);
        shown->Free();
        if (visible) return;
    }
    TTrayMsgWinUpdateBracket bracket(items);
    TTrayMsgWinItem* preview = items.Add();
    preview->SetTitle(title);
    preview->SetSimpleText(title);
    preview->SetWinID(id);
    preview->SetClipboardText(caller.Number);
    preview->Caller = caller;
    preview->IsPreview = true;
    preview->UseRichText = true;
    preview->SetVisible(true);
}

void TInformerController::OnPosted(TPosted what) {
    switch (what) {
    case TPosted::SaveFailed: TellSaveFailures(); break;
    case TPosted::JournalFailed: FView.JournalFailed(FJournalFailure); break;
    case TPosted::SqlDirectoryChanged: FView.SqlDirectoryChanged(FSqlDirectory->Status()); break;
    }
}

void TInformerController::TellSaveFailures() {
    // One at a time: failures that come while the view shows one are taken by
    // this loop once it returns.
    if (FTellingSaveFailures) return;
    FTellingSaveFailures = true;
    try {
        while (std::optional<TSaveFailure> failure = FSaveFailures->Take()) FView.SaveFailed(*failure);
    } catch (...) {
        FTellingSaveFailures = false;
        throw;
    }
    FTellingSaveFailures = false;
}

void TInformerController::End(TEnding ending) {
    if (FShutDown) return;
    // From here failures wait in the queue for the report below.
    FSaveFailures->Detach();
    const std::vector<std::wstring> unfinished =
        Shutdown(ending == TEnding::Exit ? kSaveWaitAtExitMs : kSaveWaitAtSessionEndMs);
    // Whoever typed the data may still have it at hand: tell them what was not saved.
    for (const std::wstring& phone : unfinished) FView.SaveNotFinished(phone);
    while (std::optional<TSaveFailure> failure = FSaveFailures->Take()) FView.SaveFailed(*failure);
}

void TInformerController::OnTimer(TTimer timer) {
    switch (timer) {
    case TTimer::Poll: PollRecorder(); break;
    case TTimer::Reconnect: Reconnect(); break;
    case TTimer::Quiet: CheckQuietTime(); break;
    }
}

void TInformerController::CheckQuietTime() {
    if (FShutDown) return;
    const TQuietState quiet = FQuiet->State();
    if (quiet == FToldQuiet) return;
    FToldQuiet = quiet;
    FView.QuietTimeChanged();
}

void TInformerController::PollRecorder() {
    if (FShutDown) return;
    const bool wasConnected = Connected();
    FDispatch->DispatchRecorderEvents();
    if (wasConnected && !Connected()) TellConnection();
}

void TInformerController::TellConnection() {
    const TConnectionState state = Connected()          ? TConnectionState::Connected
                                   : FConnection.Active ? TConnectionState::Reconnecting
                                                        : TConnectionState::Off;
    FView.ShowConnection(state, FDiagnostics.LastConnectionError());
}

bool TInformerController::Connect(const std::wstring& server, std::wstring& error) {
    bool connected = false;
    try {
        FKordavin = KordavinClient::Create(server);
        const int32_t result = FKordavin->Connect();
        if (result != 0) throw AppError(FormatConnectError(result));
        RefreshChannelList();
        FDiagnostics.SetConnected(true, server);
        SetTimer(TTimer::Poll, kPollMs, true);
        connected = true;
    } catch (...) {
        FKordavin.reset();
        error = GetExceptionText(std::current_exception());
        FDiagnostics.SetConnectionError(TConnectionError::Kind::ConnectFailed, error);
        FDiagnostics.SetConnected(false);
    }
    TellConnection();
    return connected;
}

void TInformerController::Disconnect() {
    FPopups->Items().Clear();
    DisconnectFromServer();
    TellConnection();
}

void TInformerController::DisconnectFromServer() {
    FKordavin.reset();
    SetTimer(TTimer::Poll, kPollMs, false);
    FDiagnostics.SetConnected(false);
    // The calls in progress will never be told to end.
    FDispatch->InterruptCalls();
}

void TInformerController::RefreshChannelList() {
    if (!FKordavin) return;
    std::wstring channels;
    if (FKordavin->GetChannelList(channels) != 0) return;
    FView.ShowServerChannels(SplitChannelList(channels));
}

void TInformerController::SyncDirectories(const std::wstring& cityCodesDir, const std::wstring& abonentPhoneDir,
                                          TDirectoryWait wait) {
    if (FKordavin) {
        FAreaList->SetCityCodesDir(cityCodesDir);
        FAreaList->Open();
        if (wait == TDirectoryWait::Full) {
            FAbonentList->SetAbonentPhoneDir(abonentPhoneDir);
            FAbonentList->Open();
            return;
        }
        // Another workstation's lock or a save of this one is waited for no
        // longer than a popup's lookup would; the next tick tries again.
        if (FAbonentList->AbonentPhoneDir() != abonentPhoneDir) FAbonentList->SetAbonentPhoneDir(abonentPhoneDir);
        FAbonentList->Open(std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(TCallerLookup::kPopupLookupMaxWaitMs));
    } else {
        FAbonentList->Close();
        FAreaList->Close();
    }
}

bool TInformerController::LookUpCaller(TCaller& caller, TLookupFailure& failure) {
    bool found = FCallerLookup->GetNameRegionCommentByPhone(caller.Number, caller.Name, caller.Region,
                                                           caller.Comment, failure);
    for (ICallerNameSource* source : FNameSources) {
        if (!caller.Name.empty()) break;
        TCaller named = caller;
        TLookupFailure reason;
        if (!source->FindCaller(named, reason) || named.Name.empty()) continue;
        caller = std::move(named);
        failure = {};
        found = true;
    }
    return found;
}

std::vector<std::wstring> TInformerController::Shutdown(unsigned long saveWaitMs) {
    if (FShutDown) return {};
    FShutDown = true;
    // No tick or wake-up reaches parts that are ending.
    FWindow.reset();
    FPopups.reset();
    FLateNames->Shutdown();
    // The parts that talk to other machines stop side by side while the saves
    // are waited for: the end costs the longest of them, never their sum, and
    // a part that does not stop within kPartStopMs is left to the process's end.
    const ULONGLONG stopDeadline = ::GetTickCount64() + kPartStopMs;
    TParallelStops stops;
    for (auto& [part, source] : FNameSourceParts)
        stops.Start([source = source.get()] {
            source->Stop();
            return true;
        });
    // No client is served from directories about to close.
    stops.Start([server = FDBServer.get()] { return server->Stop(); });
    // A save still running finishes before the directories close. One that hangs
    // keeps the lookup and the directories: they are left to the process's end.
    std::vector<std::wstring> unfinished;
    const bool savesEnded = WaitForRunningSaves(saveWaitMs);
    if (!savesEnded) unfinished = RunningSavePhones();
    // The SQL directory's sync stops once the saves are in its outbox; the
    // outbox keeps what the server has not got for the next start.
    stops.Start([sql = FSqlDirectory] {
        sql->Stop();
        return true;
    });
    const std::vector<bool> stopped = stops.WaitUntil(std::max(stopDeadline, ::GetTickCount64() + kSqlStopMs));
    // A source still stopping is left to the process's end; one that listens
    // to the stream is still told of the calls interrupted below, and no
    // longer asks anything.
    for (size_t i = 0; i < FNameSourceParts.size(); ++i) {
        if (stopped[i]) continue;
        FNameSources.clear();
        (void)FNameSourceParts[i].second.release();
    }
    const bool serverStopped = stopped[FNameSourceParts.size()];
    // So does a server operation still holding them: closing would wait for it without limit.
    if (!serverStopped) {
        (void)FDBServer.release();
        (void)FDBServerBackend.release();
    }
    if (!savesEnded || !serverStopped) {
        (void)FCallerLookup.release();
        (void)FDBClient.release();
        (void)FAbonentList.release();
        (void)FAreaList.release();
    }
    FCallerLookup.reset();
    // Calls still in progress end with the program, and the journal keeps them.
    FDispatch->InterruptCalls();
    FCallJournal->Close();
    if (FAbonentList) FAbonentList->Close();
    if (FAreaList) FAreaList->Close();
    FKordavin.reset();
    return unfinished;
}
