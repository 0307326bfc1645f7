#include "FormMain.h"

#include "AppError.h"
#include "ConnectionTexts.h"
#include "ContactEditorForm.h"
#include "KordavinUtils.h"
#include "SaveDataThreadUnit.h"
#include "pqrUnit.h"
#include "tqrUnit.h"
#include "MainFormRes.h"
#include "NetworkComputer.h"
#include "ResourceText.h"
#include "TextConvert.h"
#include "SharingRes.h"
#include "resource.h"

#include <commctrl.h>
#include <objbase.h>

namespace {

constexpr UINT_PTR kTimerMsg = 1;
constexpr UINT_PTR kTimerInit = 2;
constexpr UINT kTimerMsgInterval = 200;
constexpr UINT kTimerInitInterval = 10000;
constexpr UINT kTrayIconId = 1;
constexpr UINT WM_TRAYNOTIFY = WM_APP + 1;
constexpr int kClientWidth = 784;
constexpr int kClientHeight = 511;
// How long "Выход" waits for contact saves still running before the directories close.
constexpr DWORD kSaveWaitAtExitMs = 15000;

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

TMainForm::TMainForm(HINSTANCE instance) : FInstance(instance) {}

TMainForm::~TMainForm() {
    if (FHandle) ::DestroyWindow(FHandle);
}

bool TMainForm::Create() {
    FHandle = ::CreateDialogParamW(FInstance, MAKEINTRESOURCEW(IDD_MAINFORM), nullptr, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
    return FHandle != nullptr;
}

INT_PTR CALLBACK TMainForm::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TMainForm* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<TMainForm*>(lParam);
        self->FHandle = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<TMainForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return FALSE;
    // Errors never leave the window procedure: they become the general error report.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        self->ShowGeneralError(GetExceptionText(std::current_exception()));
        return TRUE;
    }
}

INT_PTR TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (TrayIcon && TrayIcon->HandleTaskbarCreated(message)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        FormCreate();
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER:
        if (wParam == kTimerMsg) TimerMsgTimer();
        else if (wParam == kTimerInit) TimerInitTimer();
        return TRUE;
    case WM_TRAYNOTIFY:
        OnTrayNotify(LOWORD(lParam));
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            ApplicationEventsMinimize();
            ::SetWindowLongPtrW(FHandle, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        FormClose();
        return TRUE;
    case WM_DESTROY:
        FormDestroy();
        ::PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

void TMainForm::OnCommand(UINT id, UINT code) {
    switch (id) {
    case IDC_CBACTIVE:
        if (code == BN_CLICKED) cbActiveClick();
        break;
    case IDC_BTNSELECTSERVER:
        if (code == BN_CLICKED) btnSelectServerClick();
        break;
    case IDC_BTNABOUT:
        if (code == BN_CLICKED) btnAboutClick();
        break;
    case IDC_BTNEXIT:
    case IDM_PMNUEXIT:
        pmnuExitClick();
        break;
    case IDM_PMNUOPTIONS:
        pmnuOptionsClick();
        break;
    case IDCANCEL:  // Escape hides the window like its close button
        FormClose();
        break;
    default:
        break;
    }
}

void TMainForm::OnTrayNotify(UINT event) {
    switch (event) {
    case WM_LBUTTONDBLCLK:
        pmnuOptionsClick();
        break;
    case WM_CONTEXTMENU:
    case WM_RBUTTONUP:
        ShowTrayMenu();
        break;
    default:
        break;
    }
}

void TMainForm::ShowTrayMenu() {
    HMENU menu = ::LoadMenuW(FInstance, MAKEINTRESOURCEW(IDM_TRAYMENU));
    if (!menu) return;
    HMENU popup = ::GetSubMenu(menu, 0);
    ::SetMenuDefaultItem(popup, IDM_PMNUOPTIONS, FALSE);
    POINT at{};
    ::GetCursorPos(&at);
    // Without this the menu does not close when the user clicks elsewhere.
    ::SetForegroundWindow(FHandle);
    ::TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, FHandle, nullptr);
    ::PostMessageW(FHandle, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
}

void TMainForm::LayoutWindow() {
    FStatusBar = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, FHandle,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUSBAR)), FInstance, nullptr);
    int parts[] = {-1};
    ::SendMessageW(FStatusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));

    // All sizes are pixels: the client area is fixed whatever the font metrics.
    RECT frame{0, 0, kClientWidth, kClientHeight};
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_EXSTYLE));
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::SetWindowPos(FHandle, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(FStatusBar, WM_SIZE, 0, 0);

    // The bottom row of buttons sits just above the status line, whatever the
    // dialog units come to on this machine.
    RECT status{};
    ::GetWindowRect(FStatusBar, &status);
    const int rowBottom = kClientHeight - (status.bottom - status.top) - 8;
    for (int id : {IDC_BTNABOUT, IDC_BTNEXIT}) {
        HWND button = Item(id);
        RECT bounds{};
        ::GetWindowRect(button, &bounds);
        ::MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&bounds), 2);
        ::SetWindowPos(button, nullptr, bounds.left, rowBottom - (bounds.bottom - bounds.top), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TMainForm::FormCreate() {
    // 1. Process-wide object security: no authentication, identify-level impersonation.
    const HRESULT security = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                                    RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
    if (FAILED(security) && security != RPC_E_TOO_LATE)
        ShowGeneralError(SystemErrorText(static_cast<unsigned long>(security)));

    // 2. One caption for the window, the tray hint and the balloon title.
    FCaption = LoadResourceString(IDS_APP_TITLE);
    ::SetWindowTextW(FHandle, FCaption.c_str());
    auto icon = static_cast<HICON>(::LoadImageW(FInstance, MAKEINTRESOURCEW(IDI_APPICON), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    ::SendMessageW(FHandle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(FHandle, WM_SETICON, ICON_BIG,
                   reinterpret_cast<LPARAM>(::LoadIconW(FInstance, MAKEINTRESOURCEW(IDI_APPICON))));
    TrayIcon = std::make_unique<TTrayIcon>(FHandle, kTrayIconId, WM_TRAYNOTIFY, icon);
    TrayIcon->SetHint(FCaption);
    TrayIcon->Show();

    LayoutWindow();
    clbChannels = CheckListView(Item(IDC_CLBCHANNELS));

    // 3. Status line.
    SetStatusText(LoadResourceString(IDS_STATUS_OFF));
    FCloseTMWOnStart = false;

    // 4. The long-lived parts.
    FTrayMsgWins = std::make_unique<TTrayMsgWins>();
    FTrayMsgWins->SetOnEditData([this](const TTMWContactData& data) { OpenContactEditor(data); });
    FAreaList = std::make_unique<TTQRDataModule>(DefaultCityCodesDir());
    FAbonentList = std::make_unique<TPQRDataModule>(DefaultAbonentPhoneDir());
    FCallerLookup = std::make_unique<TCallerLookup>(*FAreaList, *FAbonentList);
    FDBClient = std::make_unique<TDirectoryClient>();
    FCallerLookup->SetRemote(FDBClient.get());
    FDBServerBackend = std::make_unique<TCallerLookupBackend>(*FCallerLookup, *FAbonentList);
    DBServerSocket = std::make_unique<TDirectoryServer>(*FDBServerBackend);

    // 5-6. Built-in defaults, then the recording product's key, the INI file
    // and the autostart state.
    FCityCodesDir = FAreaList->CityCodesDir();
    FAbonentPhoneDir = FAbonentList->AbonentPhoneDir();
    FFontName = FTrayMsgWins->Font().Name;
    FFontSize = FTrayMsgWins->Font().Size;
    LoadParams();
    FCallerLookup->SetUseRemoteDB(FUseRemoteDB);
    FCallerLookup->SetDBAsClient(FDBAsClient);

    // 7. Controls from the settings; a checked connect box connects right here.
    // A directory that fails to open is reported, and start-up goes on.
    try {
        ShowParams();
    } catch (...) {
        ShowGeneralError(GetExceptionText(std::current_exception()));
    }

    SetTimerEnabled(kTimerMsg, kTimerMsgInterval, true);

    // 8. The directory server, when this PC serves the directories.
    RestartDBServer();

    // 9. Tell the user at once when there is no connection.
    if (!FKordavin) ShowNoConnectionBalloon();
}

void TMainForm::LoadParams() {
    FSettingsLocation = TSettingsLocation::ForExecutable(CurrentExecutablePath());
    const std::vector<std::wstring> errors = LoadSettings(FSettingsLocation, *this, *FTrayMsgWins);
    if (errors.empty()) return;
    std::wstring text;
    for (const auto& error : errors) text += (text.empty() ? L"" : L"\r\n") + error;
    ShowGeneralError(text);
}

void TMainForm::FormDestroy() {
    if (FDestroyed) return;
    FDestroyed = true;
    ::KillTimer(FHandle, kTimerMsg);
    ::KillTimer(FHandle, kTimerInit);
    FTrayMsgWins.reset();
    // No client is served from directories about to close.
    if (DBServerSocket) DBServerSocket->Stop();
    // A save still running finishes before the directories close. One that hangs
    // keeps the lookup and the directories: they are left to the process's end.
    if (!WaitForRunningSaves(kSaveWaitAtExitMs)) {
        (void)FCallerLookup.release();
        (void)FDBClient.release();
        (void)FAbonentList.release();
        (void)FAreaList.release();
    }
    FCallerLookup.reset();
    if (FAbonentList) FAbonentList->Close();
    if (FAreaList) FAreaList->Close();
    FKordavin.reset();
    TrayIcon.reset();
}

void TMainForm::FormClose() { ApplicationEventsMinimize(); }

void TMainForm::ShowParams() {
    TTMWFont font = FTrayMsgWins->Font();
    font.Name = FFontName;
    font.Size = FFontSize;
    FTrayMsgWins->SetFont(&font);
    ::SetWindowTextW(Item(IDC_LESERVER), FServerName.c_str());
    const bool shown = ::IsDlgButtonChecked(FHandle, IDC_CBACTIVE) == BST_CHECKED;
    if (shown != FActive) {
        ::CheckDlgButton(FHandle, IDC_CBACTIVE, FActive ? BST_CHECKED : BST_UNCHECKED);
        cbActiveClick();
    }
}

void TMainForm::RestartDBServer() {
    FDBClient->SetServer(FDBServerAddress, FDBPort);
    DBServerSocket->Stop();
    if (!FUseRemoteDB || FDBAsClient) return;
    try {
        DBServerSocket->Start(FDBPort, TAllowedClients::Parse(FDBAllowedClients));
    } catch (...) {
        ::MessageBoxW(FHandle, LoadResourceString(IDS_DBSERVER_START_FAILED).c_str(), FCaption.c_str(),
                      MB_OK | MB_ICONWARNING);
    }
}

// The folder edits come with the full settings window; until then there is
// nothing to enable or disable.
void TMainForm::UpdatePathControls() {}

void TMainForm::cbActiveClick() {
    if (::IsDlgButtonChecked(FHandle, IDC_CBACTIVE) == BST_CHECKED) {
        ConnectToServer();
        SetTimerEnabled(kTimerInit, kTimerInitInterval, true);
        ::EnableWindow(Item(IDC_LESERVER), FALSE);
        ::EnableWindow(Item(IDC_BTNSELECTSERVER), FALSE);
    } else {
        ::EnableWindow(Item(IDC_BTNSELECTSERVER), TRUE);
        ::EnableWindow(Item(IDC_LESERVER), TRUE);
        SetTimerEnabled(kTimerInit, kTimerInitInterval, false);
        SetStatusText(LoadResourceString(IDS_STATUS_OFF));
        FTrayMsgWins->Items().Clear();
        DisconnectFromServer();
    }
    UpdatePathControls();
    SyncDirectories();
}

void TMainForm::ConnectToServer() {
    try {
        const std::wstring server = WindowText(Item(IDC_LESERVER));
        FKordavin = KordavinClient::Create(server);
        const int32_t result = FKordavin->Connect();
        if (result != 0) throw AppError(FormatConnectError(result));
        RefreshChannelList();
        SetStatusText(LoadResourceString(IDS_STATUS_CONNECTED));
    } catch (...) {
        FKordavin.reset();
        SetStatusText(GetExceptionText(std::current_exception()));
    }
}

void TMainForm::DisconnectFromServer() { FKordavin.reset(); }

void TMainForm::RefreshChannelList() {
    if (!FKordavin) return;
    std::wstring channels;
    if (FKordavin->GetChannelList(channels) != 0) return;
    clbChannels.SetItems(MergeChannelList(SplitChannelList(channels), FChannels));
}

void TMainForm::SyncDirectories() {
    if (FKordavin) {
        FAreaList->SetCityCodesDir(FCityCodesDir);
        FAreaList->Open();
        FAbonentList->SetAbonentPhoneDir(FAbonentPhoneDir);
        FAbonentList->Open();
    } else {
        FAbonentList->Close();
        FAreaList->Close();
    }
}

void TMainForm::TimerInitTimer() {
    if (::IsDlgButtonChecked(FHandle, IDC_CBACTIVE) != BST_CHECKED) return;
    if (!FKordavin) ConnectToServer();
    // A directory that cannot be opened is reported once, not on every tick.
    try {
        SyncDirectories();
        FLastDirectoryError.clear();
    } catch (...) {
        const std::wstring text = GetExceptionText(std::current_exception());
        if (text != FLastDirectoryError) {
            FLastDirectoryError = text;
            ShowGeneralError(text);
        }
    }
    if (FKordavin) SetStatusText(LoadResourceString(IDS_STATUS_CONNECTED));
}

void TMainForm::TimerMsgTimer() { DispatchRecorderEvents(*this); }

bool TMainForm::GetNameRegionCommentByPhone(const std::wstring& Phone, std::wstring& Name, std::wstring& Region,
                                            std::wstring& Comment) {
    return FCallerLookup->GetNameRegionCommentByPhone(Phone, Name, Region, Comment);
}

bool TMainForm::GetNameRegionCommentByPhoneLocal(const std::wstring& Phone, std::wstring& Name,
                                                 std::wstring& Region, std::wstring& Comment) {
    return FCallerLookup->GetNameRegionCommentByPhoneLocal(Phone, Name, Region, Comment);
}

bool TMainForm::CheckDB() { return FCallerLookup->CheckDB(); }

void TMainForm::AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                           const std::wstring& AbonentComment) {
    FCallerLookup->AddEditRow(PhoneNumber, AbonentName, AbonentComment);
}

void TMainForm::OpenContactEditor(const TTMWContactData& data) {
    TCallerLookup* lookup = FCallerLookup.get();
    TEditorForm::Open(FInstance, data.IntPhoneNumber, data.AbonentName, data.AbonentComment, data.IsPreview,
                      [lookup](const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
                          lookup->AddEditRow(phone, name, comment);
                      });
}

void TMainForm::TraceEvent(const std::wstring& Name) { ::OutputDebugStringW(Name.c_str()); }

void TMainForm::ApplicationEventsMinimize() { ::ShowWindow(FHandle, SW_HIDE); }

void TMainForm::pmnuOptionsClick() {
    ::ShowWindow(FHandle, SW_SHOW);
    ::SetForegroundWindow(FHandle);
    if (::IsIconic(FHandle)) ::ShowWindow(FHandle, SW_RESTORE);
}

void TMainForm::pmnuExitClick() { ::DestroyWindow(FHandle); }

void TMainForm::btnAboutClick() {
    ::MessageBoxW(FHandle, LoadResourceString(IDS_ABOUT_TEXT).c_str(), FCaption.c_str(), MB_OK | MB_ICONINFORMATION);
}

void TMainForm::btnSelectServerClick() {
    std::wstring name;
    if (SelectNetworkComputer(FHandle, LoadResourceString(IDS_SELECT_COMPUTER), name))
        ::SetWindowTextW(Item(IDC_LESERVER), name.c_str());
}

void TMainForm::SetStatusText(const std::wstring& Text) {
    ::SendMessageW(FStatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Text.c_str()));
}

void TMainForm::ShowNoConnectionBalloon() {
    if (TrayIcon) TrayIcon->ShowBalloon(FCaption, LoadResourceString(IDS_NO_CONNECTION));
}

void TMainForm::ShowGeneralError(const std::wstring& text) {
    // The reconnection timer keeps running under the box: while one error box is
    // open, further errors are not stacked on top of it.
    if (FErrorBoxOpen) return;
    FErrorBoxOpen = true;
    ::MessageBoxW(FHandle, text.c_str(), FCaption.c_str(), MB_OK | MB_ICONERROR);
    FErrorBoxOpen = false;
}

void TMainForm::SetTimerEnabled(UINT_PTR id, UINT interval, bool enabled) {
    if (enabled) ::SetTimer(FHandle, id, interval, nullptr);
    else ::KillTimer(FHandle, id);
}
