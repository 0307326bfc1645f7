// Every list window and dialog laid out for the display's DPI: no control
// covers another or leaves its window, at the default size, maximised and at
// the least size of the resizable ones. CTest runs this program at 96 DPI and,
// each in a Wine prefix of its own, at 120 and 144 DPI.
#include "CallJournalForm.h"
#include "CallJournalRes.h"
#include "ContactEditorForm.h"
#include "ControlsStartup.h"
#include "DiagnosticsForm.h"
#include "DiagnosticsRes.h"
#include "DiagnosticsScenario.h"
#include "DirectoryBrowserForm.h"
#include "DirectoryBrowserRes.h"
#include "DirectoryBulk.h"
#include "DirectoryImportForm.h"
#include "MessagePump.h"
#include "SqlDirectoryForm.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "WindowLayoutCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class WindowLayout : public testing::Test {
protected:
    void SetUp() override {
        EnsureCommonControls();
        RecordProperty("dpi", static_cast<int>(::GetDpiForSystem()));
        // Run by scripts/run-at-dpi: a prefix that lost its DPI must not pass as tested.
        wchar_t expected[16] = {};
        if (::GetEnvironmentVariableW(L"KORDAVIN_EXPECTED_DPI", expected, 16)) {
            ASSERT_EQ(static_cast<UINT>(_wtoi(expected)), ::GetDpiForSystem());
        }
    }
    void TearDown() override {
        TDirectoryBrowserForm::CloseAll();
        TCallJournalForm::CloseAll();
        TDiagnosticsForm::CloseAll();
        TEditorForm::CloseAll();
        TSqlDirectoryForm::CloseAll();
        for (HWND window : extra_)
            if (::IsWindow(window)) ::DestroyWindow(window);
        PumpPending();
    }

    HWND OpenDirectory() {
        for (const DirectoryRow& row : {DirectoryRow{L"74951234567", L"Иванов Иван Петрович", L"бухгалтерия"},
                                        DirectoryRow{L"78121234500", L"Иванова Анна", L""}})
            PutDirectoryRow(folder_.path(), row);
        TDirectorySource source;
        source.AbonentPhoneDir = folder_.path();
        source.CityCodesDir = folder_.file(L"none");
        const HWND browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), source);
        EXPECT_TRUE(PumpUntil([] { return !TDirectoryBrowserForm::Current()->Loading(); }, 30000));
        return browser;
    }

    TempFolder folder_;
    std::vector<HWND> extra_;
};

TCallRecord Call(int64_t id, const std::wstring& number, const std::wstring& name, TCallOutcome outcome) {
    TCallRecord record;
    record.Id = id;
    record.StartTime = 1'765'000'000'000 + id * 60000;
    record.EndTime = record.StartTime + 30000;
    record.Channel = L"K1";
    record.Caller.Number = number;
    record.Caller.Name = name;
    record.Caller.Region = L"Москва";
    record.Outcome = outcome;
    record.DurationSeconds = 25;
    return record;
}

}  // namespace

TEST_F(WindowLayout, TheDirectoryWindow) {
    ExpectLaidOutAtEverySize(OpenDirectory(), IDC_DIRBROWSER_LIST);
}

TEST_F(WindowLayout, TheDirectoryWindowOfAClientWorkstation) {
    TDirectorySource source;
    source.Remote = true;
    source.ServerAddress = L"directory-server:32456";
    const HWND browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), source);
    PumpPending();
    EXPECT_EQ(std::vector<std::wstring>{}, LayoutFaults(browser));
}

TEST_F(WindowLayout, TheImportPreview) {
    const HWND browser = OpenDirectory();
    const HWND preview = TDirectoryImportForm::Open(
        ::GetModuleHandleW(nullptr), browser, folder_.path(), TDiallingSettings{}, L"contacts.csv",
        WideToUtf8(L"Телефон;ФИО;Примечание\r\n84951234567;Иванов;бухгалтерия\r\nзвонить;Петров;\r\n"), [](size_t) {});
    extra_.push_back(preview);
    PumpFor(300);
    EXPECT_EQ(std::vector<std::wstring>{}, LayoutFaults(preview));
}

TEST_F(WindowLayout, TheContactEditor) {
    const HWND editor =
        TEditorForm::Open(::GetModuleHandleW(nullptr), L"74951234567", L"Иванов Иван", L"бухгалтерия", false,
                          [](const std::wstring&, const std::wstring&, const std::wstring&) {});
    PumpPending();
    ASSERT_TRUE(editor);
    EXPECT_EQ(std::vector<std::wstring>{}, LayoutFaults(editor));
}

TEST_F(WindowLayout, TheSqlDirectoryDialog) {
    TSqlSettings settings;
    settings.FSqlConnection = L"Driver={PostgreSQL Unicode};Server=db1;Port=5432;Database=phones;Uid=informer;";
    for (const bool client : {false, true}) {
        const HWND dialog =
            TSqlDirectoryForm::Show(::GetModuleHandleW(nullptr), nullptr, settings, {L"C:\\ProgramData\\PQR", client},
                                    {}, {}, {});
        PumpPending();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(std::vector<std::wstring>{}, LayoutFaults(dialog)) << client;
        TSqlDirectoryForm::CloseAll();
        PumpPending();
    }
}

TEST_F(WindowLayout, TheCallJournal) {
    TCallJournalForm& form = TCallJournalForm::Open(
        ::GetModuleHandleW(nullptr),
        {Call(2, L"78122345678", L"Петров", TCallOutcome::Missed),
         Call(1, L"74951234567", L"Иванов Иван", TCallOutcome::Answered)},
        10000, {});
    PumpPending();
    ExpectLaidOutAtEverySize(form.Handle(), IDC_JOURNAL_LIST);
}

TEST_F(WindowLayout, TheDiagnosticsWindow) {
    FakeRecorderHost host;
    PlayDiagnosticsScenario(host);
    const HWND window = TDiagnosticsForm::Show(::GetModuleHandleW(nullptr), host.diagnostics);
    PumpPending();
    ExpectLaidOutAtEverySize(window, IDC_DIAG_LIST);
    TDiagnosticsForm::CloseAll();
    PumpPending();
}
