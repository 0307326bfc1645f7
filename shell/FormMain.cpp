#include "FormMain.h"

#include "AllowListText.h"
#include "AppError.h"
#include "EnforcedControls.h"
#include "ExceptionText.h"
#include "KordavinUtils.h"
#include "MainFormLayout.h"
#include "MainFormRes.h"
#include "BrowseDialogs.h"
#include "ProgramWindows.h"
#include "ResourceText.h"
#include "ScopedFlag.h"
#include "TextConvert.h"
#include "WindowPlacement.h"
#include "WindowText.h"
#include "SharingRes.h"
#include "resource.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>

namespace {

constexpr UINT kTrayIconId = 1;
constexpr UINT WM_TRAYNOTIFY = WM_APP + 1;
// After a move to a monitor of another DPI, once the dialog font has been rescaled.
constexpr UINT WM_DPIFONTCHANGED = WM_APP + 3;

}  // namespace

TMainForm::TMainForm(HINSTANCE instance)
    : TDialogBase(instance, IDS_APP_TITLE, 0, MB_ICONERROR),
      FCallActions([this](const std::wstring& text) { ShowMessage(text, MB_ICONWARNING | MB_SETFOREGROUND); }) {}

std::wstring TMainForm::ItemText(int id) const { return WindowText(Item(id)); }

TMainForm::~TMainForm() {
    if (FHandle) ::DestroyWindow(FHandle);
}

bool TMainForm::Create() {
    if (!CreateDialogWindow(Instance(), IDD_MAINFORM, nullptr)) return false;
    if (FStartupFailed) {
        ::DestroyWindow(FHandle);
        return false;
    }
    return true;
}

bool TMainForm::OnInit() {
    // A part that could not be built leaves no half-built window behind: the
    // error is reported and start-up ends.
    try {
        FormCreate();
    } catch (...) {
        AbandonStartup(GetExceptionText(std::current_exception()));
    }
    return true;
}

INT_PTR TMainForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (FNotices && FNotices->Tray() && FNotices->Tray()->Icon().HandleTaskbarCreated(message)) return TRUE;
    // The program was started again from its folder: its settings come to the front.
    if (message == ShowSettingsMessage()) {
        pmnuOptionsClick();
        return TRUE;
    }
    switch (message) {
    case WM_DBTESTDONE:
        OnDBTestDone();
        return TRUE;
    case WM_DPICHANGED:
        // The dialog manager rescales the template's controls and font for the
        // new monitor once this returns; the bold captions follow the new font.
        ::PostMessageW(FHandle, WM_DPIFONTCHANGED, 0, 0);
        return FALSE;
    case WM_DPIFONTCHANGED:
        FBoldButtons.FontChanged();
        return TRUE;
    case WM_TRAYNOTIFY:
        OnTrayNotify(DecodeTrayCallback(wParam, lParam, kTrayIconId));
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            ApplicationEventsMinimize();
            ::SetWindowLongPtrW(FHandle, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    case WM_QUERYENDSESSION:
        // Nothing here may stop the session; WM_ENDSESSION does the work.
        ::SetWindowLongPtrW(FHandle, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) SessionEnding();
        ::SetWindowLongPtrW(FHandle, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_DESTROY:
        FormDestroy();
        ::PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

void TMainForm::OnCommand(int id, UINT code) {
    // After the end of the session the parts are gone; only the boxes telling of saves remain.
    if (FPartsEnded) return;
    const TTrayChoice choice = DecodeTrayMenuCommand(id);
    if (choice != TTrayChoice::None) {
        OnTrayChoice(choice);
        return;
    }
    switch (id) {
    case IDC_CBACTIVE:
        if (code == BN_CLICKED) cbActiveClick();
        break;
    case IDC_BTNSELECTSERVER:
        if (code == BN_CLICKED) PickComputerInto(FHandle, IDC_LESERVER, LoadResourceString(IDS_SELECT_COMPUTER));
        break;
    case IDC_LESERVER:
        if (code == EN_CHANGE) TWMParamChange();
        break;
    case IDC_BTNABOUT:
        if (code == BN_CLICKED) btnAboutClick();
        break;
    default:
        OnSettingsCommand(id, code);
        break;
    }
}

void TMainForm::OnTrayChoice(TTrayChoice choice) {
    switch (choice) {
    case TTrayChoice::Options: pmnuOptionsClick(); break;
    case TTrayChoice::Directory:
        if (FModel) FWindows->OpenDirectory(FModel->Settings());
        break;
    case TTrayChoice::Journal: FWindows->OpenJournal(); break;
    case TTrayChoice::Diagnostics: FWindows->OpenDiagnostics(); break;
    case TTrayChoice::Exit: pmnuExitClick(); break;
    case TTrayChoice::None: break;
    default:
        if (FQuietMenu->Choose(choice)) FNotices->UpdateTrayHint();
        break;
    }
}

bool TMainForm::OnNotify(NMHDR& header, LRESULT&) { return OnSettingsNotify(header); }

void TMainForm::OnTrayNotify(const TTrayRequest& request) {
    switch (request.kind) {
    case TTrayRequest::Kind::Activate:
        pmnuOptionsClick();
        break;
    case TTrayRequest::Kind::ShowMenu:
        ShowTrayMenu(Instance(), FHandle, request.anchor, FController && FController->Quiet().Asked());
        break;
    default:
        break;
    }
}

void TMainForm::FormCreate() {
    FNotices = std::make_unique<TInformerNotices>(FHandle, ResourceText(IDS_APP_TITLE),
                                                  static_cast<ISettingsChannels&>(*this));
    // The recording server's SDK may call back into this process: it must get in
    // without authentication, and may only identify us, never act as us.
    const HRESULT security = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                                    RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
    if (FAILED(security) && security != RPC_E_TOO_LATE)
        FNotices->ShowError(SystemErrorText(static_cast<unsigned long>(security)));

    // The tray icon comes first: it is the program's only presence on screen, and
    // the error boxes of the steps below may need it (its menu's "Выход").
    auto icon = static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_APPICON), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    ::SendMessageW(FHandle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(FHandle, WM_SETICON, ICON_BIG,
                   reinterpret_cast<LPARAM>(::LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_APPICON))));
    FNotices->ShowTray(kTrayIconId, WM_TRAYNOTIFY, icon);

    FStatusBar = LayOutMainForm(FHandle, Instance(), Scaled(8));
    FNotices->SetStatusBar(FStatusBar);
    clbChannels = CheckListView(Item(IDC_CLBCHANNELS));
    InitSettingsControls();

    // Nothing is connected yet; the connect box below may change that.
    FNotices->SetStatusText(LoadResourceString(IDS_STATUS_OFF));

    // The parts that live as long as the window; the settings below are read into them.
    FController = std::make_unique<TInformerController>(*FNotices);
    FNotices->Attach(*FController);
    FWindows = std::make_unique<TProgramWindows>(Instance(), *FController, FCallActions,
                                                 [this] { FNotices->UpdateTrayHint(); });
    FController->Popups().SetOnEditData(
        [this](const TCaller& caller, bool isPreview) { FWindows->OpenContactEditor(caller, isPreview); });

    // The built-in defaults first, so that the recording product's key, the INI
    // file and the autostart state each override only what they hold.
    LoadParams();
    FController->ApplySettings(FModel->Settings());
    FController->OpenJournal(DefaultJournalPath());
    FNotices->UpdateTrayHint();

    // Controls from the settings; a checked connect box connects right here.
    // A directory that fails to open is reported, and start-up goes on.
    try {
        ShowParams();
    } catch (...) {
        FNotices->ShowError(GetExceptionText(std::current_exception()));
    }

    FQuietMenu = std::make_unique<TQuietMenu>(Instance(), FController->Quiet(), *FModel,
                                              [this](const std::wstring& text) { FNotices->ShowError(text); });

    // Other workstations may be waiting for this PC's directories. An entry of
    // the allow-list that cannot be read is ignored by the server: say which.
    if (const auto unreadable = FController->UnreadableAllowedClient())
        ShowMessage(UnreadableAllowListText(*unreadable, TAllowListContext::Startup), MB_ICONWARNING);
    RestartDBServer();

    // A tray program shows nothing at start: without a connection the user must
    // be told, or would wait for popups that never come.
    if (!FController->Connected()) FNotices->ShowNoConnectionBalloon();
}

void TMainForm::LoadParams() {
    FModel = std::make_unique<TSettingsModel>(CurrentSettingsLocation(), FController->PopupSettings());
    FModel->AddListener(
        [this](TSettingsPart part, const TMainFormSettings& settings) { SettingsApplied(part, settings); });
    const std::vector<std::wstring> errors = FModel->Load(FController->Settings());
    if (!FModel->Sources().Enforced.Empty()) ShowEnforcedNote(FStatusBar, LoadResourceString(IDS_ENFORCED_NOTE));
    if (errors.empty()) return;
    std::wstring text;
    for (const auto& error : errors) text += (text.empty() ? L"" : L"\r\n") + error;
    FNotices->ShowError(text);
}

void TMainForm::AbandonStartup(const std::wstring& error) {
    FStartupFailed = true;
    // Nothing may reach the half-built window while the error box is open.
    if (FController) FController->Shutdown(0);
    if (!FNotices) {
        ShowError(error);
        return;
    }
    FNotices->EndTray();
    FNotices->ShowError(error);
}

void TMainForm::FormDestroy() {
    if (FFormDestroyed) return;
    FFormDestroyed = true;
    if (FNotices) FNotices->WindowGone();
    EndParts(TInformerController::TEnding::Exit);
}

void TMainForm::SessionEnding() {
    // The process may be ended as soon as this returns: everything is finished
    // or told here, and the program then ends by itself.
    if (FPartsEnded) return;
    EndParts(TInformerController::TEnding::SessionEnd);
    ::PostQuitMessage(0);
}

void TMainForm::EndParts(TInformerController::TEnding ending) {
    if (FPartsEnded) return;
    FPartsEnded = true;
    // A connection test still running is left to end by itself.
    FDBTest.Cancel();
    // Editors hold the lookup: none may be left to start a save once it goes.
    TProgramWindows::CloseAll();
    if (FNotices) FNotices->EndTray();
    // The boxes of what was not saved open from in here.
    if (FController) FController->End(ending);
}

void TMainForm::FormClose() { ApplicationEventsMinimize(); }

void TMainForm::RestartDBServer() {
    if (FController->RestartSharedDirectoryServer()) return;
    ShowMessage(LoadResourceString(IDS_DBSERVER_START_FAILED), MB_ICONWARNING);
}

void TMainForm::cbActiveClick() {
    TWMParamChange();
    UpdateConnectionControls();
    // The box acts at once: the controller connects (or ends the connection) from what it is handed.
    FController->ApplyConnection(ShownConnection());
}

TShownConnection TMainForm::ShownConnection() const {
    return {::IsDlgButtonChecked(FHandle, IDC_CBACTIVE) == BST_CHECKED, ItemText(IDC_LESERVER),
            ItemText(IDC_LEAREAPATH), ItemText(IDC_LEABONENTPATH)};
}

void TMainForm::ShowServerChannels(const std::vector<std::wstring>& channels) {
    // New items are not the user's change.
    ScopedFlag loading(FChannelListLoading);
    clbChannels.SetItems(MergeChannelList(channels, FModel ? FModel->Settings().FChannels : TSettingList{}));
}

void TMainForm::ChannelRenamed(const std::wstring& from, const std::wstring& to) {
    // The dispatch has renamed the applied channel; the model and the list follow.
    if (FModel) FModel->ChannelRenamed(FController->Settings().FChannels);
    const int listed = FindChannel(clbChannels.Texts(), from);
    if (listed >= 0) clbChannels.SetText(listed, to);
}

void TMainForm::ApplicationEventsMinimize() { ::ShowWindow(FHandle, SW_HIDE); }

void TMainForm::pmnuOptionsClick() { BringWindowForward(FHandle); }

// Only the message loop ends here: "Выход" may come from inside a modal loop (an
// error box during start-up, the tray menu), whose caller still uses the window
// and its parts. Every modal loop ends on WM_QUIT and passes it on; the window is
// destroyed once the main loop has ended.
void TMainForm::pmnuExitClick() { ::PostQuitMessage(0); }

void TMainForm::btnAboutClick() {
    ShowMessage(LoadResourceString(IDS_ABOUT_TEXT), MB_ICONINFORMATION);
}
