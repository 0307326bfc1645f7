#include "InformerController.h"

#include "AllowedClients.h"
#include "AppError.h"
#include "ChannelList.h"
#include "ConnectionTexts.h"
#include "SaveDataThreadUnit.h"

TInformerController::TInformerController(IInformerView& view, std::wstring cityCodesDir,
                                         std::wstring abonentPhoneDir, std::wstring orgDirectoryCache)
    : FView(view) {
    FPopups = std::make_unique<TTrayMsgWins>();
    FQuiet = std::make_unique<TQuietTime>();
    FPopups->SetHoldBack([this] { return FQuiet->Quiet(); });
    FAreaList = std::make_unique<TTQRDataModule>(std::move(cityCodesDir));
    FAbonentList = std::make_unique<TPQRDataModule>(std::move(abonentPhoneDir));
    FCallerLookup = std::make_unique<TCallerLookup>(*FAreaList, *FAbonentList);
    FDBClient = std::make_unique<TDirectoryClient>();
    FCallerLookup->SetRemote(FDBClient.get());
    FDBServerBackend = std::make_unique<TCallerLookupBackend>(*FCallerLookup, *FAbonentList);
    FDBServer = std::make_unique<TDirectoryServer>(*FDBServerBackend);
    FOrgDirectory = std::make_unique<TOrgDirectory>(std::move(orgDirectoryCache));
    FOrgNameSource = std::make_unique<TOrgNameSource>(*FOrgDirectory);
    AddNameSource(*FOrgNameSource);
    FCallJournal = std::make_unique<TCallJournal>([this](const std::wstring& text) { FView.JournalFailed(text); });
    FCallJournal->SetOnRecorded([this](const TCallRecord& record) { FView.CallRecorded(record); });
    FCrmOnAnswer = std::make_unique<TCrmOnAnswer>(
        [this] { return TCrmSettings{FSettings.FCrmUrlTemplate, FSettings.FCrmOpenMode}; });
    FDispatch = std::make_unique<TRecorderDispatch>(static_cast<IRecorderHost&>(*this), FSettings, FPopups->Items());
    // The parts that keep state first; the view last, when the state is told.
    FDispatch->AddListener(FDiagnostics);
    FDispatch->AddListener(*FCrmOnAnswer);
    FCrmNames = std::make_unique<TCrmNameLookup>(*FDispatch, *FCallJournal, FDiagnostics);
    FDispatch->AddListener(*FCrmNames);
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

void TInformerController::ApplySettings(const TMainFormSettings& settings) {
    FSettings = settings;
    TTMWFont font = FPopups->Font();
    font.Name = FSettings.FFontName;
    font.Size = FSettings.FFontSize;
    FPopups->SetFont(&font);
    FQuiet->SetSettings({FSettings.FQuietHours, ParseClockTime(FSettings.FQuietHoursFrom),
                         ParseClockTime(FSettings.FQuietHoursTo), FSettings.FQuietWhenBusy});
    FCallerLookup->SetUseRemoteDB(FSettings.FUseRemoteDB);
    FCallerLookup->SetDBAsClient(FSettings.FDBAsClient);
    FDBClient->SetServer(FSettings.FDBServerAddress, FSettings.FDBPort);
    // The worker compares the settings and dialling codes with those of the
    // cached names and reads again only when they differ. A failed sync is
    // only shown in the diagnostics: nothing here waits for or reports it.
    FOrgDirectory->Start(FSettings, FSettings);
    FCrmNames->SetSettings(FSettings);
}

void TInformerController::ApplyHttpLookupSettings(const THttpLookupSettings& settings) {
    static_cast<THttpLookupSettings&>(FSettings) = settings;
    FCrmNames->SetSettings(settings);
}

bool TInformerController::RestartDirectoryServer() {
    FDBServer->Stop();
    if (!FSettings.FUseRemoteDB || FSettings.FDBAsClient) return true;
    try {
        FDBServer->Start(FSettings.FDBPort, TAllowedClients::Parse(FSettings.FDBAllowedClients));
        return true;
    } catch (...) {
        return false;
    }
}

std::optional<TUnreadableEntry> TInformerController::UnreadableAllowedClient() const {
    if (!FSettings.FUseRemoteDB || FSettings.FDBAsClient) return std::nullopt;
    return TAllowedClients::Parse(FSettings.FDBAllowedClients).FirstUnreadable();
}

void TInformerController::OpenJournal(const std::wstring& path) {
    FCallJournal->Open(path, {FSettings.FJournalDays, FSettings.FJournalMaxCalls});
}

bool TInformerController::Connect(const std::wstring& server, std::wstring& error) {
    try {
        FKordavin = KordavinClient::Create(server);
        const int32_t result = FKordavin->Connect();
        if (result != 0) throw AppError(FormatConnectError(result));
        RefreshChannelList();
        FDiagnostics.SetConnected(true, server);
        return true;
    } catch (...) {
        FKordavin.reset();
        error = GetExceptionText(std::current_exception());
        FDiagnostics.SetConnectionError(TConnectionError::Kind::ConnectFailed, error);
        FDiagnostics.SetConnected(false);
        return false;
    }
}

void TInformerController::Disconnect() {
    FPopups->Items().Clear();
    DisconnectFromServer();
}

void TInformerController::DisconnectFromServer() {
    FKordavin.reset();
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
    FPopups.reset();
    // A read in progress is abandoned between pages; the cache keeps what it had.
    FOrgDirectory->Stop();
    FCrmNames->Shutdown();
    FLateNames->Shutdown();
    // No client is served from directories about to close.
    const bool serverStopped = FDBServer->Stop();
    // A save still running finishes before the directories close. One that hangs
    // keeps the lookup and the directories: they are left to the process's end.
    std::vector<std::wstring> unfinished;
    const bool savesEnded = WaitForRunningSaves(saveWaitMs);
    if (!savesEnded) unfinished = RunningSavePhones();
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
