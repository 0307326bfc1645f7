// Two copies of the real program, each from its own folder with its own
// replica, sharing the subscriber directory through a throw-away PostgreSQL.
#include "DpapiText.h"
#include "InformerProcess.h"
#include "SimulatorFixture.h"
#include "SqlTestServer.h"
#include "TestFolders.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class SqlDirectoryEndToEnd : public SimulatorTest {
protected:
    std::unique_ptr<InformerProcess> Start(const TempFolder& folder, const TSqlDirectorySettings& sql) {
        auto informer = std::make_unique<InformerProcess>(InformerProcess::Options{
            session_, true, folder.path(),
            {L"SqlConnection=" + sql.Connection, L"SqlPassword=" + ProtectForUser(sql.Password),
             L"SqlTable=" + sql.Table, L"SqlSyncSeconds=1"}});
        EXPECT_TRUE(informer->WaitForSimulator());
        EXPECT_TRUE(WaitFor([&] { return informer->StatusText() == L"Подключено"; }, 15000))
            << informer->StatusText();
        return informer;
    }

    static bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
        for (const ULONGLONG deadline = ::GetTickCount64() + timeoutMs; ::GetTickCount64() < deadline; ::Sleep(100))
            if (done()) return true;
        return done();
    }

    // Calls again and again until a popup names the caller (a popup's name is
    // looked up when it opens); false when none did within the time.
    static bool APopupNames(InformerProcess& informer, const std::wstring& number, const std::wstring& canonical,
                            const std::wstring& name, DWORD timeoutMs) {
        return WaitFor(
            [&] {
                HWND popup = informer.Call(L"K2", number, canonical);
                const bool named = popup && InformerProcess::PopupText(popup).find(name) != std::wstring::npos;
                informer.EndCall(L"K2");
                return named;
            },
            timeoutMs);
    }

    TempFolder firstFolder_, secondFolder_;
};

TEST_F(SqlDirectoryEndToEnd, ANameSavedInOneCopyShowsInTheOtherAndSavesWaitOutAServerThatIsDown) {
    TSqlTestServer server(TSqlServerKind::PostgreSql);
    KORDAVIN_START_SQL_SERVER(server);
    auto first = Start(firstFolder_, server.Settings());
    auto second = Start(secondFolder_, server.Settings());

    // A name saved from the first copy's popup editor shows in the second copy's popup within a sync.
    HWND popup = first->Call(L"K1", L"84957654321", L"74957654321");
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(first->SaveNameFromPopup(popup, L"Ольга Смирнова")) << first->DialogTexts();
    first->EndCall(L"K1");
    EXPECT_TRUE(APopupNames(*second, L"84957654321", L"74957654321", L"Ольга Смирнова", 15000))
        << "second copy's boxes: " << second->DialogTexts();

    // The server stopped: popups keep their names from the replica, and a save waits in the outbox.
    std::string why;
    ASSERT_TRUE(server.Stop(why)) << why;
    EXPECT_TRUE(APopupNames(*second, L"84957654321", L"74957654321", L"Ольга Смирнова", 5000));
    popup = first->Call(L"K1", L"84951112233", L"74951112233");
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(first->SaveNameFromPopup(popup, L"Пётр Иванов")) << first->DialogTexts();
    first->EndCall(L"K1");
    EXPECT_EQ(L"", first->DialogTexts()) << "a save while the server is down is no failure";
    EXPECT_FALSE(APopupNames(*second, L"84951112233", L"74951112233", L"Пётр Иванов", 3000))
        << "nothing travels while the server is down";

    // Back: the waiting save arrives at the other copy.
    ASSERT_TRUE(server.Restart(why)) << why;
    EXPECT_TRUE(APopupNames(*second, L"84951112233", L"74951112233", L"Пётр Иванов", 90000))
        << "second copy's boxes: " << second->DialogTexts();

    EXPECT_EQ(0u, second->Exit());
    EXPECT_EQ(0u, first->Exit());
}

}  // namespace
