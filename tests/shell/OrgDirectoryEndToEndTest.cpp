// The organisation's directory in the real program: its dialog opened from the
// settings window stores what OK takes, and a caller only the directory knows
// is named in the popup, also after the directory's server has stopped, when
// only the diagnostics tell that the read failed.
#include "DpapiText.h"
#include "InformerProcess.h"
#include "SimulatorFixture.h"
#include "SlapdServer.h"
#include "TestFolders.h"

#include <gtest/gtest.h>

namespace {

constexpr int kOrgDirectoryButton = 1196;
constexpr UINT kDiagnosticsCommand = 1204;  // the tray menu's "Диагностика"
constexpr int kDiagnosticsOrgDirLine = 5216;
constexpr int kServersEdit = 5811;
constexpr int kBaseEdit = 5813;
constexpr int kCommentsEdit = 5821;
constexpr int kBindDnEdit = 5824;
constexpr int kPasswordEdit = 5826;

std::wstring WindowTextOf(HWND window) {
    wchar_t text[1024] = {};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
    return text;
}

std::wstring IniValue(const std::wstring& path, const wchar_t* key) {
    wchar_t text[1024] = {};
    ::GetPrivateProfileStringW(L"Main", key, L"(none)", text, 1024, path.c_str());
    return text;
}

class OrgDirectoryEndToEnd : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        if (!TSlapdServer::Available()) GTEST_SKIP() << "slapd runs on the Linux side of Wine only";
        std::string why;
        ASSERT_TRUE(server.Start(LdifPerson(L"ivanov", {{L"cn", L"Иван Иванов"},
                                                        {L"telephoneNumber", L"+7 (495) 111-22-33"},
                                                        {L"title", L"Инженер"},
                                                        {L"o", L"ООО Кордавин"}}) +
                                     LdifPerson(L"reader", {{L"userPassword", L"reader-secret"}}),
                                 0, why))
            << why;
    }
    std::vector<std::wstring> DirectoryLines() const {
        return {L"LdapServers=" + server.Url(), std::wstring(L"LdapBase=") + TSlapdServer::kSuffix,
                L"LdapCommentAttributes=title,o"};
    }
    static bool WaitForConnection(const InformerProcess& informer) {
        if (!informer.WaitForSimulator()) return false;
        const ULONGLONG until = ::GetTickCount64() + 10000;
        while (informer.StatusText() != L"Подключено")
            if (::GetTickCount64() >= until) return false;
            else ::Sleep(50);
        return true;
    }
    // The popup's text for a call from the number on K1; the call is left ringing.
    static std::wstring CallText(const InformerProcess& informer, const std::wstring& number) {
        if (informer.Recsim({L"ani", L"K1", number}) != 0 || !informer.WaitForPopups(1)) return L"(no popup)";
        return InformerProcess::PopupText(informer.Popups().front());
    }

    TSlapdServer server;
    TempFolder folder;
};

TEST_F(OrgDirectoryEndToEnd, ACallerOnlyTheDirectoryKnowsIsNamedAlsoWithItsServerStopped) {
    {
        InformerProcess informer({session_, true, folder.path(), DirectoryLines()});
        ASSERT_TRUE(WaitForConnection(informer)) << informer.StatusText();
        // The first sync runs at start: calls before it has ended show no name yet.
        std::wstring text;
        for (const ULONGLONG until = ::GetTickCount64() + 30000; ::GetTickCount64() < until;) {
            text = CallText(informer, L"84951112233");
            if (text.find(L"Иван Иванов") != std::wstring::npos) break;
            informer.Recsim({L"end", L"K1"});
            informer.WaitForPopups(0);
            ::Sleep(300);
        }
        EXPECT_NE(text.find(L"Иван Иванов"), std::wstring::npos) << testing::PrintToString(text);
        EXPECT_NE(text.find(L"Инженер, ООО Кордавин"), std::wstring::npos) << testing::PrintToString(text);
        EXPECT_EQ(0u, informer.Exit());
    }
    std::string why;
    ASSERT_TRUE(server.Stop(why)) << why;
    // Another name attribute asks for a new read at once, which fails now.
    std::vector<std::wstring> lines = DirectoryLines();
    lines.push_back(L"LdapNameAttribute=cn");
    InformerProcess informer({session_, true, folder.path(), lines});
    ASSERT_TRUE(WaitForConnection(informer)) << informer.StatusText();
    ::PostMessageW(informer.MainWindow(), WM_COMMAND, MAKEWPARAM(kDiagnosticsCommand, 0), 0);
    HWND diagnostics = informer.FindVisibleWindow(L"Диагностика");
    ASSERT_NE(nullptr, diagnostics);
    std::wstring line;
    for (const ULONGLONG until = ::GetTickCount64() + 30000; ::GetTickCount64() < until; ::Sleep(100)) {
        line = WindowTextOf(::GetDlgItem(diagnostics, kDiagnosticsOrgDirLine));
        if (line.find(L"ни один сервер не ответил") != std::wstring::npos) break;
    }
    EXPECT_NE(line.find(L"ни один сервер не ответил"), std::wstring::npos) << testing::PrintToString(line);
    EXPECT_NE(line.find(L"в работе имена от"), std::wstring::npos) << testing::PrintToString(line);
    ::PostMessageW(diagnostics, WM_COMMAND, IDCANCEL, 0);
    for (const ULONGLONG until = ::GetTickCount64() + 5000; ::IsWindow(diagnostics) && ::GetTickCount64() < until;)
        ::Sleep(50);
    EXPECT_EQ(nullptr, informer.FindMessageBox(L"", 1000)) << "a failed sync shows nothing: " << informer.DialogTexts();

    const std::wstring text = CallText(informer, L"84951112233");
    EXPECT_NE(text.find(L"Иван Иванов"), std::wstring::npos) << "from the cache: " << testing::PrintToString(text);
    EXPECT_NE(text.find(L"Инженер, ООО Кордавин"), std::wstring::npos) << testing::PrintToString(text);
    EXPECT_EQ(0u, informer.Exit());
}

// A mistyped password is corrected in the dialog: its OK reads the directory at
// once, instead of at the next retry five minutes after the failed sync.
TEST_F(OrgDirectoryEndToEnd, OkWithACorrectedPasswordReadsTheDirectoryAtOnce) {
    std::vector<std::wstring> lines = DirectoryLines();
    lines.push_back(L"LdapBindDN=" + PersonDn(L"reader"));
    lines.push_back(L"LdapPassword=" + ProtectForUser(L"mistyped"));
    // The throw-away server has no certificate for StartTLS.
    lines.push_back(L"LdapAllowPlainBind=1");
    InformerProcess informer({session_, false, folder.path(), lines});
    HWND main = informer.MainWindow();
    ASSERT_NE(nullptr, main);
    ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(kDiagnosticsCommand, 0), 0);
    HWND diagnostics = informer.FindVisibleWindow(L"Диагностика");
    ASSERT_NE(nullptr, diagnostics);
    const auto waitForLine = [&](const wchar_t* part) {
        std::wstring line;
        for (const ULONGLONG until = ::GetTickCount64() + 20000; ::GetTickCount64() < until; ::Sleep(100)) {
            line = WindowTextOf(::GetDlgItem(diagnostics, kDiagnosticsOrgDirLine));
            if (line.find(part) != std::wstring::npos) break;
        }
        return line;
    };
    std::wstring line = waitForLine(L"не принял имя пользователя и пароль");
    ASSERT_NE(line.find(L"не принял имя пользователя и пароль"), std::wstring::npos) << testing::PrintToString(line);

    ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(kOrgDirectoryButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(main, kOrgDirectoryButton)));
    HWND dialog = informer.FindVisibleWindow(L"Справочник организации (LDAP)");
    ASSERT_NE(nullptr, dialog);
    ::SetDlgItemTextW(dialog, kPasswordEdit, L"reader-secret");
    ::SendMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    line = waitForLine(L"записей 1, номеров 1");
    EXPECT_NE(line.find(L"записей 1, номеров 1"), std::wstring::npos) << testing::PrintToString(line);
    EXPECT_EQ(line.find(L"ошибка"), std::wstring::npos) << testing::PrintToString(line);
    ::PostMessageW(diagnostics, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(OrgDirectoryEndToEnd, TheSettingsWindowsButtonOpensTheDialogAndItsOkStoresTheSettings) {
    InformerProcess informer({session_, false, folder.path(), {}});
    HWND main = informer.MainWindow();
    ASSERT_NE(nullptr, main);
    ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(kOrgDirectoryButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(main, kOrgDirectoryButton)));
    HWND dialog = informer.FindVisibleWindow(L"Справочник организации (LDAP)");
    ASSERT_NE(nullptr, dialog);
    ::SetDlgItemTextW(dialog, kServersEdit, server.Url().c_str());
    ::SetDlgItemTextW(dialog, kBaseEdit, TSlapdServer::kSuffix);
    ::SetDlgItemTextW(dialog, kCommentsEdit, L"title,o");
    ::SetDlgItemTextW(dialog, kBindDnEdit, PersonDn(L"ivanov").c_str());
    ::SetDlgItemTextW(dialog, kPasswordEdit, L"s3cret");
    ::SendMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindow(dialog));

    const std::wstring ini = folder.file(L"KordavinInformer.ini");
    EXPECT_EQ(server.Url(), IniValue(ini, L"LdapServers"));
    EXPECT_EQ(TSlapdServer::kSuffix, IniValue(ini, L"LdapBase"));
    EXPECT_EQ(L"title,o", IniValue(ini, L"LdapCommentAttributes"));
    EXPECT_EQ(L"60", IniValue(ini, L"LdapSyncMinutes"));
    const std::wstring stored = IniValue(ini, L"LdapPassword");
    EXPECT_EQ(stored.find(L"s3cret"), std::wstring::npos) << "never in plain text";
    std::wstring password;
    EXPECT_TRUE(UnprotectForUser(stored, password)) << "readable by this Windows user";
    EXPECT_EQ(L"s3cret", password);
    EXPECT_EQ(0u, informer.Exit());
}

}  // namespace
