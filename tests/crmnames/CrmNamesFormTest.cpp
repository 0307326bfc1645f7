#include "CrmNamesForm.h"
#include "CrmNamesRes.h"
#include "CrmNamesTexts.h"
#include "LoopbackHttpServer.h"
#include "MessagePump.h"
#include "WindowText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <set>
#include <thread>

namespace {

TEST(CrmNamesTexts, EveryReasonHasItsOwnWords) {
    std::set<std::wstring> seen;
    for (int error = static_cast<int>(TCrmNamesError::NotConfigured);
         error <= static_cast<int>(TCrmNamesError::Internal); ++error) {
        const std::wstring text = CrmNamesErrorText(static_cast<TCrmNamesError>(error), L"X");
        EXPECT_FALSE(text.empty()) << error;
        EXPECT_TRUE(seen.insert(text).second) << error;
        EXPECT_EQ(text.find(L'%'), std::wstring::npos) << error;
    }
    EXPECT_EQ(CrmNamesErrorText(TCrmNamesError::HttpStatus, L"503"), L"CRM ответила кодом HTTP 503");
    EXPECT_EQ(CrmNamesErrorText(TCrmNamesError::None, L""), L"");
    for (int check = static_cast<int>(TCrmNamesCheck::Off);
         check <= static_cast<int>(TCrmNamesCheck::HeaderRefused); ++check)
        EXPECT_FALSE(CrmNamesVerdictText({static_cast<TCrmNamesCheck>(check), {}}).empty()) << check;
    EXPECT_EQ(CrmNamesVerdictText({TCrmNamesCheck::TemplateRefused, L"{name}"}),
              L"Подстановка {name} здесь не поддерживается: можно {number} и {channel}.");
}

THttpScript Answer(const TReceivedRequest& request) {
    THttpScript s;
    if (request.Target.find("phone=500") != std::string::npos) s.Status = 500;
    else if (request.Target.find("phone=404") != std::string::npos) s.Status = 404;
    else s.Body = R"({"client":{"title":"ИП Петров","note":"опт"}})";
    return s;
}

// Watches for a message box over the dialog, from another thread (the test's
// own thread is inside the box's modal loop), reads it and closes it.
class MessageBoxCloser {
public:
    explicit MessageBoxCloser(HWND dialog) : dialog_(dialog), uiThread_(::GetCurrentThreadId()) {
        thread_ = std::thread([this] { Watch(); });
    }
    ~MessageBoxCloser() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // What the box said, once the watch has ended.
    std::wstring Text() {
        if (thread_.joinable()) thread_.join();
        return text_;
    }

private:
    void Watch() {
        for (int i = 0; i < 500 && !stop_ && text_.empty(); ++i) {
            ::EnumThreadWindows(uiThread_, &Found, reinterpret_cast<LPARAM>(this));
            ::Sleep(10);
        }
        stop_ = true;
    }
    static BOOL CALLBACK Found(HWND window, LPARAM self) {
        auto* closer = reinterpret_cast<MessageBoxCloser*>(self);
        if (window == closer->dialog_ || ::GetWindow(window, GW_OWNER) != closer->dialog_) return TRUE;
        // A box still being made has no text yet.
        const std::wstring text = WindowText(::GetDlgItem(window, 0xFFFF));
        if (text.empty()) return TRUE;
        closer->text_ = text;
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
        return FALSE;
    }

    HWND dialog_;
    DWORD uiThread_;
    std::atomic<bool> stop_{false};
    std::wstring text_;
    std::thread thread_;
};

class CrmNamesFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        TCrmNamesSettings current;
        current.LookupUrlTemplate = server.BaseUrlW() + L"/find?phone={number}";
        current.LookupNamePath = L"/client/title";
        current.LookupCommentPath = L"/client/note";
        current.LookupHeader = L"Authorization: Bearer abc";
        dialog = TCrmNamesForm::Show(::GetModuleHandleW(nullptr), nullptr, current,
                                      [this](const TCrmNamesSettings& settings) { applied = settings; });
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        TCrmNamesForm::CloseAll();
        PumpPending();
    }
    std::wstring Text(int id) const { return WindowText(::GetDlgItem(dialog, id)); }
    void SetText(int id, const std::wstring& text) { ::SetDlgItemTextW(dialog, id, text.c_str()); }
    void Click(int id) {
        ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
        PumpPending();
    }
    // The check's result, once the button is enabled again.
    std::wstring CheckResult(const std::wstring& number) {
        SetText(IDC_LOOKUP_TEST_NUMBER, number);
        Click(IDC_LOOKUP_CHECK);
        EXPECT_TRUE(PumpUntil([&] { return ::IsWindowEnabled(::GetDlgItem(dialog, IDC_LOOKUP_CHECK)) != FALSE; }));
        return Text(IDC_LOOKUP_RESULT);
    }

    TLoopbackHttpServer server{Answer};
    HWND dialog = nullptr;
    std::optional<TCrmNamesSettings> applied;
};

TEST_F(CrmNamesFormTest, ShowsTheSettingsInRussian) {
    EXPECT_EQ(WindowText(dialog), L"Имена из CRM");
    EXPECT_EQ(Text(IDC_LOOKUP_CHECK), L"Проверить");
    EXPECT_EQ(Text(IDC_LOOKUP_NAMEPATH), L"/client/title");
    EXPECT_EQ(Text(IDC_LOOKUP_TIMEOUT), L"1500");
    EXPECT_EQ(Text(IDC_LOOKUP_HEADER), L"Authorization: Bearer abc");
    // The token is not shown as typed.
    EXPECT_NE(::SendMessageW(::GetDlgItem(dialog, IDC_LOOKUP_HEADER), EM_GETPASSWORDCHAR, 0, 0), 0);
}

TEST_F(CrmNamesFormTest, TheCheckShowsWhatCameBack) {
    EXPECT_EQ(CheckResult(L"84951234567"), L"Найдено: ИП Петров\nКомментарий: опт");
    EXPECT_EQ(CheckResult(L"404"), L"Номер в CRM не найден.");
    EXPECT_EQ(CheckResult(L"500"), L"Ответ не принят: CRM ответила кодом HTTP 500");
    // The check uses the paths as they stand in the dialog, not as applied.
    SetText(IDC_LOOKUP_COMMENTPATH, L"");
    EXPECT_EQ(CheckResult(L"84951234567"), L"Найдено: ИП Петров");
    ASSERT_FALSE(server.Requests().empty());
    EXPECT_NE(server.Requests().back().Headers.find("Authorization: Bearer abc"), std::string::npos);
    EXPECT_FALSE(applied.has_value());
}

TEST_F(CrmNamesFormTest, TheCheckSaysWhatIsMissingWithoutAsking) {
    SetText(IDC_LOOKUP_TEST_NUMBER, L"");
    Click(IDC_LOOKUP_CHECK);
    EXPECT_EQ(Text(IDC_LOOKUP_RESULT), L"Введите номер для проверки.");
    SetText(IDC_LOOKUP_TEST_NUMBER, L"123");
    SetText(IDC_LOOKUP_URL, L"file:///C:/x?{number}");
    Click(IDC_LOOKUP_CHECK);
    EXPECT_EQ(Text(IDC_LOOKUP_RESULT), L"Адрес запроса должен начинаться с http:// или https:// и имени сервера.");
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(CrmNamesFormTest, OkAppliesSettingsThatPassTheirChecks) {
    SetText(IDC_LOOKUP_TIMEOUT, L"2500");
    SetText(IDC_LOOKUP_NAMEPATH, L"  /data/0/company ");
    ::SendMessageW(::GetDlgItem(dialog, IDC_LOOKUP_OK), BM_CLICK, 0, 0);
    ASSERT_TRUE(applied.has_value());
    EXPECT_EQ(applied->LookupTimeoutMs, 2500);
    EXPECT_EQ(applied->LookupNamePath, L"/data/0/company");
    EXPECT_EQ(applied->LookupHeader, L"Authorization: Bearer abc");
    EXPECT_FALSE(::IsWindow(dialog));
}

TEST_F(CrmNamesFormTest, OkKeepsTheDialogOpenWithTheReasonForRefusedSettings) {
    struct Case {
        int Control;
        const wchar_t* Text;
        const wchar_t* Told;
    };
    const Case cases[] = {
        {IDC_LOOKUP_NAMEPATH, L"name", L"Путь к имени"},
        {IDC_LOOKUP_HEADER, L"Authorization Bearer", L"Заголовок"},
        {IDC_LOOKUP_TIMEOUT, L"50", L"Время ожидания"},
        {IDC_LOOKUP_URL, L"https://crm.example/?q={phone}", L"{phone}"},
    };
    for (const Case& c : cases) {
        const std::wstring before = Text(c.Control);
        SetText(c.Control, c.Text);
        MessageBoxCloser closer(dialog);
        ::SendMessageW(::GetDlgItem(dialog, IDC_LOOKUP_OK), BM_CLICK, 0, 0);
        EXPECT_NE(closer.Text().find(c.Told), std::wstring::npos) << c.Text;
        EXPECT_TRUE(::IsWindow(dialog));
        EXPECT_FALSE(applied.has_value());
        SetText(c.Control, before);
    }
}

}  // namespace
