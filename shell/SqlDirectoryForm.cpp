#include "SqlDirectoryForm.h"

#include "DirectoryBulk.h"
#include "DpapiText.h"
#include "EnforcedControls.h"
#include "ExceptionText.h"
#include "ResourceText.h"
#include "SettingControls.h"
#include "SqlChangeAuthor.h"
#include "SqlDirectoryRes.h"
#include "SqlDirectoryTexts.h"
#include "WindowPlacement.h"
#include "WindowText.h"

#include <commctrl.h>

#include <chrono>
#include <utility>

namespace {

// Posted by the workers when their results are ready.
constexpr UINT kCheckDone = WM_APP + 1;
constexpr UINT kMoveDone = WM_APP + 2;
// The move-over's progress bar follows its worker this often.
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressMs = 200;

constexpr TItemText kTexts[] = {
    {IDC_SQLDIR_CONNECTION_LABEL, IDS_SQLDIR_CONNECTION_LABEL},
    {IDC_SQLDIR_PASSWORD_LABEL, IDS_SQLDIR_PASSWORD_LABEL},
    {IDC_SQLDIR_TABLE_LABEL, IDS_SQLDIR_TABLE_LABEL},
    {IDC_SQLDIR_SECONDS_LABEL, IDS_SQLDIR_SECONDS_LABEL},
    {IDC_SQLDIR_CHECK, IDS_SQLDIR_CHECK},
    {IDC_SQLDIR_MOVE_GROUP, IDS_SQLDIR_MOVE_GROUP},
    {IDC_SQLDIR_MOVE, IDS_SQLDIR_MOVE},
    {IDC_SQLDIR_MOVE_STOP, IDS_SQLDIR_MOVE_STOP},
    {IDC_SQLDIR_NOTE, IDS_SQLDIR_NOTE},
    {IDC_SQLDIR_OK, IDS_SQLDIR_OK},
    {IDC_SQLDIR_CANCEL, IDS_SQLDIR_CANCEL},
};

void Forget(std::wstring& secret) { ::SecureZeroMemory(secret.data(), secret.size() * sizeof(wchar_t)); }

int64_t NowUnixMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

TSqlDirectoryForm::TSqlDirectoryForm(HINSTANCE instance, const TSqlSettings& current, TMoveSource source,
                                     const TEnforcedSettings& enforced, TSqlDirectory::TServerFactory servers,
                                     TApply onApply)
    : TDialogBase(instance, IDS_SQLDIR_CAPTION, 0, MB_ICONERROR), FCurrent(current), FSource(std::move(source)),
      FEnforced(enforced), FServers(std::move(servers)), FOnApply(std::move(onApply)) {}

HWND TSqlDirectoryForm::Show(HINSTANCE instance, HWND owner, const TSqlSettings& current, TMoveSource source,
                             const TEnforcedSettings& enforced, TSqlDirectory::TServerFactory servers,
                             TApply onApply) {
    if (TSqlDirectoryForm* open = BringForward()) return open->FHandle;
    auto* form = new TSqlDirectoryForm(instance, current, std::move(source), enforced, std::move(servers),
                                       std::move(onApply));
    const HWND window = form->CreateSelfDeletingDialog(IDD_SQLDIRECTORYFORM, owner);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    return window;
}

INT_PTR TSqlDirectoryForm::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case kCheckDone:
        OnCheckDone();
        return TRUE;
    case kMoveDone:
        OnMoveDone();
        return TRUE;
    case WM_TIMER:
        if (wParam != kProgressTimer || !FMovePermille) return FALSE;
        ::SendMessageW(Item(IDC_SQLDIR_MOVE_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(FMovePermille->load()), 0);
        return TRUE;
    case WM_DESTROY:
        // Workers still running are told to stop and post nothing to a window that is gone.
        if (FMoveStop) FMoveStop->request_stop();
        FCheck.Cancel();
        FMove.Cancel();
        ::KillTimer(FHandle, kProgressTimer);
        return FALSE;
    default:
        return FALSE;
    }
}

bool TSqlDirectoryForm::OnInit() {
    SetItemTexts(kTexts);
    TMainFormSettings shown;
    static_cast<TSqlSettings&>(shown) = FCurrent;
    TTrayMsgWinsSettings popups;
    ShowPartControls(FHandle, TSettingsPart::SqlDirectory, {shown, popups});
    // The period is the dialog's own: shown as the sync uses it.
    ::SetDlgItemTextW(FHandle, IDC_SQLDIR_SECONDS, std::to_wstring(SqlSyncPeriodSeconds(FCurrent)).c_str());
    // The stored password is this user's: shown masked, so that OK keeps it.
    // One encrypted for someone else reads as empty and must be typed again.
    std::wstring password;
    if (UnprotectForUser(FCurrent.FSqlPassword, password))
        ::SetDlgItemTextW(FHandle, IDC_SQLDIR_PASSWORD, password.c_str());
    Forget(password);
    ::SendMessageW(Item(IDC_SQLDIR_MOVE_PROGRESS), PBM_SETRANGE32, 0, 1000);
    const std::wstring note = FSource.Client ? LoadResourceString(IDS_SQLDIR_MOVE_NOTE_CLIENT, Instance())
                                             : FormatResourceText(IDS_SQLDIR_MOVE_NOTE, {FSource.Folder}, Instance());
    ::SetDlgItemTextW(FHandle, IDC_SQLDIR_MOVE_NOTE, note.c_str());
    ShowMoving(false);
    DisableEnforcedPartControls(FHandle, TSettingsPart::SqlDirectory, FEnforced);
    CentreOnOwner(FHandle);
    return true;
}

void TSqlDirectoryForm::OnCommand(int id, UINT) {
    switch (id) {
    case IDC_SQLDIR_CHECK: btnCheckClick(); break;
    case IDC_SQLDIR_MOVE: btnMoveClick(); break;
    case IDC_SQLDIR_MOVE_STOP: btnMoveStopClick(); break;
    case IDC_SQLDIR_OK: btnOKClick(); break;
    case IDC_SQLDIR_CANCEL: Close(); break;
    default: break;
    }
}

bool TSqlDirectoryForm::ReadControls(TSqlSettings& settings) const {
    // A row without a control here (an administrator's choice) keeps what came.
    TMainFormSettings read;
    static_cast<TSqlSettings&>(read) = FCurrent;
    TTrayMsgWinsSettings popups;
    ReadPartControls(FHandle, TSettingsPart::SqlDirectory, {read, popups});
    settings = read;
    // Blanks may belong to a password: it is taken as typed.
    std::wstring password = WindowText(Item(IDC_SQLDIR_PASSWORD));
    settings.FSqlPassword = ProtectForUser(password);
    Forget(password);
    BOOL isNumber = FALSE;
    const UINT seconds = ::GetDlgItemInt(FHandle, IDC_SQLDIR_SECONDS, &isNumber, FALSE);
    if (!isNumber || seconds < static_cast<UINT>(kMinSqlSyncSeconds) || seconds > static_cast<UINT>(kMaxSqlSyncSeconds))
        return false;
    settings.FSqlSyncSeconds = static_cast<int>(seconds);
    return true;
}

bool TSqlDirectoryForm::ConnectionSettings(int resultId, TSqlDirectorySettings& settings) const {
    TSqlSettings edited;
    if (!ReadControls(edited)) {
        ::SetDlgItemTextW(FHandle, resultId, LoadResourceString(IDS_SQLDIR_SECONDS_INVALID, Instance()).c_str());
        return false;
    }
    settings = SqlDirectorySettingsOf(edited);
    if (settings.Connection.empty()) {
        ::SetDlgItemTextW(FHandle, resultId, LoadResourceString(IDS_SQLDIR_NO_CONNECTION, Instance()).c_str());
        return false;
    }
    return true;
}

void TSqlDirectoryForm::btnCheckClick() {
    if (FCheck.Running()) return;
    TSqlDirectorySettings settings;
    if (!ConnectionSettings(IDC_SQLDIR_RESULT, settings)) return;
    const auto job = [settings, servers = FServers](std::stop_token) {
        std::unique_ptr<ISqlDirectoryServer> server = servers(settings);
        TOutcome outcome;
        outcome.Result.Error = server->Open();
        server->Close();
        return outcome;
    };
    // A check that threw says so in the driver's place.
    TOutcome lost;
    lost.Result.Error.Kind = TSqlErrorKind::Other;
    if (!FCheck.Start(job, FHandle, kCheckDone, lost)) return;
    FCheckedTable = settings.Table;
    ::EnableWindow(Item(IDC_SQLDIR_CHECK), FALSE);
    ::SetDlgItemTextW(FHandle, IDC_SQLDIR_RESULT, LoadResourceString(IDS_SQLDIR_CHECKING, Instance()).c_str());
}

void TSqlDirectoryForm::OnCheckDone() {
    const std::optional<TOutcome> outcome = FCheck.Take();
    if (!outcome) return;
    ::EnableWindow(Item(IDC_SQLDIR_CHECK), TRUE);
    ::SetDlgItemTextW(FHandle, IDC_SQLDIR_RESULT, SqlCheckResultText(outcome->Result.Error, FCheckedTable).c_str());
}

void TSqlDirectoryForm::btnMoveClick() {
    if (FMove.Running() || FSource.Client) return;
    TSqlDirectorySettings settings;
    if (!ConnectionSettings(IDC_SQLDIR_MOVE_RESULT, settings)) return;
    auto permille = std::make_shared<std::atomic<int>>(0);
    auto stop = std::make_shared<std::stop_source>();
    const auto job = [settings, servers = FServers, folder = FSource.Folder, permille, stop](std::stop_token) {
        TOutcome outcome;
        std::vector<TSqlMoveOverRow> rows;
        try {
            for (DirectoryRow& row : ReadDirectoryRows(folder))
                rows.push_back({std::move(row.phone), std::move(row.name), std::move(row.comment)});
        } catch (...) {
            outcome.ReadError = GetExceptionText(std::current_exception());
            return outcome;
        }
        std::unique_ptr<ISqlDirectoryServer> server = servers(settings);
        outcome.Result = MoveOverToSql(*server, rows, SqlChangeAuthor(), NowUnixMs(), stop->get_token(), permille.get());
        server->Close();
        return outcome;
    };
    TOutcome lost;
    lost.Result.Error.Kind = TSqlErrorKind::Other;
    if (!FMove.Start(job, FHandle, kMoveDone, lost)) return;
    FMovePermille = std::move(permille);
    FMoveStop = std::move(stop);
    ::SendMessageW(Item(IDC_SQLDIR_MOVE_PROGRESS), PBM_SETPOS, 0, 0);
    ::SetDlgItemTextW(FHandle, IDC_SQLDIR_MOVE_RESULT, LoadResourceString(IDS_SQLDIR_MOVING, Instance()).c_str());
    ShowMoving(true);
    ::SetTimer(FHandle, kProgressTimer, kProgressMs, nullptr);
}

void TSqlDirectoryForm::btnMoveStopClick() {
    if (FMoveStop) FMoveStop->request_stop();
    ::EnableWindow(Item(IDC_SQLDIR_MOVE_STOP), FALSE);
}

void TSqlDirectoryForm::OnMoveDone() {
    const std::optional<TOutcome> outcome = FMove.Take();
    if (!outcome) return;
    ::KillTimer(FHandle, kProgressTimer);
    FMoveStop.reset();
    FMovePermille.reset();
    ShowMoving(false);
    const std::wstring text = !outcome->ReadError.empty()
                                  ? FormatResourceText(IDS_SQLDIR_MOVE_READ_FAILED, {outcome->ReadError}, Instance())
                                  : SqlMoveOverResultText(outcome->Result);
    if (!outcome->Result.Error && !outcome->Result.Cancelled && outcome->ReadError.empty())
        ::SendMessageW(Item(IDC_SQLDIR_MOVE_PROGRESS), PBM_SETPOS, 1000, 0);
    ::SetDlgItemTextW(FHandle, IDC_SQLDIR_MOVE_RESULT, text.c_str());
}

void TSqlDirectoryForm::ShowMoving(bool moving) {
    ::EnableWindow(Item(IDC_SQLDIR_MOVE), !moving && !FSource.Client);
    ::EnableWindow(Item(IDC_SQLDIR_MOVE_STOP), moving);
}

void TSqlDirectoryForm::btnOKClick() {
    TSqlSettings settings;
    if (!ReadControls(settings)) {
        ShowError(LoadResourceString(IDS_SQLDIR_SECONDS_INVALID, Instance()));
        ::SetFocus(Item(IDC_SQLDIR_SECONDS));
        return;
    }
    // The same password again keeps its stored form: the file changes only when it does.
    std::wstring typed, stored;
    if (UnprotectForUser(settings.FSqlPassword, typed) && UnprotectForUser(FCurrent.FSqlPassword, stored) &&
        typed == stored)
        settings.FSqlPassword = FCurrent.FSqlPassword;
    Forget(typed);
    Forget(stored);
    if (FOnApply) FOnApply(settings);
    Close();
}
