#pragma once
#include "QuietTime.h"
#include "AllowedClients.h"
#include "CallEvent.h"
#include "CallJournal.h"
#include "CallerLookup.h"
#include "CallerNameSource.h"
#include "CrmNameLookup.h"
#include "CrmOnAnswer.h"
#include "DirectoryClient.h"
#include "DirectoryServer.h"
#include "EventDiagnostics.h"
#include "KordavinClient.h"
#include "LateSubscriberNames.h"
#include "MainFormSettings.h"
#include "OrgDirectory.h"
#include "OrgNameSource.h"
#include "RecorderDispatch.h"
#include "TrayMsgWins.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the controller asks of the window side. It hears the call-event stream
// too (the lost connection, a renamed channel), after the parts that own calls.
class IInformerView : public ICallEventListener {
public:
    // The server's channels, as just read after connecting or a device coming online.
    virtual void ShowServerChannels(const std::vector<std::wstring>& channels) = 0;
    // A call has been stored in the journal (or would have been, with the file off).
    virtual void CallRecorded(const TCallRecord& record) = 0;
    // The journal's file failed; it is off for the session. Called inside the
    // event stream: the window tells the user once the stream is done.
    virtual void JournalFailed(const std::wstring& text) = 0;

protected:
    ~IInformerView() = default;
};

// The tray program's parts and their wiring, apart from any window: the two
// directories and the caller lookup, directory sharing (client and server), the
// recording-server connection with its event dispatch, and the listeners of the
// call-event stream (diagnostics, the CRM card on answering, the journal and the
// view). Main thread only.
class TInformerController final : private IRecorderHost {
public:
    // The directories' folders and the organisation's directory cache default to their built-in ones.
    explicit TInformerController(IInformerView& view, std::wstring cityCodesDir = DefaultCityCodesDir(),
                                 std::wstring abonentPhoneDir = DefaultAbonentPhoneDir(),
                                 std::wstring orgDirectoryCache = DefaultOrgDirectoryCachePath());
    ~TInformerController();
    TInformerController(const TInformerController&) = delete;
    TInformerController& operator=(const TInformerController&) = delete;

    // The applied settings; a renamed channel changes their channel list.
    const TMainFormSettings& Settings() const { return FSettings; }
    // Takes over applied settings: the lookup's mode, the CRM link, the
    // directory client's server, the organisation's directory (its sync starts,
    // restarts or stops). The directory server follows RestartDirectoryServer.
    void ApplySettings(const TMainFormSettings& settings);
    // Stops the directory server and starts it again when this PC serves the
    // directories. False when it should serve but could not start.
    bool RestartDirectoryServer();
    // The first entry of the applied DBAllowedClients that is not an address or
    // a range, when this PC serves the directories (the server ignores it).
    std::optional<TUnreadableEntry> UnreadableAllowedClient() const;
    // Takes over the CRM name lookup's settings alone (its own dialog's OK).
    void ApplyHttpLookupSettings(const THttpLookupSettings& settings);
    void OpenJournal(const std::wstring& path);

    // The recording server: true when connected; otherwise error says why.
    bool Connect(const std::wstring& server, std::wstring& error);
    // Ends the connection at the user's wish: popups close, calls end as interrupted.
    void Disconnect();
    bool Connected() const { return FKordavin.has_value(); }
    // Opens the directories from these folders while connected, closes them
    // otherwise. Brief: the subscriber table's locks are waited for no longer
    // than a popup's lookup (the reconnection timer on the main thread).
    enum class TDirectoryWait { Full, Brief };
    void SyncDirectories(const std::wstring& cityCodesDir, const std::wstring& abonentPhoneDir,
                         TDirectoryWait wait = TDirectoryWait::Full);
    // One tick of the event polling timer.
    void PollRecorder() {
        if (!FShutDown) FDispatch->DispatchRecorderEvents();
    }

    // The caller lookup for the caller's number: name, region and comment from
    // the directories, then the name from the added sources while none is found.
    // A source that names the caller makes the lookup a success.
    bool LookUpCaller(TCaller& caller, TLookupFailure& failure) override;
    // One more name source after the directories (and the sources added before).
    void AddNameSource(ICallerNameSource& source) { FNameSources.push_back(&source); }

    TTrayMsgWins& Popups() { return *FPopups; }
    // "Не беспокоить": the popups ask it before each new window.
    TQuietTime& Quiet() { return *FQuiet; }
    TTQRDataModule& AreaList() { return *FAreaList; }
    TPQRDataModule& AbonentList() { return *FAbonentList; }
    TCallerLookup& Lookup() { return *FCallerLookup; }
    TDirectoryClient& DirectoryClient() { return *FDBClient; }
    TEventDiagnostics& Diagnostics() { return FDiagnostics; }
    TCallJournal& Journal() { return *FCallJournal; }
    TRecorderDispatch& Dispatch() { return *FDispatch; }
    TOrgDirectory& OrgDirectory() { return *FOrgDirectory; }
    TCrmNameLookup& CrmNames() { return *FCrmNames; }
    TLateSubscriberNames& LateSubscriberNames() { return *FLateNames; }

    // The program or the Windows session ends: popups close, the directory
    // server stops, contact saves still running get saveWaitMs to finish, calls
    // in progress end as interrupted, the journal and the directories close and
    // the connection goes. Returns the numbers of saves that did not finish; their
    // parts, like those of a server operation that did not end, are left to the
    // process's end. Once only: later calls do nothing.
    std::vector<std::wstring> Shutdown(unsigned long saveWaitMs);

private:
    IRecorderSdk* Kordavin() override { return FKordavin ? &*FKordavin : nullptr; }
    void DisconnectFromServer() override;
    void RefreshChannelList() override;

    IInformerView& FView;
    TMainFormSettings FSettings;
    std::optional<KordavinClient> FKordavin;
    TEventDiagnostics FDiagnostics;
    std::unique_ptr<TTrayMsgWins> FPopups;
    std::unique_ptr<TQuietTime> FQuiet;
    std::unique_ptr<TTQRDataModule> FAreaList;
    std::unique_ptr<TPQRDataModule> FAbonentList;
    // Lookups and saves from every thread go through here.
    std::unique_ptr<TCallerLookup> FCallerLookup;
    // The directory client; the remote branch of the lookup.
    std::unique_ptr<TDirectoryClient> FDBClient;
    // The directory server, answering from this workstation's directories.
    std::unique_ptr<TCallerLookupBackend> FDBServerBackend;
    std::unique_ptr<TDirectoryServer> FDBServer;
    std::unique_ptr<TCallJournal> FCallJournal;
    std::unique_ptr<TCrmOnAnswer> FCrmOnAnswer;
    std::unique_ptr<TRecorderDispatch> FDispatch;
    // The organisation's directory: the first name source after the directories.
    std::unique_ptr<TOrgDirectory> FOrgDirectory;
    std::unique_ptr<TOrgNameSource> FOrgNameSource;
    // Names from a CRM for callers whom no directory knows.
    std::unique_ptr<TCrmNameLookup> FCrmNames;
    // Names another workstation's lock kept from a popup, found a little later.
    std::unique_ptr<TLateSubscriberNames> FLateNames;
    std::vector<ICallerNameSource*> FNameSources;
    bool FShutDown = false;
};
