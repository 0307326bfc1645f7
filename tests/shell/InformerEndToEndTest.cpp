// The real tray program under Wine, driven through the simulated recording server.
#include "CallJournal.h"
#include "DebugOutputCapture.h"
#include "HeldLock.h"
#include "InformerProcess.h"
#include "LoopbackHttpServer.h"
#include "TestFolders.h"
#include "pqrUnit.h"
#include "SimulatorFixture.h"
#include "TextConvert.h"

#include "UniqueHandle.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <shellapi.h>

#include <commctrl.h>

namespace {

constexpr int kEditDataButton = 2102;
constexpr int kEditorName = 3103;

// Another workstation's pending write on a table file, held by this process
// until released: the program's saves wait out their retries and fail.
class TableWriteLock {
public:
    explicit TableWriteLock(const std::wstring& path) {
        if (sqlite3_open_v2(WideToUtf8(path).c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
            held_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~TableWriteLock() { Release(); }
    bool held() const { return held_; }
    void Release() {
        if (!db_) return;
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
        db_ = nullptr;
    }

private:
    sqlite3* db_ = nullptr;
    bool held_ = false;
};

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

    static bool WaitForWindowOfClass(const InformerProcess& informer, const std::wstring& className,
                                     DWORD timeoutMs = 10000) {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        while (::GetTickCount64() < deadline) {
            if (!informer.VisibleWindowsOfClass(className).empty()) return true;
            ::Sleep(50);
        }
        return false;
    }

    // "Внести данные" in a popup that shows this number; the editor it opened.
    static HWND OpenEditor(const InformerProcess& informer, HWND popup, const std::wstring& number) {
        // The ring opens the popup; the editor takes the number once the caller ID is in.
        if (!InformerProcess::WaitForPopupText(popup, number)) return nullptr;
        ::PostMessageW(::GetDlgItem(popup, kEditDataButton), BM_CLICK, 0, 0);
        return informer.FindVisibleWindow(L"Изменение данных абонента");
    }

    static void TypeName(HWND editor, const wchar_t* name) {
        ::SendMessageTimeoutW(::GetDlgItem(editor, kEditorName), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name),
                              SMTO_BLOCK, 5000, nullptr);
    }

    // Enter in the name field saves; true once the editor has closed.
    static bool SaveByEnter(HWND editor) {
        ::PostMessageW(::GetDlgItem(editor, kEditorName), WM_KEYDOWN, VK_RETURN, 0);
        const ULONGLONG deadline = ::GetTickCount64() + 10000;
        while (::IsWindow(editor) && ::GetTickCount64() < deadline) ::Sleep(50);
        return !::IsWindow(editor);
    }

    // A name typed for the popup's number and saved; true once its editor has closed.
    static bool SaveName(const InformerProcess& informer, HWND popup, const std::wstring& number,
                         const wchar_t* name) {
        HWND editor = OpenEditor(informer, popup, number);
        if (!editor) return false;
        TypeName(editor, name);
        return SaveByEnter(editor);
    }

    static DWORD ThreadOf(HWND window) { return ::GetWindowThreadProcessId(window, nullptr); }

    // The program connected, showing the popup of a call from 84957654321 on K1.
    static HWND ConnectedWithACall(const InformerProcess& informer) {
        if (!informer.WaitForSimulator() || !WaitForStatus(informer, L"Подключено")) return nullptr;
        if (informer.Recsim({L"ani", L"K1", L"84957654321"}) != 0 || !informer.WaitForPopups(1)) return nullptr;
        return informer.Popups().front();
    }
};

// A value of the recording product's key with the wrong type, for as long as it lives.
class WrongTypedRecorderValue {
public:
    explicit WrongTypedRecorderValue(const wchar_t* name) : name_(name) {
        HKEY raw = nullptr;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr);
        key_.reset(raw);
        const DWORD number = 812;
        ok_ = key_ && ::RegSetValueExW(key_.get(), name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                       sizeof(number)) == ERROR_SUCCESS;
    }
    ~WrongTypedRecorderValue() {
        if (key_) ::RegDeleteValueW(key_.get(), name_);
    }
    bool ok() const { return ok_; }

private:
    static constexpr wchar_t kKey[] = L"Software\\Vimbrel\\Kordavin\\3.00\\rv";
    const wchar_t* name_;
    UniqueRegKey key_;
    bool ok_ = false;
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
    EXPECT_TRUE(InformerProcess::WaitForPopupText(popup, L"74951234567")) << "the caller's number in canonical form";
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

TEST_F(InformerEndToEnd, ACallerNoDirectoryKnowsIsNamedByTheCrmInThePopupAlreadyShown) {
    TLoopbackHttpServer crm([](const TReceivedRequest&) {
        THttpScript s;
        s.DelayMs = 2000;
        s.Body = R"({"data":[{"name":"ООО «Северный ветер»","company":"Ключевой клиент"}]})";
        return s;
    });
    InformerProcess informer({session_, true, {}, {
        L"LookupUrlTemplate=" + crm.BaseUrlW() + L"/api/contacts?phone={number}",
        L"LookupNamePath=/data/0/name",
        L"LookupCommentPath=/data/0/company",
        L"LookupTimeoutMs=8000",
    }});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено")) << informer.StatusText();

    EXPECT_EQ(0u, informer.Recsim({L"ani", L"Приёмная", L"+74957770011"}));
    ASSERT_TRUE(informer.WaitForPopups(1));
    HWND popup = informer.Popups().front();
    EXPECT_EQ(std::wstring::npos, InformerProcess::PopupText(popup).find(L"Северный ветер"))
        << "the popup does not wait for the CRM";
    EXPECT_TRUE(InformerProcess::WaitForPopupText(popup, L"ООО «Северный ветер»")) << InformerProcess::PopupText(popup);
    EXPECT_TRUE(InformerProcess::WaitForPopupText(popup, L"Ключевой клиент")) << InformerProcess::PopupText(popup);
    EXPECT_NE(std::wstring::npos, InformerProcess::PopupText(popup).find(L"74957770011"));
    ASSERT_EQ(1, crm.RequestCount());
    EXPECT_EQ("/api/contacts?phone=74957770011", crm.Requests()[0].Target);
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, ANameEnteredInTheEditorShowsOnTheNextCall) {
    InformerProcess informer({session_, true, {}, {}});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено"));

    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K2"}));
    EXPECT_EQ(0u, informer.Recsim({L"ani", L"K2", L"84957654321"}));
    ASSERT_TRUE(informer.WaitForPopups(1));
    HWND editor = OpenEditor(informer, informer.Popups().front(), L"74957654321");
    ASSERT_NE(nullptr, editor) << "\"Внести данные\" opened no editor";
    TypeName(editor, L"Ольга Смирнова");
    EXPECT_TRUE(SaveByEnter(editor)) << "Enter in the name field saves and closes the editor";

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

TEST_F(InformerEndToEnd, ASaveTheDirectoryRefusesIsToldWithItsNumberFromTheMainThread) {
    InformerProcess informer({session_, true, {}, {}});
    HWND popup = ConnectedWithACall(informer);
    ASSERT_NE(nullptr, popup);
    HWND editor = OpenEditor(informer, popup, L"74957654321");
    ASSERT_NE(nullptr, editor);

    TableWriteLock lock(informer.folder() + L"\\PQR\\AbonentPhones.db");
    ASSERT_TRUE(lock.held());
    TypeName(editor, L"Ольга Смирнова");
    ASSERT_TRUE(SaveByEnter(editor));
    // The save waits out the lock's retries, then its failure comes up.
    HWND box = informer.FindMessageBox(L"74957654321", 20000);
    ASSERT_NE(nullptr, box) << "the failed save was not told; message boxes: " << informer.DialogTexts();
    const std::wstring text = InformerProcess::MessageBoxText(box);
    EXPECT_NE(std::wstring::npos, text.find(L"Данные абонента 74957654321 не сохранены")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L"заблокирована")) << text;
    EXPECT_EQ(ThreadOf(informer.MainWindow()), ThreadOf(box)) << "shown by the user-interface thread";
    // Popups go on while the box is open.
    EXPECT_EQ(0u, informer.Recsim({L"ani", L"K2", L"84951234567"}));
    EXPECT_TRUE(informer.WaitForPopups(2));

    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (const ULONGLONG until = ::GetTickCount64() + 10000; ::IsWindow(box) && ::GetTickCount64() < until;) ::Sleep(50);
    EXPECT_FALSE(::IsWindow(box));
    lock.Release();
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, ASaveFailingWhileTheProgramEndsIsToldAndAnOpenEditorClosesWithIt) {
    InformerProcess informer({session_, true, {}, {}});
    HWND popup = ConnectedWithACall(informer);
    ASSERT_NE(nullptr, popup);

    TableWriteLock lock(informer.folder() + L"\\PQR\\AbonentPhones.db");
    ASSERT_TRUE(lock.held());
    ASSERT_TRUE(SaveName(informer, popup, L"74957654321", L"Ольга Смирнова"));
    HWND open = OpenEditor(informer, popup, L"74957654321");
    ASSERT_NE(nullptr, open);
    TypeName(open, L"Не сохранять");

    // "Выход" while the save still waits for the lock: the program waits for it
    // and tells its failure before it ends.
    informer.RequestExit();
    HWND box = informer.FindMessageBox(L"Данные абонента 74957654321 не сохранены", 20000);
    ASSERT_NE(nullptr, box) << "message boxes: " << informer.DialogTexts();
    EXPECT_FALSE(::IsWindow(open)) << "the open editor closed with the program";
    EXPECT_EQ(static_cast<DWORD>(-1), informer.WaitForExit(0)) << "the program ended before telling";
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, informer.WaitForExit(15000));
    lock.Release();

    TPQRDataModule subscribers(informer.folder() + L"\\PQR");
    subscribers.Open();
    EXPECT_EQ(L"", subscribers.AbonentByPhone(L"74957654321"));
}

// Another workstation holds the subscriber table locked: the popup still shows
// the caller's region at once, and the name follows once the lock is gone.
TEST_F(InformerEndToEnd, UnderAnotherWorkstationsLockThePopupShowsTheRegionAndTheNameFollows) {
    InformerProcess informer({session_, true, {}, {}});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено"));
    {
        TPQRDataModule subscribers(informer.folder() + L"\\PQR");
        subscribers.Open();
        subscribers.AddEditRow(L"74952223344", L"Петрова (бухгалтерия)", L"");
    }
    HeldLock lock(informer.folder() + L"\\PQR\\AbonentPhones.db", L"exclusive", 60000);
    ASSERT_TRUE(lock.held());
    ASSERT_EQ(0u, informer.Recsim({L"ani", L"K1", L"84952223344"}));
    ASSERT_TRUE(informer.WaitForPopups(1));
    HWND popup = informer.Popups().front();
    EXPECT_TRUE(InformerProcess::WaitForPopupText(popup, L"Москва", 3000)) << testing::PrintToString(InformerProcess::PopupText(popup));
    EXPECT_EQ(std::wstring::npos, InformerProcess::PopupText(popup).find(L"Петрова"));
    lock.Release();
    EXPECT_TRUE(InformerProcess::WaitForPopupText(popup, L"Петрова (бухгалтерия)"))
        << testing::PrintToString(InformerProcess::PopupText(popup));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, TheEndOfTheWindowsSessionTellsAnUnfinishedSaveAndJournalsTheCallAsInterrupted) {
    InformerProcess informer({session_, true, {}, {}});
    HWND popup = ConnectedWithACall(informer);
    ASSERT_NE(nullptr, popup);

    TableWriteLock lock(informer.folder() + L"\\PQR\\AbonentPhones.db");
    ASSERT_TRUE(lock.held());
    ASSERT_TRUE(SaveName(informer, popup, L"74957654321", L"Ольга Смирнова"));

    // As Windows does at logoff: first the question, then the end itself.
    const HWND window = informer.MainWindow();
    DWORD_PTR answer = 0;
    ASSERT_NE(0, ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer));
    EXPECT_EQ(TRUE, static_cast<BOOL>(answer)) << "the program does not hold up the session";
    ::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 100, nullptr);

    HWND box = informer.FindMessageBox(L"Данные абонента 74957654321 не сохранены", 10000);
    ASSERT_NE(nullptr, box) << "message boxes: " << informer.DialogTexts();
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, informer.WaitForExit(15000)) << "the program ends by itself";
    lock.Release();

    TCallJournalStore journal;
    journal.Open(informer.folder() + L"\\Journal\\CallJournal.db");
    const std::vector<TCallRecord> calls = journal.ReadAll();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(L"K1", calls[0].Channel);
    EXPECT_EQ(L"74957654321", calls[0].Caller.Number);
    EXPECT_EQ(TCallOutcome::Interrupted, calls[0].Outcome);
}

TEST_F(InformerEndToEnd, AnUnreadableAllowListFromTheIniFileIsToldAtStartUpNamingTheEntry) {
    InformerProcess informer(
        {session_, false, {}, {L"UseRemoteDB=1", L"DBAsClient=0", L"DBAllowedClients=10.0.0.7, 192.168.1.*"}});
    HWND box = informer.FindMessageBox(L"«192.168.1.*»", 20000);
    ASSERT_NE(nullptr, box) << "message boxes: " << informer.DialogTexts();
    const std::wstring text = InformerProcess::MessageBoxText(box);
    EXPECT_NE(std::wstring::npos, text.find(L"DBAllowedClients")) << testing::PrintToString(text);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
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
    EXPECT_TRUE(InformerProcess::WaitForPopupText(popup, L"78122345678")) << "a local number is completed with the configured city code";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, PopupsOnTheMonitorWithThePointerOrAChosenOneThatIsGoneStandOnTheOneMonitorWineHas) {
    // Wine shows one monitor: the pointer's monitor and a chosen monitor 2 that
    // is not there both come to the primary one, in its work area, without focus.
    for (const wchar_t* setting : {L"PopupMonitor=1", L"PopupMonitor=3"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(setting)));
        InformerProcess informer({session_, true, {}, {setting, L"TrayMsgAnimate=0"}});
        ASSERT_TRUE(informer.WaitForSimulator());
        ASSERT_TRUE(WaitForStatus(informer, L"Подключено"));
        const HWND before = ::GetForegroundWindow();
        EXPECT_EQ(0u, informer.Recsim({L"ring", L"K1"}));
        ASSERT_TRUE(informer.WaitForPopups(1));
        HWND popup = informer.Popups().front();
        RECT work{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        RECT placed{};
        ::GetWindowRect(popup, &placed);
        EXPECT_GE(placed.left, work.left);
        EXPECT_LE(placed.right, work.right);
        EXPECT_EQ(work.bottom, placed.bottom) << "the bottom right corner of the primary work area";
        EXPECT_GT(placed.left - work.left, (work.right - work.left) / 2);
        EXPECT_NE(popup, ::GetForegroundWindow()) << "a popup never takes the focus";
        EXPECT_EQ(before, ::GetForegroundWindow());
        EXPECT_EQ(0u, informer.Exit());
    }
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

TEST_F(InformerEndToEnd, DiagnosticsFromTheTrayMenuTellWhatWasDoneWithEachEventAndCopyIt) {
    constexpr UINT kDiagnosticsCommand = 1204;  // the tray menu's "Диагностика"
    constexpr int kCopyButton = 5213;
    constexpr int kStateLine = 5210;
    InformerProcess informer({session_, true, {}, {L"Channels=K1"}});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено")) << informer.StatusText();
    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K2"}));
    EXPECT_EQ(0u, informer.Recsim({L"event", L"4", L"K1"}));
    // The queue is handled in order: once the popup is there, every event before it was too.
    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K1"}));
    ASSERT_TRUE(informer.WaitForPopups(1));

    ::PostMessageW(informer.MainWindow(), WM_COMMAND, MAKEWPARAM(kDiagnosticsCommand, 0), 0);
    HWND window = informer.FindVisibleWindow(L"Диагностика");
    ASSERT_NE(nullptr, window);
    wchar_t state[256] = {};
    ::GetWindowTextW(::GetDlgItem(window, kStateLine), state, 256);
    EXPECT_STREQ(L"Соединение с сервером записи: установлено (этот компьютер)", state);

    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    ::CloseClipboard();
    ::PostMessageW(::GetDlgItem(window, kCopyButton), BM_CLICK, 0, 0);
    std::wstring text;
    const ULONGLONG deadline = ::GetTickCount64() + 5000;
    while (text.empty() && ::GetTickCount64() < deadline) {
        ::Sleep(100);
        if (!::OpenClipboard(nullptr)) continue;
        if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* units = static_cast<const wchar_t*>(::GlobalLock(data))) text = units;
            ::GlobalUnlock(data);
        }
        ::CloseClipboard();
    }
    // Newest first.
    const size_t unknown = text.find(L"\tкод 4\tK1\t\tНеизвестный код события: пропущено\r\n");
    const size_t shown = text.find(L"\tKDV_MSG_RING\tK1\t\tОкно показано\r\n");
    const size_t notMonitored = text.find(L"\tKDV_MSG_RING\tK2\t\tКанал не отслеживается\r\n");
    EXPECT_NE(std::wstring::npos, shown) << text;
    EXPECT_LT(shown, unknown) << text;
    EXPECT_NE(std::wstring::npos, unknown) << text;
    EXPECT_LT(unknown, notMonitored) << text;
    EXPECT_NE(std::wstring::npos, notMonitored) << text;
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, ExitFromInsideAStartUpErrorBoxEndsTheProgramCleanly) {
    WrongTypedRecorderValue badValue(L"DefaultCityCode");
    ASSERT_TRUE(badValue.ok());
    InformerProcess informer({session_, false, {}, {}});
    ASSERT_TRUE(informer.started());
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (informer.DialogTexts().find(L"DefaultCityCode") == std::wstring::npos && ::GetTickCount64() < deadline)
        ::Sleep(50);
    ASSERT_NE(std::wstring::npos, informer.DialogTexts().find(L"DefaultCityCode")) << "no start-up error box";
    // The tray menu works under the box: its exit item reaches the window from
    // inside the box's modal loop.
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, TrayRightClickOpensTheMenuOnceAtTheShellsAnchor) {
    InformerProcess informer({session_, false, {}, {}});
    ASSERT_NE(nullptr, informer.MainWindow());
    const POINT anchor{300, 600};
    // A right-click as the shell reports it to an icon of version 4.
    for (UINT event : {UINT{WM_RBUTTONDOWN}, UINT{WM_RBUTTONUP}, UINT{WM_CONTEXTMENU}}) informer.TrayEvent(event, anchor);
    ASSERT_TRUE(WaitForWindowOfClass(informer, L"#32768")) << "no menu";
    HWND menu = informer.VisibleWindowsOfClass(L"#32768").front();
    RECT placed{};
    ::GetWindowRect(menu, &placed);
    EXPECT_EQ(anchor.x, placed.left) << "the menu stands at the point the shell gave";
    EXPECT_EQ(anchor.y, placed.bottom);

    ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    const ULONGLONG closing = ::GetTickCount64() + 5000;
    while (!informer.VisibleWindowsOfClass(L"#32768").empty() && ::GetTickCount64() < closing) ::Sleep(50);
    ASSERT_TRUE(informer.VisibleWindowsOfClass(L"#32768").empty()) << "Escape closes the menu";
    EXPECT_FALSE(WaitForWindowOfClass(informer, L"#32768", 1500)) << "one right-click, one menu";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, TrayDoubleClickOpensTheSettingsASingleClickDoesNot) {
    InformerProcess informer({session_, false, {}, {}});
    HWND window = informer.MainWindow();
    ASSERT_NE(nullptr, window);
    for (UINT event : {UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONUP}, UINT{NIN_SELECT}}) informer.TrayEvent(event);
    ::Sleep(700);
    EXPECT_FALSE(::IsWindowVisible(window)) << "a single click opens nothing";

    for (UINT event : {UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONUP}, UINT{NIN_SELECT}, UINT{WM_LBUTTONDBLCLK},
                       UINT{WM_LBUTTONUP}})
        informer.TrayEvent(event);
    const ULONGLONG deadline = ::GetTickCount64() + 5000;
    while (!::IsWindowVisible(window) && ::GetTickCount64() < deadline) ::Sleep(50);
    EXPECT_TRUE(::IsWindowVisible(window)) << "a double-click opens the settings";
    EXPECT_FALSE(WaitForWindowOfClass(informer, L"#32768", 500)) << "and no menu";
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

// The server renames the one watched channel: its calls are still watched, the
// settings window lists it checked under the new name also after "Отмена" shows
// the applied settings again, and "OK" stores the new name.
TEST_F(InformerEndToEnd, AChannelTheServerRenamesStaysWatchedCheckedAndIsStoredUnderItsNewName) {
    constexpr UINT kOptionsCommand = 1200;
    constexpr int kChannelList = 1105;
    InformerProcess informer({session_, true, {}, {L"Channels=K2", L"TrayMsgAnimate=0"}});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено"));
    HWND window = informer.MainWindow();
    const auto send = [](HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(target, message, wParam, lParam, SMTO_BLOCK, 10000, &result);
        return result;
    };
    HWND list = ::GetDlgItem(window, kChannelList);
    // The row of the channel with this name, once listed; -1 when it is not.
    const auto rowOf = [&](const std::wstring& name) {
        for (const ULONGLONG until = ::GetTickCount64() + 10000; ::GetTickCount64() < until; ::Sleep(50)) {
            const int count = static_cast<int>(send(list, LVM_GETITEMCOUNT, 0, 0));
            for (int row = 0; row < count; ++row)
                if (InformerProcess::ListViewRow(list, row, 1) == std::vector<std::wstring>{name}) return row;
        }
        return -1;
    };
    const auto checked = [&](int row) { return (send(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12) == 2; };
    ASSERT_GE(rowOf(L"K2"), 0);

    ASSERT_EQ(0u, informer.Recsim({L"rename", L"K2", L"Приёмная"}));
    const int renamed = rowOf(L"Приёмная");
    ASSERT_GE(renamed, 0) << "the list shows the new name";
    EXPECT_TRUE(checked(renamed));

    EXPECT_EQ(0u, informer.Recsim({L"ring", L"K1"}));
    EXPECT_EQ(0u, informer.Recsim({L"ring", L"Приёмная"}));
    ASSERT_TRUE(informer.WaitForPopups(1)) << "the renamed channel is still watched";
    ::Sleep(300);
    EXPECT_EQ(1u, informer.Popups().size()) << "K1 is not watched";

    const std::wstring ini = informer.folder() + L"\\KordavinInformer.ini";
    wchar_t value[256] = {};
    ::GetPrivateProfileStringW(L"Main", L"Channels", L"", value, 256, ini.c_str());
    EXPECT_STREQ(L"K2", value) << "a rename alone is not stored";

    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kOptionsCommand, 0), 0);
    send(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_TRUE(checked(renamed)) << "the applied settings hold the new name";
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kOptionsCommand, 0), 0);
    send(::GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    ::GetPrivateProfileStringW(L"Main", L"Channels", L"", value, 256, ini.c_str());
    EXPECT_STREQ(L"Приёмная", value);
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, TheDirectoryFromTheTrayMenuOpensOnceOverTheSubscribersOfThisWorkstation) {
    constexpr UINT kOptionsCommand = 1200;    // the tray menu's "&Настройки"
    constexpr UINT kDirectoryCommand = 1202;  // and "&Справочник абонентов" right after it
    constexpr int kStatusLine = 5019;         // the directory window's count
    {
        const UniqueModule exe(::LoadLibraryExW((ProgramFolder() + L"\\KordavinInformer.exe").c_str(), nullptr,
                                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(exe);
        HMENU menu = ::LoadMenuW(exe.get(), MAKEINTRESOURCEW(1001));
        ASSERT_TRUE(menu);
        const HMENU tray = ::GetSubMenu(menu, 0);
        EXPECT_EQ(kOptionsCommand, ::GetMenuItemID(tray, 0));
        EXPECT_EQ(kDirectoryCommand, ::GetMenuItemID(tray, 1));
        wchar_t text[64] = {};
        ::GetMenuStringW(tray, 1, text, 64, MF_BYPOSITION);
        EXPECT_STREQ(L"&Справочник абонентов", text);
        ::DestroyMenu(menu);
    }

    TempFolder folder;
    {
        TPQRDataModule subscribers(folder.path() + L"\\PQR", folder.file(L"none"));
        subscribers.Open();
        subscribers.AddEditRow(L"74951234567", L"Иванов", L"");
        subscribers.AddEditRow(L"74959876543", L"Петров", L"");
    }
    InformerProcess informer({session_, false, folder.path(), {}});
    HWND window = informer.MainWindow();
    ASSERT_NE(nullptr, window);
    for (int i = 0; i < 2; ++i) {
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(kDirectoryCommand, 0), 0);
        const HWND browser = informer.FindVisibleWindow(L"Справочник абонентов");
        ASSERT_NE(nullptr, browser);
        // The window shows at once and reads its rows beside it.
        wchar_t status[64] = {};
        for (const ULONGLONG until = ::GetTickCount64() + 10000; ::GetTickCount64() < until; ::Sleep(20)) {
            ::GetWindowTextW(::GetDlgItem(browser, kStatusLine), status, 64);
            if (std::wstring(status) != L"Чтение справочника…") break;
        }
        EXPECT_STREQ(L"Абонентов: 2", status);
    }
    ::Sleep(300);
    EXPECT_EQ(1u, informer.VisibleWindowsOfClass(L"#32770").size()) << "one directory window, brought forward again";
    // The program ends with the window open.
}

namespace {

constexpr UINT kJournalMenuItem = 1203;
constexpr int kJournalSearch = 5102;
constexpr int kJournalList = 5103;
constexpr int kJournalCount = 5104;
constexpr int kJournalColumns = 7;
// The tray menu's "Не беспокоить" > "До отключения" and "Выключить".
constexpr UINT kQuietEndlessItem = 9662;
constexpr UINT kQuietOffItem = 9663;

std::wstring ControlText(HWND control) {
    wchar_t text[512] = {};
    ::SendMessageTimeoutW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

int ListRows(HWND list) {
    DWORD_PTR count = 0;
    ::SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_BLOCK, 5000, &count);
    return static_cast<int>(count);
}

bool WaitForRows(HWND list, int rows) {
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (::GetTickCount64() < deadline) {
        if (ListRows(list) == rows) return true;
        ::Sleep(50);
    }
    return false;
}

}  // namespace

TEST_F(InformerEndToEnd, CallsPlayedThroughTheSimulatorShowInTheJournalWindow) {
    TempFolder folder;
    {
        TPQRDataModule subscribers(folder.file(L"PQR"));
        subscribers.Open();
        subscribers.AddEditRow(L"74951234567", L"Иван Петров 📞", L"");
        subscribers.Close();
    }
    InformerProcess informer({session_, true, folder.path(), {}});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено")) << informer.StatusText();

    // Answered on K1, missed on K2, and a call on K3 cut off by the lost connection.
    for (const std::vector<std::wstring>& command : std::vector<std::vector<std::wstring>>{
             {L"ring", L"K1"}, {L"ani", L"K1", L"84951234567"}, {L"begin", L"K1"}, {L"end", L"K1"},
             {L"ring", L"K2"}, {L"ani", L"K2", L"88127654321"}, {L"missed", L"K2"},
             {L"ring", L"K3"}, {L"ani", L"K3", L"P"}})
        ASSERT_EQ(0u, informer.Recsim(command));
    ASSERT_TRUE(informer.WaitForPopups(1)) << "only K3 still rings";
    ASSERT_EQ(0u, informer.Recsim({L"destroy"}));
    ASSERT_TRUE(WaitForStatus(informer, L"Соединение прервано сервером.")) << informer.StatusText();

    ::PostMessageW(informer.MainWindow(), WM_COMMAND, MAKEWPARAM(kJournalMenuItem, 0), 0);
    const HWND journal = informer.FindVisibleWindow(L"Журнал вызовов");
    ASSERT_NE(nullptr, journal) << informer.DialogTexts();
    const HWND list = ::GetDlgItem(journal, kJournalList);
    ASSERT_TRUE(WaitForRows(list, 3));
    EXPECT_EQ(L"Вызовов в журнале: 3", ControlText(::GetDlgItem(journal, kJournalCount)));

    // Newest first: time, channel, number, name, region, outcome, duration.
    const auto k3 = InformerProcess::ListViewRow(list, 0, kJournalColumns);
    const auto k2 = InformerProcess::ListViewRow(list, 1, kJournalColumns);
    const auto k1 = InformerProcess::ListViewRow(list, 2, kJournalColumns);
    ASSERT_EQ(7u, k1.size());
    EXPECT_EQ(19u, k1[0].size()) << "dd.mm.yyyy hh:mm:ss";
    EXPECT_EQ((std::vector<std::wstring>{L"K1", L"74951234567", L"Иван Петров 📞", L"Москва", L"Отвечен"}),
              std::vector<std::wstring>(k1.begin() + 1, k1.begin() + 6));
    EXPECT_EQ(L"0:0", k1[6].substr(0, 3)) << "a conversation of a few seconds";
    EXPECT_EQ((std::vector<std::wstring>{L"K2", L"78127654321", L"", L"Санкт-Петербург", L"Пропущен", L""}),
              std::vector<std::wstring>(k2.begin() + 1, k2.end()));
    EXPECT_EQ((std::vector<std::wstring>{L"K3", L"", L"", L"", L"Прерван", L""}),
              std::vector<std::wstring>(k3.begin() + 1, k3.end()))
        << "a withheld number stays empty";

    // The search box filters as the user types.
    const HWND search = ::GetDlgItem(journal, kJournalSearch);
    ::SendMessageTimeoutW(search, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"812"), SMTO_BLOCK, 5000, nullptr);
    ASSERT_TRUE(WaitForRows(list, 1));
    EXPECT_EQ(L"K2", InformerProcess::ListViewRow(list, 0, 2)[1]);
    ::SendMessageTimeoutW(search, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"иван"), SMTO_BLOCK, 5000, nullptr);
    ASSERT_TRUE(WaitForRows(list, 1));
    EXPECT_EQ(L"K1", InformerProcess::ListViewRow(list, 0, 2)[1]);

    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, DoNotDisturbFromTheTrayStopsPopupsWhileTheCallsStillReachTheJournal) {
    TempFolder folder;
    InformerProcess informer({session_, true, folder.path(), {}});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено")) << informer.StatusText();
    const HWND main = informer.MainWindow();
    // The tray menu's "Не беспокоить" > "До отключения". A send that timed out
    // would still be handled later, after the calls below, on a busy machine.
    ASSERT_NE(0, ::SendMessageTimeoutW(main, WM_COMMAND, MAKEWPARAM(kQuietEndlessItem, 0), 0, SMTO_BLOCK, 60000,
                                       nullptr));
    for (const std::vector<std::wstring>& command : std::vector<std::vector<std::wstring>>{
             {L"ring", L"K1"}, {L"ani", L"K1", L"84951234567"}, {L"missed", L"K1"}, {L"ring", L"K2"}})
        ASSERT_EQ(0u, informer.Recsim(command));
    EXPECT_FALSE(informer.WaitForPopups(1, 1500)) << "no popup while quiet";
    for (HWND popup : informer.Popups()) ADD_FAILURE() << "shown while quiet: " << testing::PrintToString(InformerProcess::PopupText(popup));
    EXPECT_TRUE(informer.Popups().empty());

    // "Выключить": the call still ringing on K2 changes and gets its popup.
    ASSERT_NE(0, ::SendMessageTimeoutW(main, WM_COMMAND, MAKEWPARAM(kQuietOffItem, 0), 0, SMTO_BLOCK, 60000, nullptr));
    ASSERT_EQ(0u, informer.Recsim({L"ani", L"K2", L"88127654321"}));
    EXPECT_TRUE(informer.WaitForPopups(1)) << "popups again once quiet time is off";

    ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(kJournalMenuItem, 0), 0);
    const HWND journal = informer.FindVisibleWindow(L"Журнал вызовов");
    ASSERT_NE(nullptr, journal) << informer.DialogTexts();
    const HWND list = ::GetDlgItem(journal, kJournalList);
    ASSERT_TRUE(WaitForRows(list, 1));
    const auto k1 = InformerProcess::ListViewRow(list, 0, kJournalColumns);
    EXPECT_EQ((std::vector<std::wstring>{L"K1", L"74951234567"}), std::vector<std::wstring>(k1.begin() + 1, k1.begin() + 3));
    EXPECT_EQ(L"Пропущен", k1[5]) << "the quiet call is in the journal, missed";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, ADamagedJournalIsReportedOnceAndPopupsGoOn) {
    TempFolder folder;
    ::CreateDirectoryW(folder.file(L"Journal").c_str(), nullptr);
    {
        UniqueFileHandle file(::CreateFileW(folder.file(L"Journal\\CallJournal.db").c_str(), GENERIC_WRITE, 0,
                                            nullptr, CREATE_ALWAYS, 0, nullptr));
        const std::string junk(8192, 'x');
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), junk.data(), static_cast<DWORD>(junk.size()), &written, nullptr));
    }
    InformerProcess informer({session_, true, folder.path(), {}});
    ASSERT_TRUE(informer.WaitForSimulator());
    const HWND box = informer.FindMessageBox(L"Журнал вызовов отключён");
    ASSERT_NE(nullptr, box) << informer.DialogTexts();
    EXPECT_NE(std::wstring::npos, InformerProcess::MessageBoxText(box).find(L"повреждён"));

    // Calls go on while the report is still open, and after it.
    ASSERT_EQ(0u, informer.Recsim({L"ring", L"K1"}));
    EXPECT_TRUE(informer.WaitForPopups(1)) << "a popup opens under the report";
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(0u, informer.Recsim({L"missed", L"K1"}));
    EXPECT_TRUE(informer.WaitForPopups(0));
    ASSERT_EQ(0u, informer.Recsim({L"ring", L"K2"}));
    EXPECT_TRUE(informer.WaitForPopups(1));
    ASSERT_EQ(0u, informer.Recsim({L"end", L"K2"}));
    EXPECT_TRUE(informer.WaitForPopups(0));
    EXPECT_EQ(nullptr, informer.FindMessageBox(L"Журнал", 1000)) << "the report comes once";
    EXPECT_EQ(std::string(8192, 'x'), ReadBytes(folder.file(L"Journal\\CallJournal.db"))) << "the file is left as it was";
    EXPECT_EQ(0u, informer.Exit());
}

namespace {

constexpr int kOpenCrmButton = 2103;
constexpr int kCallbackButton = 9605;

std::vector<std::string> FileLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string text = ReadBytes(path);
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

bool WaitForLines(const std::wstring& path, size_t count, DWORD timeoutMs = 10000) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (FileLines(path).size() < count) {
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(50);
    }
    return true;
}

}  // namespace

TEST_F(InformerEndToEnd, TheCrmButtonAndTheAnswerOpenTheCardOnceWithTheCallersDataEncoded) {
    TempFolder folder;
    {
        TPQRDataModule subscribers(folder.file(L"PQR"));
        subscribers.Open();
        subscribers.AddEditRow(L"78122345678", L"Иван & Co \"Ёж\" \U0001F600", L"");
        subscribers.Close();
    }
    const std::wstring urls = folder.file(L"urls.txt");
    InformerProcess informer(
        {session_, true, folder.path(),
         {L"CrmUrlTemplate=https://crm.example/card?phone={number}&name={name}&line={channel}", L"CrmOpenMode=2"},
         urls});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено")) << informer.StatusText();

    EXPECT_EQ(0u, informer.Recsim({L"ring", L"Приёмная"}));
    ASSERT_TRUE(informer.WaitForPopups(1));
    HWND popup = informer.Popups().front();
    HWND crmButton = ::GetDlgItem(popup, kOpenCrmButton);
    EXPECT_FALSE(::IsWindowVisible(crmButton)) << "no number yet";
    EXPECT_EQ(0u, informer.Recsim({L"ani", L"Приёмная", L"+78122345678"}));
    ASSERT_TRUE(InformerProcess::WaitForPopupText(popup, L"Иван & Co"));
    ASSERT_TRUE(::IsWindowVisible(crmButton));

    const std::string expected =
        "https://crm.example/card?phone=78122345678"
        "&name=%D0%98%D0%B2%D0%B0%D0%BD%20%26%20Co%20%22%D0%81%D0%B6%22%20%F0%9F%98%80"
        "&line=%D0%9F%D1%80%D0%B8%D1%91%D0%BC%D0%BD%D0%B0%D1%8F";
    ::PostMessageW(crmButton, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForLines(urls, 1)) << informer.DialogTexts();
    // Answering opens it once more, and only once however often the server repeats it.
    EXPECT_EQ(0u, informer.Recsim({L"begin", L"Приёмная"}));
    EXPECT_EQ(0u, informer.Recsim({L"begin", L"Приёмная"}));
    ASSERT_TRUE(WaitForLines(urls, 2));
    EXPECT_EQ(0u, informer.Recsim({L"end", L"Приёмная"}));
    ASSERT_TRUE(informer.WaitForPopups(0));
    EXPECT_EQ((std::vector<std::string>{expected, expected}), FileLines(urls));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, CallbackOnAPopupOpensTelWithTheNumberAsThisOfficeDialsIt) {
    TempFolder folder;
    const std::wstring urls = folder.file(L"urls.txt");
    // The default template (tel:{number}), an outside line behind 9.
    InformerProcess informer({session_, true, folder.path(), {L"CallbackPrefix=9"}, urls});
    ASSERT_TRUE(informer.WaitForSimulator());
    ASSERT_TRUE(WaitForStatus(informer, L"Подключено")) << informer.StatusText();

    EXPECT_EQ(0u, informer.Recsim({L"ring", L"Приёмная"}));
    ASSERT_TRUE(informer.WaitForPopups(1));
    HWND popup = informer.Popups().front();
    HWND callback = ::GetDlgItem(popup, kCallbackButton);
    EXPECT_FALSE(::IsWindowVisible(callback)) << "no number yet";
    EXPECT_EQ(0u, informer.Recsim({L"ani", L"Приёмная", L"+78122345678"}));
    ASSERT_TRUE(InformerProcess::WaitForPopupText(popup, L"78122345678"));
    ASSERT_TRUE(::IsWindowVisible(callback));
    ::PostMessageW(callback, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForLines(urls, 1)) << informer.DialogTexts();
    EXPECT_EQ(std::vector<std::string>{"tel:988122345678"}, FileLines(urls));
    EXPECT_EQ(0u, informer.Recsim({L"end", L"Приёмная"}));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(InformerEndToEnd, StartingTheSameCopyAgainShowsItsSettingsAndTheNewProcessEndsAtOnce) {
    InformerProcess first({session_, false, {}, {}});
    HWND window = first.MainWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(::IsWindowVisible(window)) << "the program starts in the tray";

    InformerProcess again({session_, false, first.folder(), {}});
    ASSERT_TRUE(again.started());
    EXPECT_EQ(0u, again.WaitForExit(30000));
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (!::IsWindowVisible(window) && ::GetTickCount64() < deadline) ::Sleep(50);
    EXPECT_TRUE(::IsWindowVisible(window)) << "the running copy shows its settings window";
    EXPECT_EQ(window, first.MainWindow(0)) << "the same window, no second one";
    EXPECT_EQ(0u, first.Exit());
}

TEST_F(InformerEndToEnd, CopiesInDifferentFoldersRunSideBySide) {
    InformerProcess server({session_, false, {}, {}});
    InformerProcess client({session_, false, {}, {}});
    EXPECT_NE(nullptr, server.MainWindow());
    EXPECT_NE(nullptr, client.MainWindow());
    EXPECT_FALSE(::IsWindowVisible(server.MainWindow()));
    EXPECT_EQ(0u, client.Exit());
    EXPECT_EQ(0u, server.Exit());
}

TEST_F(InformerEndToEnd, TwoCopiesStartedAtTheSameMomentLeaveExactlyOne) {
    TempFolder folder;
    InformerProcess one({session_, false, folder.path(), {}});
    InformerProcess other({session_, false, folder.path(), {}});
    ASSERT_TRUE(one.started());
    ASSERT_TRUE(other.started());
    // Whichever came second hands over to the first and ends.
    const ULONGLONG deadline = ::GetTickCount64() + 60000;
    DWORD oneExit = static_cast<DWORD>(-1), otherExit = static_cast<DWORD>(-1);
    while (::GetTickCount64() < deadline) {
        oneExit = one.WaitForExit(0);
        otherExit = other.WaitForExit(0);
        if (oneExit != static_cast<DWORD>(-1) || otherExit != static_cast<DWORD>(-1)) break;
        ::Sleep(50);
    }
    ASSERT_TRUE((oneExit == 0) != (otherExit == 0)) << "exit codes " << oneExit << ", " << otherExit;
    InformerProcess& survivor = oneExit == 0 ? other : one;
    InformerProcess& ended = oneExit == 0 ? one : other;
    ::Sleep(1000);
    EXPECT_EQ(static_cast<DWORD>(-1), survivor.WaitForExit(0)) << "the first copy keeps running";
    HWND window = survivor.MainWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(nullptr, ended.MainWindow(0));
    EXPECT_EQ(0u, survivor.Exit());
}
