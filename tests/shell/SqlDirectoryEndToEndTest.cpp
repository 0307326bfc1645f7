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

    // A call on the channel; the popup once it shows the number.
    static HWND Call(InformerProcess& informer, const std::wstring& channel, const std::wstring& number,
                     const std::wstring& canonical) {
        EXPECT_EQ(0u, informer.Recsim({L"ani", channel, number}));
        if (!informer.WaitForPopups(1)) return nullptr;
        HWND popup = informer.Popups().front();
        EXPECT_TRUE(InformerProcess::WaitForPopupText(popup, canonical));
        return popup;
    }
    static void EndCall(InformerProcess& informer, const std::wstring& channel) {
        EXPECT_EQ(0u, informer.Recsim({L"end", channel}));
        EXPECT_TRUE(informer.WaitForPopups(0));
    }

    // Calls again and again until a popup names the caller (a popup's name is
    // looked up when it opens); false when none did within the time.
    static bool APopupNames(InformerProcess& informer, const std::wstring& number, const std::wstring& canonical,
                            const std::wstring& name, DWORD timeoutMs) {
        return WaitFor(
            [&] {
                HWND popup = Call(informer, L"K2", number, canonical);
                const bool named = popup && InformerProcess::PopupText(popup).find(name) != std::wstring::npos;
                EndCall(informer, L"K2");
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
    HWND popup = Call(*first, L"K1", L"84957654321", L"74957654321");
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(first->SaveNameFromPopup(popup, L"Ольга Смирнова")) << first->DialogTexts();
    EndCall(*first, L"K1");
    EXPECT_TRUE(APopupNames(*second, L"84957654321", L"74957654321", L"Ольга Смирнова", 15000))
        << "second copy's boxes: " << second->DialogTexts();

    // The server stopped: popups keep their names from the replica, and a save waits in the outbox.
    std::string why;
    ASSERT_TRUE(server.Stop(why)) << why;
    EXPECT_TRUE(APopupNames(*second, L"84957654321", L"74957654321", L"Ольга Смирнова", 5000));
    popup = Call(*first, L"K1", L"84951112233", L"74951112233");
    ASSERT_NE(nullptr, popup);
    ASSERT_TRUE(first->SaveNameFromPopup(popup, L"Пётр Иванов")) << first->DialogTexts();
    EndCall(*first, L"K1");
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
