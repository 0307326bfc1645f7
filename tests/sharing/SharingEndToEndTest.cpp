// Two copies of the real program under Wine, each from its own folder with its
// own INI file: one serves its directories, the other is its client.
#include "InformerProcess.h"
#include "SharingTestSupport.h"
#include "SimulatorFixture.h"
#include "TestFolders.h"
#include "pqrUnit.h"

#include <gtest/gtest.h>

namespace {

class SharingEndToEnd : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        port_ = std::to_wstring(FreePort());
        // The server's directory already knows one caller.
        TPQRDataModule subscribers(serverFolder_.file(L"PQR"));
        subscribers.Open();
        subscribers.AddEditRow(L"78122345678", L"Иван Петров", L"Поставщик бумаги");
        subscribers.Close();
    }

    std::unique_ptr<InformerProcess> StartServer(const std::wstring& allowedClients = L"") {
        auto server = std::make_unique<InformerProcess>(InformerProcess::Options{
            session_, true, serverFolder_.path(),
            {L"UseRemoteDB=1", L"DBAsClient=0", L"DBPort=" + port_, L"DBAllowedClients=" + allowedClients}});
        EXPECT_TRUE(server->WaitForSimulator());
        EXPECT_TRUE(WaitForStatus(*server, L"Подключено")) << server->StatusText();
        return server;
    }

    std::unique_ptr<InformerProcess> StartClient() {
        auto client = std::make_unique<InformerProcess>(InformerProcess::Options{
            session_, true, clientFolder_.path(),
            {L"UseRemoteDB=1", L"DBAsClient=1", L"DBServerAddress=127.0.0.1", L"DBPort=" + port_}});
        EXPECT_TRUE(client->WaitForSimulator());
        EXPECT_TRUE(WaitForStatus(*client, L"Подключено")) << client->StatusText();
        return client;
    }

    static bool WaitForStatus(const InformerProcess& informer, const std::wstring& expected) {
        for (const ULONGLONG deadline = ::GetTickCount64() + 10000; ::GetTickCount64() < deadline; ::Sleep(50))
            if (informer.StatusText() == expected) return true;
        return false;
    }



    // The name stored in the server's AbonentPhones.db, read beside the running server.
    std::wstring StoredOnServer(const std::wstring& phone) {
        try {
            TPQRDataModule subscribers(serverFolder_.file(L"PQR"));
            subscribers.Open();
            return subscribers.AbonentByPhone(phone);
        } catch (...) {
            return L"(unreadable)";
        }
    }

    std::wstring WaitForStoredOnServer(const std::wstring& phone, DWORD timeoutMs) {
        std::wstring stored;
        for (const ULONGLONG deadline = ::GetTickCount64() + timeoutMs; ::GetTickCount64() < deadline; ::Sleep(100)) {
            stored = StoredOnServer(phone);
            if (!stored.empty() && stored != L"(unreadable)") break;
        }
        return stored;
    }

    TempFolder serverFolder_, clientFolder_;
    std::wstring port_;
};

TEST_F(SharingEndToEnd, AClientShowsTheServersNamesAndSavesIntoTheServersDirectory) {
    auto server = StartServer();
    auto client = StartClient();

    HWND popup = client->Call(L"K1", L"+78122345678", L"78122345678");
    ASSERT_NE(nullptr, popup);
    EXPECT_TRUE(InformerProcess::WaitForPopupText(popup, L"Иван Петров")) << InformerProcess::PopupText(popup);
    const std::wstring text = InformerProcess::PopupText(popup);
    EXPECT_NE(std::wstring::npos, text.find(L"Поставщик бумаги")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L"Санкт-Петербург")) << text;
    client->EndCall(L"K1");

    popup = client->Call(L"K2", L"84957654321", L"74957654321");
    ASSERT_NE(nullptr, popup);
    EXPECT_TRUE(client->SaveNameFromPopup(popup, L"Ольга Смирнова")) << client->DialogTexts();
    EXPECT_EQ(L"Ольга Смирнова", WaitForStoredOnServer(L"74957654321", 15000))
        << "client's message boxes: " << client->DialogTexts();
    client->EndCall(L"K2");

    // The server's own next popup for that number shows the name.
    popup = server->Call(L"K3", L"84957654321", L"74957654321");
    ASSERT_NE(nullptr, popup);
    EXPECT_TRUE(InformerProcess::WaitForPopupText(popup, L"Ольга Смирнова")) << InformerProcess::PopupText(popup);

    EXPECT_EQ(0u, client->Exit());
    EXPECT_EQ(0u, server->Exit());
}

TEST_F(SharingEndToEnd, AClientOutsideTheAllowListGetsNoNamesAndStoresNothing) {
    auto server = StartServer(L"10.0.0.7");
    auto client = StartClient();

    HWND popup = client->Call(L"K1", L"+78122345678", L"78122345678");
    ASSERT_NE(nullptr, popup);
    ::Sleep(1000);
    EXPECT_EQ(std::wstring::npos, InformerProcess::PopupText(popup).find(L"Иван Петров"))
        << "the lookup is refused";
    client->EndCall(L"K1");

    popup = client->Call(L"K2", L"84957654321", L"74957654321");
    ASSERT_NE(nullptr, popup);
    EXPECT_TRUE(client->SaveNameFromPopup(popup, L"Ольга Смирнова")) << client->DialogTexts();
    // The operator is told, with the number, so that the name can be saved again.
    HWND box = client->FindMessageBox(L"74957654321", 15000);
    ASSERT_NE(nullptr, box) << "client's message boxes: " << client->DialogTexts();
    EXPECT_NE(std::wstring::npos, InformerProcess::MessageBoxText(box).find(L"не сохранены"))
        << InformerProcess::MessageBoxText(box);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(L"", StoredOnServer(L"74957654321")) << "the save is not stored";
    EXPECT_EQ(0u, client->Exit());
    EXPECT_EQ(0u, server->Exit());
}

TEST_F(SharingEndToEnd, APortThatCannotBeListenedOnIsReportedAtStartUp) {
    WinsockSession winsock;
    ScriptedServer taken([](SOCKET) {});
    const struct {
        std::wstring port;
        const char* what;
    } cases[] = {{std::to_wstring(taken.port()), "a port another program listens on"}, {L"70000", "a port above 65535"}};
    for (const auto& c : cases) {
        InformerProcess informer({session_, false, {}, {L"UseRemoteDB=1", L"DBAsClient=0", L"DBPort=" + c.port}});
        ASSERT_TRUE(informer.started());
        HWND box = informer.FindVisibleWindow(L"Информатор Kordavin");
        ASSERT_NE(nullptr, box) << c.what;
        // The box carries the program's caption, so it is read here rather than
        // through DialogTexts, which takes it for the main window.
        std::wstring texts;
        for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t text[256] = {};
            ::SendMessageTimeoutW(child, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
            texts += std::wstring(L"[") + text + L"]";
        }
        EXPECT_NE(std::wstring::npos, texts.find(L"Невозможно запустить сервер БД.")) << c.what;
        EXPECT_NE(std::wstring::npos, texts.find(L"Попробуйте изменить номер порта.")) << c.what;
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (const ULONGLONG deadline = ::GetTickCount64() + 5000; ::IsWindow(box) && ::GetTickCount64() < deadline;)
            ::Sleep(50);
        EXPECT_EQ(0u, informer.Exit()) << c.what;
    }
}

}  // namespace
