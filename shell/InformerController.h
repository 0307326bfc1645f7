#pragma once
#include "QuietTime.h"
#include "AllowedClients.h"
#include "CallEvent.h"
#include "CallJournal.h"
#include "CallerLookup.h"
#include "CallerNameSource.h"
#include "ControllerWindow.h"
#include "CrmOnAnswer.h"
#include "DirectoryWrites.h"
#include "SharedDirectoryClient.h"
#include "SharedDirectoryServer.h"
#include "EventDiagnostics.h"
#include "KordavinClient.h"
#include "LateSubscriberNames.h"
#include "MainFormSettings.h"
#include "NameSourcePart.h"
#include "RecorderDispatch.h"
#include "SaveFailureQueue.h"
#include "SettingsStore.h"
#include "SettingsTable.h"
#include "SqlDirectory.h"
#include "SqlDirectoryPart.h"
#include "SqlServers.h"
#include "TrayMsgWins.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The recording-server connection as the user sees it: connected, being
// reconnected (the last connection error says why), or off at the user's wish.
enum class TConnectionState { Off, Connected, Reconnecting };

// What the controller asks of the window side. It hears the call-event stream
// too (the lost connection, a renamed channel), after the parts that own calls.
class IInformerView : public ICallEventListener {
public:
    // The server's channels, as just read after connecting or a device coming online.
    virtual void ShowServerChannels(const std::vector<std::wstring>& channels) = 0;
    // A call has been stored in the journal (or would have been, with the file off).
    virtual void CallRecorded(const TCallRecord& record) = 0;
    // The journal's file failed; it is off for the session. Told from the
    // controller's own message, never inside the event stream.
    virtual void JournalFailed(const std::wstring& text) = 0;
    // A contact save failed; one at a time (a box may be open for the last one).
    virtual void SaveFailed(const TSaveFailure& failure) = 0;
    // At the program's end: a save still running when its wait ran out.
    virtual void SaveNotFinished(const std::wstring& phone) = 0;
    // The connection changed state; reason is the diagnostics' last connection
    // error, which says why while reconnecting.
    virtual void ShowConnection(TConnectionState state, const TConnectionError& reason) = 0;
    // A directory could not be opened by the reconnection timer; told once per
    // distinct failure, not on every tick.
    virtual void DirectoryFailed(const std::wstring& text) = 0;
    // Quiet time is not as when last told: the clock began or ended it (the
    // quiet hours, a quiet asked for running out, Windows busy or no longer).
    virtual void QuietTimeChanged() = 0;
    // The SQL directory's state may have changed: the saves waiting for the
    // server, the last error (for the tray's hint and the diagnostics).
    virtual void SqlDirectoryChanged(const TSqlDirectoryStatus& status) = 0;

protected:
    ~IInformerView() = default;
};

// What the journal's window and the tray's hint do with the call journal.
class ICallJournalAccess {
public:
    virtual std::vector<TCallRecord> ReadAll() = 0;
    virtual int MaxCalls() const = 0;
    virtual bool SetNote(int64_t recordId, const std::wstring& note) = 0;
    virtual int64_t MissedSinceViewed() const = 0;
    // The user has seen the journal's calls.
    virtual void MarkViewed() = 0;

protected:
    ~ICallJournalAccess() = default;
};

// What the windows do with the popups: say what their buttons do, show the
// settings window's preview, and whether any popup is up.
class IPopupsAccess {
public:
    virtual void SetOnEditData(TTMWForm::TEditDataEvent handler) = 0;
    virtual void SetOnOpenCrm(TTMWForm::TOpenCrmEvent handler) = 0;
    virtual void SetOnCallBack(TTMWForm::TOpenCrmEvent handler) = 0;
    virtual bool AnyShown() const = 0;
    // Shows the preview popup with these lines, or hides it when it is shown.
    virtual void TogglePreview(const std::wstring& id, const std::wstring& title, const TCaller& caller) = 0;

protected:
    ~IPopupsAccess() = default;
};

// The tray program's parts and their wiring, apart from any window: the two
// directories and the caller lookup, directory sharing (client and server), the
// recording-server connection with its event dispatch, and the listeners of the
// call-event stream (diagnostics, the CRM card on answering, the journal and the
// view). Main thread only.
class TInformerController final : private IRecorderHost,
                                  private IControllerClock,
                                  private ICallJournalAccess,
                                  private IPopupsAccess,
                                  private INameSourceParts {
public:
    // The directories' folders and the name sources' files (nameSourceFolder)
    // default to their built-in places; so does the folder of the SQL
    // directory's replicas (nameSourceFolder too, when given). Its connections
    // come from sqlServers.
    explicit TInformerController(IInformerView& view, std::wstring cityCodesDir = DefaultCityCodesDir(),
                                 std::wstring abonentPhoneDir = DefaultAbonentPhoneDir(),
                                 std::wstring nameSourceFolder = {},
                                 TSqlDirectory::TServerFactory sqlServers = ProgramSqlServers());
    ~TInformerController();
    TInformerController(const TInformerController&) = delete;
    TInformerController& operator=(const TInformerController&) = delete;

    // The applied settings; a renamed channel changes their channel list.
    const TMainFormSettings& Settings() const { return FSettings; }
    // Takes over applied settings: the lookup's mode, the CRM link, the
    // directory client's server, the name sources (the organisation's
    // directory's sync starts, restarts or stops), the SQL directory (with
    // SqlConnection set, its replica is the subscriber directory and the
    // directory sharing is not used for names). The directory server follows
    // RestartSharedDirectoryServer.
    void ApplySettings(const TMainFormSettings& settings);
    // Stops the directory server and starts it again when this PC serves the
    // directories (never while the SQL directory is in use: its replica takes
    // saves only through the outbox). False when it should serve but could not start.
    bool RestartSharedDirectoryServer();
    // The first entry of the applied DBAllowedClients that is not an address or
    // a range, when this PC serves the directories (the server ignores it).
    std::optional<TUnreadableEntry> UnreadableAllowedClient() const;
    // Takes over a name source's part applied by its own dialog's OK.
    void ApplyNameSource(TSettingsPart part, const TMainFormSettings& settings);
    // Takes over a part the settings model applied: the settings window's
    // (everything), the quiet hours' or a name source's.
    void ApplyPart(TSettingsPart part, const TMainFormSettings& settings);
    void OpenJournal(const std::wstring& path);

    // The connect box and the folders as the user set them, applied at once:
    // connects (and keeps reconnecting every kReconnectMs) while Active, and
    // opens the directories from the folders while connected; otherwise ends the
    // connection and closes them. The same Active as before only takes the
    // folders. AppError when a directory cannot be opened.
    void ApplyConnection(const TShownConnection& connection);
    // The reconnection timer's tick: reconnects when the connection is wanted
    // and gone, and opens the directories that are not open yet.
    void Reconnect();
    // The PC woke up (resume, a network change, the session unlocked): the
    // connection is tried at once instead of at the next tick, the directory
    // server's address is resolved again and the organisation's directory
    // syncs if a sync is due.
    void WakeUp(TWakeUp reason);
    static constexpr unsigned kReconnectMs = 10000;
    static constexpr unsigned kPollMs = 200;
    // How often quiet time is looked at for the view.
    static constexpr unsigned kQuietCheckMs = 10000;

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
    // One tick of the event polling timer. A connection lost in it is told
    // once the tick's events are all handled (the diagnostics know why by then).
    void PollRecorder();

    // The caller lookup for the caller's number: name, region and comment from
    // the directories, then the name from the added sources while none is found.
    // A source that names the caller makes the lookup a success.
    bool LookUpCaller(TCaller& caller, TLookupFailure& failure) override;
    // One more name source after the directories (and the sources added before).
    void AddNameSource(ICallerNameSource& source) { FNameSources.push_back(&source); }

    // "Не беспокоить": the popups ask it before each new window.
    IQuietAccess& Quiet() { return *FQuiet; }
    // The quiet hours of the applied settings.
    void ApplyQuietHours(const TMainFormSettings& settings);
    // What a window may do with a part, never the part itself.
    ICallJournalAccess& Journal() { return *this; }
    IPopupsAccess& Popups() { return *this; }
    // The popups' settings, which the settings window edits with the rest.
    TTrayMsgWinsSettings& PopupSettings() { return FPopups->Settings(); }
    // How an editor saves a contact, on the save's thread: into the SQL
    // directory when it is in use, else through the caller lookup.
    TAddEditRowProc ContactSaver();
    // What the directory window reads and how it writes: the subscriber
    // directory's folder (the SQL directory's replica when it is in use),
    // whether it is a directory server's and cannot be listed here, and the one
    // way its adds, edits, deletes and imports go.
    struct TSubscriberDirectory {
        std::wstring Folder;
        bool Remote = false;
        std::shared_ptr<IDirectoryWrites> Writes;
    };
    TSubscriberDirectory SubscriberDirectory() const;
    // The SQL directory's state: off, or its last sync, saves waiting and last error.
    TSqlDirectoryStatus SqlDirectoryStatus() const { return FSqlDirectory->Status(); }
    // What the diagnostics window reads.
    const TEventDiagnostics& Diagnostics() const { return FDiagnostics; }
    const INameSourceParts& NameSourceParts() const { return *this; }

    // Where editors and the directory window hand their failed saves: the
    // view is told of each on the main thread.
    TSaveFailedProc SaveFailureReceiver() const { return TSaveFailureQueue::Receiver(FSaveFailures); }

    // How the program ends: "Выход" waits for a running contact save as long as
    // a save may take; the end of the Windows session only as long as Windows
    // allows. Every other part's stop runs meanwhile, side by side, for at most
    // kPartStopMs.
    enum class TEnding { Exit, SessionEnd };
    static constexpr unsigned long kSaveWaitAtExitMs = 15000;
    // Windows gives a program about 5 s to answer WM_ENDSESSION: 3 s leave the
    // rest for the journal and the directories to close and the boxes to open.
    static constexpr unsigned long kSaveWaitAtSessionEndMs = 3000;
    static constexpr unsigned long kPartStopMs = 1000;
    // The SQL directory stops after the saves: it gets this long after them.
    static constexpr unsigned long kSqlStopMs = 500;
    // Ends every part once (Shutdown) and then tells the view each save that did
    // not finish or failed. Later calls do nothing.
    void End(TEnding ending);

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
    void OnTimer(TTimer timer) override;
    void OnPosted(TPosted what) override;
    std::vector<TCallRecord> ReadAll() override { return FCallJournal->ReadAll(); }
    int MaxCalls() const override { return FCallJournal->Limits().MaxCalls; }
    bool SetNote(int64_t recordId, const std::wstring& note) override { return FCallJournal->SetNote(recordId, note); }
    int64_t MissedSinceViewed() const override { return FCallJournal->MissedSinceViewed(); }
    void MarkViewed() override { FCallJournal->MarkViewed(); }
    void SetOnEditData(TTMWForm::TEditDataEvent handler) override { FPopups->SetOnEditData(std::move(handler)); }
    void SetOnOpenCrm(TTMWForm::TOpenCrmEvent handler) override { FPopups->SetOnOpenCrm(std::move(handler)); }
    void SetOnCallBack(TTMWForm::TOpenCrmEvent handler) override { FPopups->SetOnCallBack(std::move(handler)); }
    // None once the parts have ended.
    bool AnyShown() const override { return FPopups && !FPopups->Windows().empty(); }
    void TogglePreview(const std::wstring& id, const std::wstring& title, const TCaller& caller) override;
    const INameSourcePart* NameSourcePart(TSettingsPart part) const override;
    // Tests look at the parts themselves.
    friend struct TInformerControllerTestAccess;
    void TellSaveFailures();
    void OnWakeUp(TWakeUp reason) override { WakeUp(reason); }
    void TellConnection();
    // Tells the view when quiet time is not as last told.
    void CheckQuietTime();
    // Starts, restarts or stops the SQL directory as the applied settings say.
    void ApplySqlDirectory();
    // The folder the subscriber directory is opened from: the SQL directory's
    // replica while it is in use, else the configured one.
    std::wstring SubscriberFolder(const std::wstring& configured) const;
    // No timer runs once the parts have ended.
    void SetTimer(TTimer timer, unsigned intervalMs, bool enabled);

    IInformerView& FView;
    TMainFormSettings FSettings;
    // The connection the user asked for, as last applied.
    TShownConnection FConnection;
    // The last directory failure told by the reconnection timer.
    std::wstring FLastDirectoryError;
    std::unique_ptr<TControllerWindow> FWindow;
    // Save threads put their failures here; FWindow hears of each.
    std::shared_ptr<TSaveFailureQueue> FSaveFailures;
    bool FTellingSaveFailures = false;
    // Quiet time as last told to the view.
    TQuietState FToldQuiet;
    // The journal's failure waits here for FWindow's message, out of the event stream.
    std::wstring FJournalFailure;
    std::optional<KordavinClient> FKordavin;
    TEventDiagnostics FDiagnostics;
    std::unique_ptr<TTrayMsgWins> FPopups;
    std::unique_ptr<TQuietTime> FQuiet;
    std::unique_ptr<TTQRDataModule> FAreaList;
    std::unique_ptr<TPQRDataModule> FAbonentList;
    // Lookups and saves from every thread go through here.
    std::unique_ptr<TCallerLookup> FCallerLookup;
    // The directory client; the remote branch of the lookup.
    std::unique_ptr<TSharedDirectoryClient> FDBClient;
    // The directory server, answering from this workstation's directories.
    std::unique_ptr<TCallerLookupBackend> FDBServerBackend;
    std::unique_ptr<TSharedDirectoryServer> FDBServer;
    std::unique_ptr<TCallJournal> FCallJournal;
    std::unique_ptr<TCrmOnAnswer> FCrmOnAnswer;
    std::unique_ptr<TRecorderDispatch> FDispatch;
    // The name sources' parts (NameSources.cpp), by the settings part each
    // source's dialog edits: the organisation's directory, names from a CRM.
    std::vector<std::pair<TSettingsPart, std::unique_ptr<INameSourcePart>>> FNameSourceParts;
    // The subscriber directory in the organisation's SQL server; shared with
    // the directory window's writes, which may outlive a settings change.
    std::shared_ptr<TSqlDirectory> FSqlDirectory;
    // Its line of the diagnostics, read by the diagnostics window as the name sources' are.
    std::unique_ptr<TSqlDirectoryPart> FSqlDirectoryPart;
    // The SQL directory is the subscriber directory (applied and its replica usable).
    bool FSqlInUse = false;
    // Names another workstation's lock kept from a popup, found a little later.
    std::unique_ptr<TLateSubscriberNames> FLateNames;
    std::vector<ICallerNameSource*> FNameSources;
    bool FShutDown = false;
};
