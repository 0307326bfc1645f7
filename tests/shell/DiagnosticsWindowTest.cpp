// The diagnostics window as the user sees it: a row per recorder event with
// what was done with it, the connection lines, "Копировать", refresh and Escape.
#include "ClipboardText.h"
#include "ControlLabels.h"
#include "CrmNamesTexts.h"
#include "DiagnosticsForm.h"
#include "DiagnosticsRes.h"
#include "DiagnosticsScenario.h"
#include "DiagnosticsText.h"
#include "MessagePump.h"
#include "WindowLayoutCheck.h"
#include "WindowText.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring CellText(HWND list, int row, int column) {
    std::vector<wchar_t> buffer(1024);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer.data();
}

int RowCount(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

class DiagnosticsWindow : public testing::Test {
protected:
    void SetUp() override {
        PlayDiagnosticsScenario(host);
        window = TDiagnosticsForm::Show(::GetModuleHandleW(nullptr), host.diagnostics);
        ASSERT_NE(nullptr, window);
        list = ::GetDlgItem(window, IDC_DIAG_LIST);
        PumpPending();
    }
    void TearDown() override {
        TDiagnosticsForm::CloseAll();
        PumpPending();
    }

    FakeRecorderHost host;
    HWND window = nullptr;
    HWND list = nullptr;
};

TEST(DiagnosticsText, ACrmNamesFailureIsARowOfItsOwnWithTheReason) {
    const struct {
        TCrmNamesError error;
        const wchar_t* detail;
        const wchar_t* part;  // of the reason as the user reads it
    } cases[] = {
        {TCrmNamesError::HttpStatus, L"500", L"500"},
        {TCrmNamesError::TimedOut, L"", L""},
        {TCrmNamesError::NotJson, L"", L""},
        {TCrmNamesError::RedirectRefused, L"file:///C:/windows/win.ini", L"file:///C:/windows/win.ini"},
    };
    TEventDiagnostics diagnostics;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.detail));
        diagnostics.RecordCrmNamesFailure(L"Приёмная", L"74951234567", c.error, c.detail);
        const TDiagnosticsRow row = DiagnosticsRow(diagnostics.At(diagnostics.Count() - 1), false);
        EXPECT_EQ(L"Имя из CRM", row[dcEvent]);
        EXPECT_EQ(L"Приёмная", row[dcChannel]);
        EXPECT_EQ(L"74951234567", row[dcNumber]);
        EXPECT_EQ(CrmNamesErrorText(c.error, c.detail), row[dcOutcome]);
        EXPECT_FALSE(row[dcOutcome].empty());
        EXPECT_NE(std::wstring::npos, row[dcOutcome].find(c.part));
    }
    // A recorder event recorded in the same slot later is no lookup failure.
    for (size_t i = 0; i < TEventDiagnostics::kCapacity; ++i)
        diagnostics.Record(1, L"K1", L"", TEventHandling(TEventOutcome::PopupShown));
    EXPECT_EQ(TCrmNamesError::None, diagnostics.At(0).CrmNamesError);
    EXPECT_NE(L"Имя из CRM", DiagnosticsRow(diagnostics.At(0), false)[dcEvent]);
}

TEST_F(DiagnosticsWindow, ShowsARowPerEventWithWhatWasDoneNewestFirst) {
    EXPECT_EQ(L"Диагностика", WindowText(window));
    const auto& rows = DiagnosticsScenarioRows();
    ASSERT_EQ(static_cast<int>(rows.size()), RowCount(list));
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i);
        EXPECT_EQ(rows[i].event, CellText(list, row, 1)) << "row " << i;
        EXPECT_EQ(rows[i].channel, CellText(list, row, 2)) << "row " << i;
        EXPECT_EQ(rows[i].number, CellText(list, row, 3)) << "row " << i;
        EXPECT_EQ(rows[i].outcome, CellText(list, row, 4)) << "row " << i;
        EXPECT_EQ(12u, CellText(list, row, 0).size()) << "hh:mm:ss.mmm";
    }
    EXPECT_EQ(L"Соединение с сервером записи: нет", WindowText(::GetDlgItem(window, IDC_DIAG_STATE)));
    const std::wstring error = WindowText(::GetDlgItem(window, IDC_DIAG_ERROR));
    EXPECT_EQ(0u, error.find(L"Последняя ошибка соединения: 20")) << "with the date";
    EXPECT_NE(std::wstring::npos, error.find(L"Соединение прервано сервером.")) << error;
}

TEST_F(DiagnosticsWindow, TheListHasALabelThatAScreenReaderReadsAndAKeyReaches) {
    EXPECT_EQ(std::vector<std::wstring>{}, ControlsWithoutLabel(window));
    EXPECT_EQ(L"&События:", LabelOf(list));
    RECT label{}, error{}, rows{}, overlap{};
    ::GetWindowRect(::GetDlgItem(window, IDC_DIAG_LIST_LABEL), &label);
    ::GetWindowRect(::GetDlgItem(window, IDC_DIAG_ERROR), &error);
    ::GetWindowRect(list, &rows);
    EXPECT_LE(label.bottom, rows.top);
    EXPECT_GE(label.top, error.bottom);
    EXPECT_FALSE(::IntersectRect(&overlap, &label, &rows));
}

TEST_F(DiagnosticsWindow, CopyPutsEverythingOnTheClipboardTabSeparated) {
    ASSERT_TRUE(PutClipboardText(nullptr, L"прежнее"));
    ::SendMessageW(::GetDlgItem(window, IDC_DIAG_COPY), BM_CLICK, 0, 0);
    const std::wstring text = GetClipboardText(nullptr);
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find(L"\r\n", start);
        ASSERT_NE(std::wstring::npos, end) << "every line ends with CR LF";
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    const auto& rows = DiagnosticsScenarioRows();
    ASSERT_EQ(4 + rows.size(), lines.size());
    EXPECT_EQ(L"Соединение с сервером записи: нет", lines[0]);
    EXPECT_EQ(WindowText(::GetDlgItem(window, IDC_DIAG_ERROR)), lines[1]);
    EXPECT_EQ(L"", lines[2]);
    EXPECT_EQ(L"Время\tСобытие\tКанал\tНомер\tЧто сделано", lines[3]);
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::wstring& line = lines[4 + i];
        const size_t afterTime = line.find(L'\t');
        ASSERT_EQ(23u, afterTime) << "the time carries the date: " << i;
        EXPECT_EQ(std::wstring(rows[i].event) + L"\t" + rows[i].channel + L"\t" + rows[i].number + L"\t" +
                      rows[i].outcome,
                  line.substr(afterTime + 1))
            << "row " << i;
    }
}

TEST_F(DiagnosticsWindow, NewEventsAndTheConnectionAppearWhileOpenAndEscapeCloses) {
    const int before = RowCount(list);
    host.sdk = &host.fakeSdk;
    host.diagnostics.SetConnected(true, L"REC-SERVER");
    host.fakeSdk.Queue(KDV_MSG_MISSED_PHONE, L"K7");
    DispatchRecorderEvents(host);
    EXPECT_TRUE(PumpUntil([&] { return RowCount(list) == before + 1; }, 3000)) << "refreshed within a second or so";
    EXPECT_EQ(L"У канала нет окна", CellText(list, 0, 4));
    EXPECT_EQ(L"Соединение с сервером записи: установлено (компьютер REC-SERVER)",
              WindowText(::GetDlgItem(window, IDC_DIAG_STATE)));

    // A second "Диагностика" brings the same window forward.
    EXPECT_EQ(window, TDiagnosticsForm::Show(::GetModuleHandleW(nullptr), host.diagnostics));

    ::SetFocus(list);
    ::PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(window); }, 3000)) << "Escape closes the window";
}

}  // namespace

TEST_F(DiagnosticsWindow, OpensAgainWithTheSizePlaceAndColumnWidthsItWasLeftWith) {
    TDiagnosticsForm::CloseAll();
    PumpPending();
    ExpectReopensAsLeft(
        L"Diagnostics", [this] { return TDiagnosticsForm::Show(::GetModuleHandleW(nullptr), host.diagnostics); },
        [](HWND) {
            TDiagnosticsForm::CloseAll();
            PumpPending();
        },
        IDC_DIAG_LIST, 1);
}
