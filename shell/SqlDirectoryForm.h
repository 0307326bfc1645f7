#pragma once
#include "BackgroundCheck.h"
#include "DialogBase.h"
#include "OpenWindows.h"
#include "SettingsPolicy.h"
#include "SqlDirectory.h"
#include "SqlMoveOver.h"
#include "SqlSettings.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

// "Справочник абонентов в SQL": the connection to the organisation's SQL
// server that holds the subscriber directory, with a check that connects and
// looks at the table as the dialog stands and says what is wrong, and the
// move-over of this PC's subscriber directory into the table, with counts of
// new, changed and unchanged rows, on a worker with progress and a stop. A
// modeless dialog over its owner (the settings window); at most one is open,
// and it frees itself when closed. OK hands the settings (the password
// encrypted for this Windows user) to onApply and closes.
class TSqlDirectoryForm final : public TDialogBase, public TOpenWindows<TSqlDirectoryForm> {
public:
    using TApply = std::function<void(const TSqlSettings& settings)>;

    // Where the move-over reads this PC's subscriber directory.
    struct TMoveSource {
        std::wstring Folder;
        // A client of a directory server: its directory is the server's, which
        // the directory protocol cannot list whole; the move-over is not offered.
        bool Client = false;
    };

    // Shows the dialog filled with current, or brings the open one forward;
    // the settings an administrator fixed are greyed. servers makes the
    // connections of the check and the move-over. Returns its handle; throws
    // AppError when it cannot be created.
    static HWND Show(HINSTANCE instance, HWND owner, const TSqlSettings& current, TMoveSource source,
                     const TEnforcedSettings& enforced, TSqlDirectory::TServerFactory servers, TApply onApply);

private:
    // What the check and the move-over end with: the check only sets Result.Error.
    struct TOutcome {
        TSqlMoveOverResult Result;
        // This PC's directory could not be read (the store's words); nothing was written.
        std::wstring ReadError;
    };

    TSqlDirectoryForm(HINSTANCE instance, const TSqlSettings& current, TMoveSource source,
                      const TEnforcedSettings& enforced, TSqlDirectory::TServerFactory servers, TApply onApply);
    ~TSqlDirectoryForm() override = default;

    bool OnInit() override;
    void OnCommand(int id, UINT code) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The settings as the controls show them; false when the period is no number in range.
    bool ReadControls(TSqlSettings& settings) const;
    // The controls read for a connection, or nothing with the reason shown in resultId.
    bool ConnectionSettings(int resultId, TSqlDirectorySettings& settings) const;
    void btnCheckClick();
    void btnMoveClick();
    void btnMoveStopClick();
    void btnOKClick();
    void OnCheckDone();
    void OnMoveDone();
    void ShowMoving(bool moving);

    TSqlSettings FCurrent;
    TMoveSource FSource;
    TEnforcedSettings FEnforced;
    TSqlDirectory::TServerFactory FServers;
    TApply FOnApply;
    // One kind of worker for both: the program carries its code once.
    TBackgroundCheck<TOutcome> FCheck;
    // The table the running check looks at, for its result's words.
    std::wstring FCheckedTable;
    TBackgroundCheck<TOutcome> FMove;
    // The running move-over's progress, written by its worker.
    std::shared_ptr<std::atomic<int>> FMovePermille;
    // "Остановить": the move-over stops between batches and still reports.
    std::shared_ptr<std::stop_source> FMoveStop;
};
