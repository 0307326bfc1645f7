// The dialog layer: messages to their handlers, errors stopped at the window's
// edge, windows of one kind, creation failures, placement and list columns.
#include "AppError.h"
#include "ControlsStartup.h"
#include "DialogBase.h"
#include "DialogLayerTestRes.h"
#include "ListColumns.h"
#include "OpenWindows.h"
#include "WindowPlacement.h"
#include "WindowText.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr UINT kAnsweredNotification = 0x7001;
constexpr LRESULT kAnswer = 42;

struct TDialogLog {
    int inits = 0;
    int deleted = 0;
    std::vector<std::pair<int, UINT>> commands;
    std::vector<std::wstring> errors;
};

constexpr TItemText kTexts[] = {{IDC_LAYERTEST_EDIT, IDS_LAYERTEST_EDIT}};

class TTestDialog final : public TDialogBase, public TOpenWindows<TTestDialog> {
public:
    static TTestDialog* Open(TDialogLog& log, int templateId = IDD_LAYERTEST) {
        auto* dialog = new TTestDialog(log);
        dialog->CreateSelfDeletingDialog(templateId, nullptr);
        return dialog;
    }

    bool ThrowOnCommand = false;

private:
    explicit TTestDialog(TDialogLog& log) : TDialogBase(::GetModuleHandleW(nullptr), IDS_LAYERTEST_CAPTION), FLog(log) {}
    ~TTestDialog() override { ++FLog.deleted; }

    bool OnInit() override {
        ++FLog.inits;
        SetItemTexts(kTexts);
        return true;
    }
    void OnCommand(int id, UINT code) override {
        if (ThrowOnCommand) throw AppError(L"сбой команды");
        FLog.commands.emplace_back(id, code);
    }
    bool OnNotify(NMHDR& header, LRESULT& result) override {
        if (header.code != kAnsweredNotification) return false;
        result = kAnswer;
        return true;
    }
    // Recorded instead of a message box nobody would close.
    void OnError(const std::wstring& text) override { FLog.errors.push_back(text); }

    TDialogLog& FLog;
};

class DialogLayer : public testing::Test {
protected:
    void SetUp() override { EnsureCommonControls(); }
    void TearDown() override { TTestDialog::CloseAll(); }
    TDialogLog log;
};

LRESULT Notify(HWND dialog, UINT code) {
    NMHDR header{};
    header.hwndFrom = ::GetDlgItem(dialog, IDC_LAYERTEST_LIST);
    header.idFrom = IDC_LAYERTEST_LIST;
    header.code = code;
    return ::SendMessageW(dialog, WM_NOTIFY, IDC_LAYERTEST_LIST, reinterpret_cast<LPARAM>(&header));
}

}  // namespace

TEST_F(DialogLayer, MessagesReachTheirHandlersAndUnhandledNotificationsTheDefault) {
    const HWND window = TTestDialog::Open(log)->Handle();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(1, log.inits);
    EXPECT_EQ(L"Проверка окна", WindowText(window));
    EXPECT_EQ(L"поле", WindowText(::GetDlgItem(window, IDC_LAYERTEST_EDIT)));

    // The edit's own notifications from filling and focusing it.
    log.commands.clear();
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_LAYERTEST_EDIT, EN_CHANGE), 0);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    EXPECT_EQ((std::vector<std::pair<int, UINT>>{{IDC_LAYERTEST_EDIT, EN_CHANGE}, {IDOK, 0}}), log.commands);
    EXPECT_TRUE(::IsWindow(window)) << "IDOK closes nothing by itself";

    EXPECT_EQ(kAnswer, Notify(window, kAnsweredNotification));
    // A stale answer must not leak into a notification nobody handled.
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, 7);
    EXPECT_EQ(0, Notify(window, LVN_GETDISPINFOW));
    EXPECT_TRUE(log.errors.empty());
}

TEST_F(DialogLayer, AnErrorStopsAtTheWindowsEdgeAndTheWindowStays) {
    TTestDialog* dialog = TTestDialog::Open(log);
    dialog->ThrowOnCommand = true;
    ::SendMessageW(dialog->Handle(), WM_COMMAND, MAKEWPARAM(IDC_LAYERTEST_EDIT, EN_CHANGE), 0);
    EXPECT_EQ(std::vector<std::wstring>{L"сбой команды"}, log.errors);
    EXPECT_TRUE(::IsWindow(dialog->Handle()));
}

TEST_F(DialogLayer, WindowsOfOneKindAreFoundInOrderAndClosedTogether) {
    EXPECT_EQ(nullptr, TTestDialog::Current());
    TTestDialog* first = TTestDialog::Open(log);
    TTestDialog* second = TTestDialog::Open(log);
    const HWND firstWindow = first->Handle();
    const HWND secondWindow = second->Handle();
    EXPECT_EQ(first, TTestDialog::Current());

    // The close box: the window goes and its object with it.
    ::SendMessageW(firstWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(firstWindow));
    EXPECT_EQ(1, log.deleted);
    EXPECT_EQ(second, TTestDialog::Current());

    TTestDialog::Open(log);
    TTestDialog::CloseAll();
    EXPECT_FALSE(::IsWindow(secondWindow));
    EXPECT_EQ(3, log.deleted);
    EXPECT_EQ(nullptr, TTestDialog::Current());
    TTestDialog::CloseAll();  // none open: nothing to do
    EXPECT_EQ(3, log.deleted);
}

TEST_F(DialogLayer, ADialogThatCannotBeMadeIsAnErrorAndLeavesNoObjectBehind) {
    try {
        TTestDialog::Open(log, IDD_LAYERTEST_MISSING);
        ADD_FAILURE() << "no dialog without a template";
    } catch (const AppError& error) {
        EXPECT_FALSE(error.message().empty());
    }
    EXPECT_EQ(0, log.inits);
    EXPECT_EQ(1, log.deleted);
    EXPECT_EQ(nullptr, TTestDialog::Current());
}

TEST_F(DialogLayer, SizedClientAreaAtTheWindowsDpiCentredOnTheWorkArea) {
    const HWND window = TTestDialog::Open(log)->Handle();
    SizeClientAndCentre(window, 300, 150);
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(ScaleToWindowDpi(window, 300), client.right);
    EXPECT_EQ(ScaleToWindowDpi(window, 150), client.bottom);
    RECT bounds{};
    ::GetWindowRect(window, &bounds);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((work.left + work.right) / 2, (bounds.left + bounds.right) / 2, 1);
    EXPECT_NEAR((work.top + work.bottom) / 2, (bounds.top + bounds.bottom) / 2, 1);

    // Larger than the work area: the title bar stays on it.
    SizeClientAndCentre(window, 20000, 20000);
    ::GetWindowRect(window, &bounds);
    EXPECT_EQ(work.left, bounds.left);
    EXPECT_EQ(work.top, bounds.top);
}

TEST_F(DialogLayer, SizedClientAreaNeverSmallerThanTheTemplatesDialogUnits) {
    const HWND window = TTestDialog::Open(log)->Handle();
    RECT units{0, 0, 400, 200};
    ::MapDialogRect(window, &units);
    SizeClientAndCentre(window, 10, 10, {400, 200});
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(units.right, client.right);
    EXPECT_EQ(units.bottom, client.bottom);

    // Pixels larger than the units win.
    SizeClientAndCentre(window, 900, 700, {10, 10});
    ::GetClientRect(window, &client);
    EXPECT_EQ(ScaleToWindowDpi(window, 900), client.right);
    EXPECT_EQ(ScaleToWindowDpi(window, 700), client.bottom);
}

TEST_F(DialogLayer, ListColumnsInOrderWithTheirTitlesFormatsAndScaledWidths) {
    const HWND window = TTestDialog::Open(log)->Handle();
    const HWND list = ::GetDlgItem(window, IDC_LAYERTEST_LIST);
    constexpr TListColumn kColumns[] = {{IDS_LAYERTEST_COLUMN, 80}, {IDS_LAYERTEST_CAPTION, 120, LVCFMT_RIGHT}};
    AddListColumns(list, kColumns, ::GetModuleHandleW(nullptr));
    AddListColumn(list, L"третий", 40);
    ASSERT_EQ(3, Header_GetItemCount(ListView_GetHeader(list)));
    const struct {
        const wchar_t* title;
        int width;
        int format;
    } expected[] = {{L"Номер", 80, LVCFMT_LEFT}, {L"Проверка окна", 120, LVCFMT_RIGHT}, {L"третий", 40, LVCFMT_LEFT}};
    for (int i = 0; i < 3; ++i) {
        wchar_t title[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = title;
        column.cchTextMax = 64;
        ASSERT_TRUE(ListView_GetColumn(list, i, &column));
        EXPECT_EQ(expected[i].title, std::wstring(title)) << i;
        EXPECT_EQ(ScaleToWindowDpi(list, expected[i].width), column.cx) << i;
        EXPECT_EQ(expected[i].format, column.fmt & LVCFMT_JUSTIFYMASK) << i;
    }
}

TEST(DispInfoText, TheTextIsCutToTheListsBufferAndOnlyTextIsAnswered) {
    const struct {
        UINT mask;
        int bufferSize;
        std::wstring text;
        std::wstring expected;
    } cases[] = {
        {LVIF_TEXT, 16, L"Иванов", L"Иванов"},
        {LVIF_TEXT, 4, L"Иванов", L"Ива"},
        {LVIF_TEXT, 1, L"Иванов", L""},
        {LVIF_TEXT, 16, L"", L""},
        {LVIF_IMAGE, 16, L"Иванов", L"прежний"},
        {LVIF_TEXT, 0, L"Иванов", L"прежний"},
    };
    for (const auto& c : cases) {
        std::wstring buffer = L"прежний";
        buffer.resize(16, L'\0');
        LVITEMW item{};
        item.mask = c.mask;
        item.pszText = buffer.data();
        item.cchTextMax = c.bufferSize;
        SetDispInfoText(item, c.text);
        EXPECT_EQ(c.expected, std::wstring(buffer.c_str())) << c.bufferSize << " " << c.mask;
    }
    LVITEMW noBuffer{};
    noBuffer.mask = LVIF_TEXT;
    noBuffer.cchTextMax = 16;
    SetDispInfoText(noBuffer, L"Иванов");  // a list without a buffer gets nothing, and nothing breaks
}
