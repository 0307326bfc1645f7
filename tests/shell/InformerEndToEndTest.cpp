// The real tray program under Wine, driven through the simulated recording server.
#include "DebugOutputCapture.h"
#include "InformerProcess.h"
#include "TestFolders.h"
#include "pqrUnit.h"
#include "SimulatorFixture.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

class InformerEndToEnd : public SimulatorTest {
protected:
    static bool WaitForStatus(const InformerProcess& informer, const std::wstring& expected,
                              DWORD timeoutMs = 10000) {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        while (::GetTickCount64() < deadline) {
            if (informer.StatusText() == expected) return true;
            ::Sleep(50);
        }
        return false;
    }

    static bool WaitForPopupText(HWND popup, const std::wstring& part, DWORD timeoutMs = 10000) {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        while (::GetTickCount64() < deadline) {
            if (InformerProcess::PopupText(popup).find(part) != std::wstring::npos) return true;
            ::Sleep(50);
        }
        return false;
    }
};

}  // namespace

TEST_F(InformerEndToEnd, StartsConnectedTracesEventsAndNoticesALostConnection) {
    DebugOutputCapture trace;
    ASSERT_TRUE(trace.ok());
    InformerProcess informer({session_, true, {}, {}});
    ASSERT_TRUE(informer.started());
    ASSERT_TRUE(informer.WaitForSimulator()) << "the program did not create the recording-server object";
    EXPECT_TRUE(WaitForStatus(informer, L"Подключено")) << informer.StatusText();

    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K1"}));
    ASSERT_TRUE(informer.WaitForPopups(1));
    HWND popup = informer.Popups().front();
    EXPECT_EQ(L"ВЫЗОВ", InformerProcess::PopupTitle(popup));
    EXPECT_NE(std::wstring::npos, InformerProcess::PopupText(popup).find(L"Нет информации о номере."));

    EXPECT_EQ(0u, informer.Recsim({L"ani", L"K1", L"84951234567"}));
    EXPECT_EQ(0u, informer.Recsim({L"event", L"4", L"K1"}));
    ASSERT_TRUE(trace.WaitForLines(informer.processId(), 2, 10000));
    EXPECT_TRUE(WaitForPopupText(popup, L"74951234567")) << "the caller's number in canonical form";
    EXPECT_EQ(L"ВЫЗОВ", InformerProcess::PopupTitle(popup)) << "a ringing popup keeps its title";

    EXPECT_EQ(0u, informer.Recsim({L"end", L"K1"}));
    ASSERT_TRUE(trace.WaitForLines(informer.processId(), 3, 10000));
    EXPECT_TRUE(informer.WaitForPopups(0)) << "the conversation's end closes the popup";
    EXPECT_EQ((std::vector<std::string>{"KDV_MSG_RING", "KDV_MSG_ANI_DETECT", "KDV_MSG_CONVERSATION_END"}),
              trace.Lines(informer.processId()));

    EXPECT_EQ(0u, informer.Recsim({L"destroy"}));
    EXPECT_TRUE(WaitForStatus(informer, L"Соединение прервано сервером.")) << informer.StatusText();
    // The reconnection timer brings the connection back within ten seconds.
    EXPECT_TRUE(WaitForStatus(informer, L"Подключено", 15000)) << informer.StatusText();

    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, StartsDisconnectedWhenTheConnectSettingIsOff) {
    InformerProcess informer({session_, false, {}, {}});
    ASSERT_TRUE(informer.started());
    EXPECT_TRUE(WaitForStatus(informer, L"Отключено")) << informer.StatusText();
    EXPECT_FALSE(::IsWindowVisible(informer.MainWindow())) << "only the tray icon shows at start";
    EXPECT_FALSE(informer.WaitForSimulator(1000)) << "no connection is tried";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, ClosingTheWindowKeepsTheProgramRunning) {
    InformerProcess informer({session_, false, {}, {}});
    ASSERT_TRUE(informer.started());
    HWND window = informer.MainWindow();
    ASSERT_NE(nullptr, window);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ::Sleep(500);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, CallerLinesCarryTheNormalisedNumberRegionAndSavedName) {
    TempFolder folder;
    {
        TPQRDataModule subscribers(folder.file(L"PQR"));
        subscribers.Open();
        subscribers.AddEditRow(L"78122345678", L"Иван Петров", L"Поставщик бумаги");
        subscribers.Close();
    }
    InformerProcess informer({session_, true, folder.path(), {}});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено")) << informer.StatusText();

    EXPECT_EQ(0u, informer.Recsim({L"ani", L"Приёмная", L"+78122345678"}));
    ASSERT_TRUE(informer.WaitForPopups(1));
    HWND popup = informer.Popups().front();
    EXPECT_EQ(L"АОН", InformerProcess::PopupTitle(popup));
    const std::wstring text = InformerProcess::PopupText(popup);
    for (const wchar_t* expected : {L"Приёмная", L"78122345678", L"Иван Петров", L"Санкт-Петербург", L"Поставщик бумаги"})
        EXPECT_NE(std::wstring::npos, text.find(expected)) << "missing " << expected << " in " << text;
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, ANameEnteredInTheEditorShowsOnTheNextCall) {
    constexpr int kEditDataButton = 2102;
    constexpr int kEditorName = 3103;
    InformerProcess informer({session_, true, {}, {}});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено"));

    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K2"}));
    EXPECT_EQ(0u, informer.Recsim({L"ani", L"K2", L"84957654321"}));
    ASSERT_TRUE(informer.WaitForPopups(1));
    HWND popup = informer.Popups().front();
    // The ring opens the popup; the editor takes the number once the caller ID is in.
    ASSERT_TRUE(WaitForPopupText(popup, L"74957654321"));
    ::PostMessageW(::GetDlgItem(popup, kEditDataButton), BM_CLICK, 0, 0);

    HWND editor = informer.FindVisibleWindow(L"Изменение данных абонента");
    ASSERT_NE(nullptr, editor) << "\"Внести данные\" opened no editor";
    HWND name = ::GetDlgItem(editor, kEditorName);
    ::SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Ольга Смирнова"), SMTO_BLOCK, 5000,
                          nullptr);
    ::PostMessageW(name, WM_KEYDOWN, VK_RETURN, 0);
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (::IsWindow(editor) && ::GetTickCount64() < deadline) ::Sleep(50);
    EXPECT_FALSE(::IsWindow(editor)) << "Enter in the name field saves and closes the editor";

    // The save runs on a thread of its own: wait until the row is in the directory.
    std::wstring saved;
    for (const ULONGLONG until = ::GetTickCount64() + 15000; saved.empty() && ::GetTickCount64() < until;) {
        ::Sleep(100);
        try {
            TPQRDataModule subscribers(informer.folder() + L"\\PQR");
            subscribers.Open();
            saved = subscribers.AbonentByPhone(L"74957654321");
        } catch (...) {
        }
    }
    EXPECT_EQ(L"Ольга Смирнова", saved) << "message boxes: " << informer.DialogTexts();

    EXPECT_EQ(0u, informer.Recsim({L"end", L"K2"}));
    ASSERT_TRUE(informer.WaitForPopups(0));
    EXPECT_EQ(0u, informer.Recsim({L"ani", L"K3", L"84957654321"}));
    ASSERT_TRUE(informer.WaitForPopups(1));
    EXPECT_NE(std::wstring::npos, InformerProcess::PopupText(informer.Popups().front()).find(L"Ольга Смирнова"));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, TheIniFileAloneConfiguresChannelsCornerAndDiallingCodes) {
    InformerProcess informer({session_, true, {}, {L"Channels=\"K1,\"Линия 2\"\"", L"TrayMsgPos=0",
                                                   L"DefaultCityCode=812", L"TrayMsgAnimate=0"}});
    ASSERT_TRUE(informer.WaitForSimulator()) << "Active=1 connects at start";
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено"));

    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K2"}));
    EXPECT_EQ(0u, informer.Recsim({L"ring", L"Линия 2"}));
    ASSERT_TRUE(informer.WaitForPopups(1)) << "only the monitored channels get popups";
    HWND popup = informer.Popups().front();
    EXPECT_EQ(L"ВЫЗОВ", InformerProcess::PopupTitle(popup));

    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT placed{};
    ::GetWindowRect(popup, &placed);
    EXPECT_LT(placed.left - work.left, (work.right - work.left) / 2) << "the left top corner";
    EXPECT_LT(placed.top - work.top, (work.bottom - work.top) / 2) << "the left top corner";

    EXPECT_EQ(0u, informer.Recsim({L"ani", L"Линия 2", L"2345678"}));
    EXPECT_TRUE(WaitForPopupText(popup, L"78122345678")) << "a local number is completed with the configured city code";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, SettingsFromTheTrayMenuShowTheWindowAndMinimisingHidesIt) {
    constexpr UINT kOptionsCommand = 1200;  // the tray menu's "&Настройки"
    InformerProcess informer({session_, false, {}, {}});
    HWND window = informer.MainWindow();
    ASSERT_NE(nullptr, window);
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kOptionsCommand, 0), 0);
    const ULONGLONG deadline = ::GetTickCount64() + 5000;
    while (!::IsWindowVisible(window) && ::GetTickCount64() < deadline) ::Sleep(50);
    EXPECT_TRUE(::IsWindowVisible(window));
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(784, client.right);
    EXPECT_EQ(511, client.bottom);
    wchar_t caption[64] = {};
    ::GetWindowTextW(window, caption, 64);
    EXPECT_STREQ(L"Информатор Kordavin", caption);

    ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ::Sleep(500);
    EXPECT_FALSE(::IsWindowVisible(window)) << "minimising hides the window to the tray";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, ACornerAndAChannelChosenInTheWindowRuleTheNextCallsAndTheIniFile) {
    constexpr UINT kOptionsCommand = 1200;
    constexpr int kChannelList = 1105, kPositionList = 1133, kOk = IDOK;
    InformerProcess informer({session_, true, {}, {L"TrayMsgAnimate=0"}});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено"));
    HWND window = informer.MainWindow();
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kOptionsCommand, 0), 0);
    const auto send = [](HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(target, message, wParam, lParam, SMTO_BLOCK, 10000, &result);
        return result;
    };
    HWND list = ::GetDlgItem(window, kChannelList);
    for (const ULONGLONG until = ::GetTickCount64() + 10000;
         send(list, LVM_GETITEMCOUNT, 0, 0) < 2 && ::GetTickCount64() < until;)
        ::Sleep(50);

    // The second channel, K2, checked from the keyboard; the left top corner chosen.
    send(list, WM_KEYDOWN, VK_HOME, 0);
    send(list, WM_KEYDOWN, VK_DOWN, 0);
    send(list, WM_KEYDOWN, VK_SPACE, 0);
    send(list, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(2u, send(list, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK) >> 12) << "K2 checked";
    HWND position = ::GetDlgItem(window, kPositionList);
    send(position, CB_SETCURSEL, 0, 0);
    send(window, WM_COMMAND, MAKEWPARAM(kPositionList, CBN_SELCHANGE), reinterpret_cast<LPARAM>(position));
    send(::GetDlgItem(window, kOk), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(window)) << "OK hides the window";

    const std::wstring ini = informer.folder() + L"\\KordavinInformer.ini";
    wchar_t value[256] = {};
    ::GetPrivateProfileStringW(L"Main", L"Channels", L"", value, 256, ini.c_str());
    EXPECT_STREQ(L"K2", value);
    ::GetPrivateProfileStringW(L"Main", L"TrayMsgPos", L"", value, 256, ini.c_str());
    EXPECT_STREQ(L"0", value);

    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K1"}));
    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K2"}));
    ASSERT_TRUE(informer.WaitForPopups(1)) << "only the checked channel gets a popup";
    ::Sleep(300);
    ASSERT_EQ(1u, informer.Popups().size());
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT placed{};
    ::GetWindowRect(informer.Popups().front(), &placed);
    EXPECT_LT(placed.left - work.left, (work.right - work.left) / 2) << "the left top corner";
    EXPECT_LT(placed.top - work.top, (work.bottom - work.top) / 2) << "the left top corner";
    EXPECT_EQ(0u, informer.Exit());
}
