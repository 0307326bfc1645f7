// The subscriber directory window on the virtual display, over real directory
// files: the list with its regions and the search as the user types, editing
// through the contact editor, deleting after a question, a client workstation,
// a change made by another workstation, and the import preview with its counts
// and its all-or-nothing write while another workstation holds the table.
#include <gtest/gtest.h>

#include "ContactEditorRes.h"
#include "ControlLabels.h"
#include "DirectoryBrowserForm.h"
#include "DirectoryBrowserRes.h"
#include "DirectoryBulk.h"
#include "DirectoryImportForm.h"
#include "DirectoryImportLayout.h"
#include "DirectoryTestSupport.h"
#include "EditorTestSupport.h"
#include "HeldLock.h"
#include "InformerProcess.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "WindowLayoutCheck.h"

#include <commctrl.h>
#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

using namespace contactstest;

namespace {

constexpr DWORD kGenerousWaitMs = 30000;

// Answers the next message box of this thread from inside its modal loop, as a
// user would click one of its buttons, and keeps the box's text.
class MessageBoxAnswer {
public:
    explicit MessageBoxAnswer(int button) {
        Button() = button;
        Text().clear();
        timer_ = ::SetTimer(nullptr, 0, 50, &MessageBoxAnswer::Check);
    }
    ~MessageBoxAnswer() { ::KillTimer(nullptr, timer_); }
    MessageBoxAnswer(const MessageBoxAnswer&) = delete;
    MessageBoxAnswer& operator=(const MessageBoxAnswer&) = delete;

    static std::wstring& Text() {
        static std::wstring text;
        return text;
    }

private:
    static int& Button() {
        static int button = 0;
        return button;
    }
    static void CALLBACK Check(HWND, UINT, UINT_PTR, DWORD) {
        ::EnumThreadWindows(::GetCurrentThreadId(), &MessageBoxAnswer::Answer, 0);
    }
    static BOOL CALLBACK Answer(HWND window, LPARAM) {
        wchar_t className[16] = {};
        ::GetClassNameW(window, className, 16);
        const HWND button = ::GetDlgItem(window, Button());
        if (std::wstring(className) != L"#32770" || !button || !::IsWindowVisible(window)) return TRUE;
        // The program's own dialogs are no message boxes.
        for (int id : {IDC_DIRBROWSER_LIST, IDC_DIRIMPORT_ROWS, IDC_EDITOR_PHONE})
            if (::GetDlgItem(window, id)) return TRUE;
        Text() = InformerProcess::MessageBoxText(window);
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(Button(), BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return FALSE;
    }

    UINT_PTR timer_ = 0;
};

class DirectoryBrowserTest : public testing::Test {
protected:
    void SetUp() override {
        MakeCityTable(cities.path(), {{L"7495", L"Москва"}, {L"7812", L"Санкт-Петербург"}});
        for (const DirectoryRow& row : kRows) PutDirectoryRow(folder.path(), row);
    }

    void TearDown() override {
        TDirectoryBrowserForm::CloseAll();
        for (HWND window : extra_)
            if (::IsWindow(window)) ::DestroyWindow(window);
        PumpPending();
        EXPECT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
        PumpPending();
    }

    TDirectorySource Source(bool remote = false) {
        TDirectorySource source;
        source.AbonentPhoneDir = folder.path();
        source.CityCodesDir = cities.path();
        source.Remote = remote;
        source.ServerAddress = L"directory-server:32456";
        source.OnSaveFailed = [this](TSaveFailure failure) {
            std::lock_guard<std::mutex> lock(failuresLock_);
            failures_.push_back(failure.Phone);
        };
        return source;
    }

    HWND OpenBrowser(bool remote = false) {
        const HWND browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), Source(remote));
        WaitForRows();
        return browser;
    }
    // The window reads its rows beside it: until they are listed.
    static void WaitForRows() {
        EXPECT_TRUE(PumpUntil(
            [] {
                const TDirectoryBrowserForm* form = TDirectoryBrowserForm::Current();
                return !form || !form->Loading();
            },
            kGenerousWaitMs));
        PumpPending();
    }

    static HWND Item(HWND window, int id) { return ::GetDlgItem(window, id); }
    static HWND List(HWND browser) { return Item(browser, IDC_DIRBROWSER_LIST); }

    // What the list shows: one line per row, its columns joined by "|".
    static std::vector<std::wstring> Shown(HWND list) {
        std::vector<std::wstring> lines;
        const int count = ListView_GetItemCount(list);
        const int columns = Header_GetItemCount(ListView_GetHeader(list));
        for (int i = 0; i < count; ++i) {
            std::wstring line;
            for (int c = 0; c < columns; ++c) {
                wchar_t text[256] = {};
                ListView_GetItemText(list, i, c, text, 256);
                line += (c ? L"|" : L"") + std::wstring(text);
            }
            lines.push_back(line);
        }
        return lines;
    }

    static int Selected(HWND list) { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }

    // The texts of a check list's ticked items, in the order shown.
    static std::vector<std::wstring> Ticked(HWND list) {
        std::vector<std::wstring> ticked;
        const std::vector<std::wstring> shown = Shown(list);
        for (size_t i = 0; i < shown.size(); ++i)
            if (ListView_GetCheckState(list, static_cast<int>(i))) ticked.push_back(shown[i]);
        return ticked;
    }

    // Ticks or unticks the item of a check list that shows `text`, as a click on its box does.
    static bool Tick(HWND list, const std::wstring& text, bool ticked) {
        const std::vector<std::wstring> shown = Shown(list);
        for (size_t i = 0; i < shown.size(); ++i)
            if (shown[i] == text) {
                ListView_SetCheckState(list, static_cast<int>(i), ticked ? TRUE : FALSE);
                return true;
            }
        return false;
    }

    // The import preview works on its worker while its progress bar shows.
    static bool WaitForImportStep(HWND preview) {
        return PumpUntil([preview] { return !::IsWindow(preview) || !::IsWindowVisible(Item(preview, IDC_DIRIMPORT_PROGRESS)); },
                         kGenerousWaitMs);
    }

    HWND OpenImport(HWND browser, const std::string& bytes, size_t* written = nullptr) {
        const HWND preview = TDirectoryImportForm::Open(::GetModuleHandleW(nullptr), browser, folder.path(),
                                                        TDiallingSettings{}, L"contacts.csv", bytes,
                                                        [written](size_t count) {
                                                            if (written) *written = count;
                                                        });
        extra_.push_back(preview);
        return preview;
    }

    static void Search(HWND browser, const std::wstring& query) {
        const HWND search = Item(browser, IDC_DIRBROWSER_SEARCH);
        ::SendMessageW(browser, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(search), TRUE);
        ::SetWindowTextW(search, L"");
        TypeText(query);
    }

    static void SelectRow(HWND browser, int index) {
        const HWND list = List(browser);
        ::SendMessageW(browser, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        PumpPending();
    }

    static HWND FindEditor() {
        HWND editor = nullptr;
        PumpUntil([&] { return (editor = ::FindWindowW(L"#32770", L"Изменение данных абонента")) != nullptr; });
        return editor;
    }

    std::map<std::wstring, std::pair<std::wstring, std::wstring>> Stored() const {
        return ReadSubscriberRows(folder.file(L"AbonentPhones.db"));
    }

    const std::vector<DirectoryRow> kRows{
        {L"74951234567", L"Иванов Иван", L"бухгалтерия"},
        {L"74959876543", L"Ёжиков Пётр", L"две\r\nстроки"},
        {L"78121234500", L"ИВАНОВА Анна", L""},
        {L"79161112233", L"Smith John", L"=1+2"},
    };

    TempFolder folder;
    TempFolder cities;
    std::vector<HWND> extra_;
    std::mutex failuresLock_;
    std::vector<std::wstring> failures_;
};

}  // namespace

TEST_F(DirectoryBrowserTest, ListsEveryRowWithItsRegionAndFiltersAsTheUserTypes) {
    const HWND browser = OpenBrowser();
    ASSERT_TRUE(::IsWindowVisible(browser));
    EXPECT_EQ(L"Справочник абонентов", Text(browser));
    ASSERT_NE(nullptr, TDirectoryBrowserForm::Current());
    EXPECT_EQ(browser, TDirectoryBrowserForm::Current()->Handle());
    EXPECT_EQ(Item(browser, IDC_DIRBROWSER_SEARCH), ::GetFocus());
    EXPECT_EQ((std::vector<std::wstring>{
                  L"74951234567|Иванов Иван|Москва|бухгалтерия",
                  L"74959876543|Ёжиков Пётр|Москва|две  строки",
                  L"78121234500|ИВАНОВА Анна|Санкт-Петербург|",
                  L"79161112233|Smith John||=1+2",
              }),
              Shown(List(browser)));
    EXPECT_EQ(L"Абонентов: 4", Text(Item(browser, IDC_DIRBROWSER_STATUS)));

    struct Case {
        const wchar_t* query;
        std::vector<std::wstring> numbers;
        const wchar_t* status;
    };
    const Case cases[] = {
        {L"1234", {L"74951234567", L"78121234500"}, L"Найдено: 2 из 4"},
        {L"(495) 98", {L"74959876543"}, L"Найдено: 1 из 4"},
        {L"иван", {L"74951234567", L"78121234500"}, L"Найдено: 2 из 4"},
        {L"ЁЖ", {L"74959876543"}, L"Найдено: 1 из 4"},
        {L"john", {L"79161112233"}, L"Найдено: 1 из 4"},
        {L"Петров", {}, L"Найдено: 0 из 4"},
        {L"", {L"74951234567", L"74959876543", L"78121234500", L"79161112233"}, L"Абонентов: 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.query));
        Search(browser, c.query);
        std::vector<std::wstring> numbers;
        for (const std::wstring& line : Shown(List(browser))) numbers.push_back(line.substr(0, line.find(L'|')));
        EXPECT_EQ(c.numbers, numbers);
        EXPECT_EQ(c.status, Text(Item(browser, IDC_DIRBROWSER_STATUS)));
        // The first match is ready for Enter; with none, there is nothing to edit or delete.
        EXPECT_EQ(c.numbers.empty() ? -1 : 0, Selected(List(browser)));
        EXPECT_EQ(!c.numbers.empty(), ::IsWindowEnabled(Item(browser, IDC_DIRBROWSER_EDIT)) != FALSE);
        EXPECT_EQ(!c.numbers.empty(), ::IsWindowEnabled(Item(browser, IDC_DIRBROWSER_DELETE)) != FALSE);
    }

    // Opening again brings the same window forward.
    EXPECT_EQ(browser, OpenBrowser());
}

TEST_F(DirectoryBrowserTest, TypedNumbersAreReadAsDialledWithTheDiallingSettings) {
    HWND browser = OpenBrowser();
    const auto numbersFor = [&](const wchar_t* query) {
        Search(browser, query);
        std::vector<std::wstring> numbers;
        for (const std::wstring& line : Shown(List(browser))) numbers.push_back(line.substr(0, line.find(L'|')));
        return numbers;
    };
    const std::pair<const wchar_t*, std::vector<std::wstring>> cases[] = {
        {L"8 (495) 123-45-67", {L"74951234567"}},
        {L"+7 495 123 45 67", {L"74951234567"}},
        {L"123-45-67", {L"74951234567"}},
        {L"8 (495)", {L"74951234567", L"74959876543"}},
        {L"8 916", {L"79161112233"}},
        {L"9 8 (812)", {}},
    };
    for (const auto& [query, expected] : cases) {
        SCOPED_TRACE(WideToUtf8(query));
        EXPECT_EQ(expected, numbersFor(query));
    }

    // An office exchange's outside-line digit, once the settings name it.
    TDirectorySource source = Source();
    source.Dialling.FCityPrefixes = {L"9"};
    browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), source);
    WaitForRows();
    EXPECT_EQ(std::vector<std::wstring>{L"78121234500"}, numbersFor(L"9 8 (812)"));
}

TEST_F(DirectoryBrowserTest, EveryBoxAndListHasALabelThatAScreenReaderReadsAndAKeyReaches) {
    const HWND browser = OpenBrowser();
    EXPECT_EQ(std::vector<std::wstring>{}, ControlsWithoutLabel(browser));
    EXPECT_EQ(L"&Поиск:", LabelOf(Item(browser, IDC_DIRBROWSER_SEARCH)));
    EXPECT_EQ(L"&Абоненты:", LabelOf(List(browser)));
    // The list's label stands above the list, clear of it and of the search box.
    RECT label{}, list{}, search{}, overlap{};
    ::GetWindowRect(Item(browser, IDC_DIRBROWSER_LIST_LABEL), &label);
    ::GetWindowRect(List(browser), &list);
    ::GetWindowRect(Item(browser, IDC_DIRBROWSER_SEARCH), &search);
    EXPECT_LE(label.bottom, list.top);
    EXPECT_GE(label.top, search.bottom);
    EXPECT_FALSE(::IntersectRect(&overlap, &label, &list));

    const HWND preview = TDirectoryImportForm::Open(::GetModuleHandleW(nullptr), browser, folder.path(),
                                                    TDiallingSettings{}, L"contacts.csv",
                                                    WideToUtf8(L"Телефон;ФИО\r\n84951234567;Иванов\r\n"),
                                                    [](size_t) {});
    extra_.push_back(preview);
    PumpPending();
    EXPECT_EQ(std::vector<std::wstring>{}, ControlsWithoutLabel(preview));
}

TEST_F(DirectoryBrowserTest, EnterEditsTheSelectedRowThroughTheContactEditor) {
    const HWND browser = OpenBrowser();
    Search(browser, L"Ёжиков");
    ASSERT_EQ(0, Selected(List(browser)));
    // Enter in the search box edits the match.
    PressKey(VK_RETURN);
    const HWND editor = FindEditor();
    ASSERT_TRUE(editor);
    EXPECT_EQ(L"74959876543", Text(Item(editor, IDC_EDITOR_PHONE)));
    EXPECT_EQ(L"Ёжиков Пётр", Text(Item(editor, IDC_EDITOR_NAME)));
    EXPECT_EQ(L"две\r\nстроки", Text(Item(editor, IDC_EDITOR_COMMENT)));

    ::SetWindowTextW(Item(editor, IDC_EDITOR_NAME), L"Ежиков Пётр Ильич");
    ::SendMessageW(Item(editor, IDC_EDITOR_SAVE), BM_CLICK, 0, 0);
    EXPECT_FALSE(::IsWindow(editor));
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    // The save tells the window, which reads the files again; the search stays,
    // and the new name (with "Е", not "Ё") no longer matches it.
    EXPECT_TRUE(PumpUntil([&] { return Text(Item(browser, IDC_DIRBROWSER_STATUS)) == L"Найдено: 0 из 4"; }));
    Search(browser, L"Ильич");
    EXPECT_EQ((std::vector<std::wstring>{L"74959876543|Ежиков Пётр Ильич|Москва|две  строки"}), Shown(List(browser)));
    EXPECT_EQ((std::pair<std::wstring, std::wstring>{L"Ежиков Пётр Ильич", L"две\r\nстроки"}),
              Stored().at(L"74959876543"));
    EXPECT_TRUE(failures_.empty());
}

TEST_F(DirectoryBrowserTest, AddStoresTheTypedNumberInItsCanonicalForm) {
    const HWND browser = OpenBrowser();
    ::SendMessageW(Item(browser, IDC_DIRBROWSER_ADD), BM_CLICK, 0, 0);
    const HWND editor = FindEditor();
    ASSERT_TRUE(editor);
    EXPECT_EQ(Item(editor, IDC_EDITOR_PHONE), ::GetFocus());
    TypeText(L"8 (495) 555-44-33");
    EXPECT_FALSE(::IsWindowEnabled(Item(editor, IDC_EDITOR_SAVE))) << "a name is still missing";
    ::SetWindowTextW(Item(editor, IDC_EDITOR_NAME), L"Новиков");
    ::SendMessageW(Item(editor, IDC_EDITOR_SAVE), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    EXPECT_TRUE(PumpUntil([&] { return ListView_GetItemCount(List(browser)) == 5; }));
    EXPECT_EQ((std::pair<std::wstring, std::wstring>{L"Новиков", L""}), Stored().at(L"74955554433"));

    // A number that is no number is refused through the editor's failure path.
    ::SendMessageW(Item(browser, IDC_DIRBROWSER_ADD), BM_CLICK, 0, 0);
    const HWND second = FindEditor();
    ASSERT_TRUE(second);
    ::SetWindowTextW(Item(second, IDC_EDITOR_PHONE), L"доб. 12");
    ::SetWindowTextW(Item(second, IDC_EDITOR_NAME), L"Никто");
    ::SendMessageW(Item(second, IDC_EDITOR_SAVE), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    EXPECT_EQ(std::vector<std::wstring>{L"доб. 12"}, failures_);
    EXPECT_EQ(5u, Stored().size());
}

TEST_F(DirectoryBrowserTest, DeleteRemovesTheRowOnlyWhenTheUserConfirms) {
    struct Case {
        int answer;
        size_t rowsAfter;
    };
    for (const Case c : {Case{IDNO, 4}, Case{IDYES, 3}}) {
        SCOPED_TRACE(c.answer);
        const HWND browser = OpenBrowser();
        Search(browser, L"Smith");
        SelectRow(browser, 0);
        {
            const MessageBoxAnswer answer(c.answer);
            PressKey(VK_DELETE);
        }
        EXPECT_EQ(L"Удалить абонента «Smith John» с номером 79161112233?", MessageBoxAnswer::Text());
        EXPECT_EQ(c.rowsAfter, Stored().size());
        EXPECT_EQ(c.rowsAfter == 4, Stored().count(L"79161112233") == 1);
        EXPECT_EQ(c.rowsAfter == 4 ? 1 : 0, ListView_GetItemCount(List(browser)));
        TDirectoryBrowserForm::CloseAll();
        PumpPending();
    }
}

// Notes each write and does it on the folder, so that the window shows its effect.
class RecordingWrites final : public IDirectoryWrites {
public:
    explicit RecordingWrites(std::wstring folder) : inner_(FolderDirectoryWrites(std::move(folder))) {}
    void Put(const DirectoryRow& row) override {
        Note(L"put " + row.phone + L" " + row.name);
        inner_->Put(row);
    }
    void Delete(const std::wstring& phone) override {
        Note(L"delete " + phone);
        inner_->Delete(phone);
    }
    size_t Import(const ImportPreview& preview, ImportProgress* progress) override {
        Note(L"import");
        return inner_->Import(preview, progress);
    }
    std::vector<std::wstring> Calls() {
        std::lock_guard<std::mutex> lock(lock_);
        return calls_;
    }

private:
    void Note(std::wstring call) {
        std::lock_guard<std::mutex> lock(lock_);
        calls_.push_back(std::move(call));
    }
    std::shared_ptr<IDirectoryWrites> inner_;
    std::mutex lock_;  // guards calls_, written by the window's and the save's threads
    std::vector<std::wstring> calls_;
};

// The window reads its folder, but what it changes goes the source's one way
// (the SQL directory's outbox, when that is in use).
TEST_F(DirectoryBrowserTest, EditsAndDeletesGoThroughTheSourcesWrites) {
    auto writes = std::make_shared<RecordingWrites>(folder.path());
    TDirectorySource source = Source();
    source.Writes = writes;
    const HWND browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), source);
    WaitForRows();
    Search(browser, L"Ёжиков");
    PressKey(VK_RETURN);
    const HWND editor = FindEditor();
    ASSERT_TRUE(editor);
    ::SetWindowTextW(Item(editor, IDC_EDITOR_NAME), L"Ежиков Пётр Ильич");
    ::SendMessageW(Item(editor, IDC_EDITOR_SAVE), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    Search(browser, L"Smith");
    SelectRow(browser, 0);
    {
        const MessageBoxAnswer answer(IDYES);
        PressKey(VK_DELETE);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"put 74959876543 Ежиков Пётр Ильич", L"delete 79161112233"}),
              writes->Calls());
    EXPECT_EQ(0u, Stored().count(L"79161112233"));
    EXPECT_TRUE(failures_.empty());
}

TEST_F(DirectoryBrowserTest, RefreshShowsWhatAnotherWorkstationChanged) {
    const HWND browser = OpenBrowser();
    ASSERT_EQ(4, ListView_GetItemCount(List(browser)));
    // Another workstation writes the shared files while the window is open.
    PutDirectoryRow(folder.path(), {L"74950000000", L"Соседов", L"с другого места"});
    ASSERT_TRUE(DeleteDirectoryRow(folder.path(), L"78121234500"));
    EXPECT_EQ(4, ListView_GetItemCount(List(browser)));

    ::SendMessageW(Item(browser, IDC_DIRBROWSER_REFRESH), BM_CLICK, 0, 0);
    const std::vector<std::wstring> shown = Shown(List(browser));
    ASSERT_EQ(4u, shown.size());
    EXPECT_EQ(L"74950000000|Соседов|Москва|с другого места", shown[0]);
    EXPECT_EQ(L"79161112233|Smith John||=1+2", shown[3]);
    EXPECT_EQ(L"Абонентов: 4", Text(Item(browser, IDC_DIRBROWSER_STATUS)));
}

TEST_F(DirectoryBrowserTest, ClientWorkstationIsToldTheDirectoryIsOnTheServer) {
    const HWND browser = OpenBrowser(true);
    const HWND note = Item(browser, IDC_DIRBROWSER_REMOTE);
    EXPECT_TRUE(::IsWindowVisible(note));
    EXPECT_NE(std::wstring::npos, Text(note).find(L"хранится на сервере справочников (directory-server:32456)"));
    // Nothing is offered that would do nothing here.
    for (int id : {IDC_DIRBROWSER_SEARCH, IDC_DIRBROWSER_LIST, IDC_DIRBROWSER_ADD, IDC_DIRBROWSER_EDIT,
                   IDC_DIRBROWSER_DELETE, IDC_DIRBROWSER_IMPORT, IDC_DIRBROWSER_EXPORT, IDC_DIRBROWSER_REFRESH})
        EXPECT_FALSE(::IsWindowVisible(Item(browser, id))) << id;
    EXPECT_TRUE(::IsWindowVisible(Item(browser, IDCANCEL)));
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(::IsWindow(browser));
    EXPECT_EQ(nullptr, TDirectoryBrowserForm::Current());
}

TEST_F(DirectoryBrowserTest, ImportPreviewCountsAndWritesAllOrNothing) {
    const HWND browser = OpenBrowser();
    const std::string csv = WideToUtf8(
        L"Телефон;ФИО;Примечание\r\n"
        L"8 (495) 123-45-67;Иванов И. И.;\r\n"       // changed name
        L"+7 916 111-22-33;Smith John;=1+2\r\n"      // unchanged
        L"8 495 000-11-22;Новый абонент;из файла\r\n"  // new
        L"звонить вечером;Без номера;\r\n");         // rejected
    size_t written = 0;
    const HWND preview = OpenImport(browser, csv, &written);
    ASSERT_TRUE(WaitForImportStep(preview));
    ASSERT_TRUE(::IsWindowVisible(preview));
    EXPECT_FALSE(::IsWindowEnabled(browser)) << "the directory window waits for the preview";
    EXPECT_EQ(L"Новых: 1, изменённых: 1, без изменений: 1, отклонено: 1, повторов номера: 0",
              Text(Item(preview, IDC_DIRIMPORT_COUNTS)));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"2|74951234567|Иванов И. И.|бухгалтерия|изменён",
                  L"3|79161112233|Smith John|=1+2|без изменений",
                  L"4|74950001122|Новый абонент|из файла|новый",
              }),
              Shown(Item(preview, IDC_DIRIMPORT_ROWS)));
    const std::vector<std::wstring> rejected = Shown(Item(preview, IDC_DIRIMPORT_REJECTED));
    ASSERT_EQ(1u, rejected.size());
    EXPECT_EQ(L"5|", rejected[0].substr(0, 2));

    // Stored names kept: the changed row has nothing left to change.
    ::SendMessageW(Item(preview, IDC_DIRIMPORT_REPLACE), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForImportStep(preview));
    EXPECT_EQ(L"Новых: 1, изменённых: 0, без изменений: 2, отклонено: 1, повторов номера: 0",
              Text(Item(preview, IDC_DIRIMPORT_COUNTS)));
    ::SendMessageW(Item(preview, IDC_DIRIMPORT_REPLACE), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForImportStep(preview));

    // Another workstation holds the table: a clear error, nothing written, the preview stays.
    const auto before = Stored();
    {
        HeldLock lock(folder.file(L"AbonentPhones.db"), L"reserved", 20000);
        ASSERT_TRUE(lock.held());
        const MessageBoxAnswer answer(IDOK);
        ::SendMessageW(Item(preview, IDOK), BM_CLICK, 0, 0);
        PumpUntil([] { return !MessageBoxAnswer::Text().empty(); }, kGenerousWaitMs);
        EXPECT_NE(std::wstring::npos, MessageBoxAnswer::Text().find(L"справочник не изменён"))
            << WideToUtf8(MessageBoxAnswer::Text());
        lock.Release();
    }
    EXPECT_EQ(before, Stored());
    ASSERT_TRUE(::IsWindow(preview));
    EXPECT_EQ(0u, written);

    ASSERT_TRUE(WaitForImportStep(preview));
    ::SendMessageW(Item(preview, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForImportStep(preview));
    PumpPending();
    EXPECT_FALSE(::IsWindow(preview));
    EXPECT_EQ(2u, written);
    EXPECT_TRUE(::IsWindowEnabled(browser));
    EXPECT_EQ(5u, Stored().size());
    EXPECT_EQ(L"Иванов И. И.", Stored().at(L"74951234567").first);
    // From "Импорт…" the window reads the files again by itself; opened directly here, a refresh does.
    ::SendMessageW(Item(browser, IDC_DIRBROWSER_REFRESH), BM_CLICK, 0, 0);
    EXPECT_EQ(5, ListView_GetItemCount(List(browser)));
}

TEST_F(DirectoryBrowserTest, ImportOfALargeFileRunsBesideTheWindowAndCanBeCancelled) {
    const HWND browser = OpenBrowser();
    // A note folded a million times and numbers enough to keep the worker busy.
    std::string vcard = "BEGIN:VCARD\r\nFN:x\r\nTEL:84951234567\r\nNOTE:a=\r\n";
    for (int i = 0; i < 3'000'000; ++i) vcard += " a=\r\n";
    vcard += "END:VCARD\r\n";
    const HWND preview = OpenImport(browser, vcard);
    // Open has returned while the file is still being read.
    ASSERT_TRUE(::IsWindowVisible(Item(preview, IDC_DIRIMPORT_PROGRESS)));
    EXPECT_EQ(L"Чтение файла…", Text(Item(preview, IDC_DIRIMPORT_STATUS)));
    EXPECT_FALSE(::IsWindowEnabled(Item(preview, IDOK)));
    // This thread's messages keep being handled meanwhile, as the popups' are.
    int ticks = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, nullptr);
    PumpUntil([&] {
        MSG message;
        while (::PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) ++ticks;
        return ticks >= 5;
    }, kGenerousWaitMs);
    ::KillTimer(nullptr, timer);
    EXPECT_GE(ticks, 5);
    ::SendMessageW(Item(preview, IDCANCEL), BM_CLICK, 0, 0);
    PumpPending();
    EXPECT_FALSE(::IsWindow(preview));
    EXPECT_TRUE(::IsWindowEnabled(browser));

    // Read to the end, the card's note is too long for another workstation.
    const HWND again = OpenImport(browser, vcard);
    ASSERT_TRUE(WaitForImportStep(again));
    EXPECT_EQ(L"Новых: 0, изменённых: 0, без изменений: 0, отклонено: 1, повторов номера: 0",
              Text(Item(again, IDC_DIRIMPORT_COUNTS)));
    EXPECT_NE(std::wstring::npos, Shown(Item(again, IDC_DIRIMPORT_REJECTED)).at(0).find(L"комментарий длиннее"));
    EXPECT_FALSE(::IsWindowEnabled(Item(again, IDOK)));
}

TEST_F(DirectoryBrowserTest, ImportOffersAtMostAHundredColumnsAndSaysSo) {
    const HWND browser = OpenBrowser();
    std::string csv = "Телефон;Имя";
    for (int i = 0; i < 5000; ++i) csv += ";столбец";
    csv += "\r\n8 495 000-11-22;Новый абонент\r\n";
    const HWND preview = OpenImport(browser, csv);
    ASSERT_TRUE(WaitForImportStep(preview));
    for (int id : {IDC_DIRIMPORT_NUMBER, IDC_DIRIMPORT_NAME, IDC_DIRIMPORT_COMMENT})
        EXPECT_EQ(100, ListView_GetItemCount(Item(preview, id))) << id;
    // The organisation's box offers "(нет)" besides.
    EXPECT_EQ(101, ::SendMessageW(Item(preview, IDC_DIRIMPORT_ORGANIZATION), CB_GETCOUNT, 0, 0));
    EXPECT_EQ(L"Столбцов в файле: 5002; предложены первые 100.", Text(Item(preview, IDC_DIRIMPORT_STATUS)));
    EXPECT_EQ(L"Новых: 1, изменённых: 0, без изменений: 0, отклонено: 0, повторов номера: 0",
              Text(Item(preview, IDC_DIRIMPORT_COUNTS)));
}

TEST_F(DirectoryBrowserTest, AnImportFileThatIsNoTextIsToldAndTheWindowCloses) {
    const HWND browser = OpenBrowser();
    const MessageBoxAnswer answer(IDOK);
    const HWND preview = OpenImport(browser, "\xEF\xBB\xBF" + std::string("84951234567;\0;x", 15));
    PumpUntil([preview] { return !::IsWindow(preview); }, kGenerousWaitMs);
    EXPECT_FALSE(::IsWindow(preview));
    EXPECT_NE(std::wstring::npos, MessageBoxAnswer::Text().find(L"не является текстом")) << WideToUtf8(MessageBoxAnswer::Text());
    EXPECT_TRUE(::IsWindowEnabled(browser));
}

namespace {

// An address book as a Russian desktop mail client exports it: Windows-1251,
// a quoted header, the name in parts, several phone columns.
std::string RussianDesktopExport() {
    return Windows1251(
        L"\"Имя\",\"Отчество\",\"Фамилия\",\"Организация\",\"Должность\",\"Рабочий телефон\",\"Телефон 2 (раб.)\","
        L"\"Мобильный телефон\",\"Домашний телефон\",\"Заметки\"\r\n"
        L"\"Ольга\",\"Петровна\",\"Лебедева\",\"ООО Ромашка\",\"бухгалтер\",\"8 (495) 111-22-33\",\"\","
        L"\"+7 916 555-44-33\",\"\",\"\"\r\n"
        L"\"Иван\",\"\",\"Смирнов\",\"\",\"\",\"\",\"\",\"8 903 123-45-67\",\"\",\"звонить вечером\"\r\n");
}

}  // namespace

TEST_F(DirectoryBrowserTest, AnAddressBookImportsEveryNumberUnderTheFullNameWithoutTouchingAChooser) {
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::wstring> numbers, names, comments;
        std::wstring organization;
        std::vector<std::wstring> rows;
    };
    const Case cases[] = {
        {"desktop mail client, Russian, Windows-1251",
         RussianDesktopExport(),
         {L"Рабочий телефон: 8 (495) 111-22-33", L"Телефон 2 (раб.)", L"Мобильный телефон: +7 916 555-44-33",
          L"Домашний телефон"},
         {L"Фамилия: Лебедева", L"Имя: Ольга", L"Отчество: Петровна"},
         {L"Должность: бухгалтер", L"Заметки: звонить вечером"},
         L"Организация: ООО Ромашка",
         {L"2|74951112233|Лебедева Ольга Петровна|Организация: ООО Ромашка; Должность: бухгалтер|новый",
          L"2|79165554433|Лебедева Ольга Петровна|Организация: ООО Ромашка; Должность: бухгалтер|новый",
          L"3|79031234567|Смирнов Иван|звонить вечером|новый"}},
        {"web mail, UTF-8 with numbered phone pairs",
         WideToUtf8(L"Name,Given Name,Additional Name,Family Name,Organization 1 - Name,Organization 1 - Title,Notes,"
                    L"Phone 1 - Type,Phone 1 - Value,Phone 2 - Type,Phone 2 - Value\n"
                    L"Ольга Лебедева,Ольга,,Лебедева,,,,Mobile,+7 916 555-00-01,Work,"
                    L"+7 495 111-00-02 ::: +7 495 111-00-03\n"
                    L"Пётр Ким,Пётр,,Ким,Вектор,инженер,,Work,8 (812) 700-00-02,,\n"),
         {L"Phone 1 - Value: +7 916 555-00-01", L"Phone 2 - Value: +7 495 111-00-02 ::: +7 495 111-00-03"},
         {L"Given Name: Ольга", L"Additional Name", L"Family Name: Лебедева"},
         {L"Organization 1 - Title: инженер", L"Notes"},
         L"Organization 1 - Name: Вектор",
         {L"2|79165550001|Ольга Лебедева||новый", L"2|74951110002|Ольга Лебедева||новый",
          L"2|74951110003|Ольга Лебедева||новый",
          L"3|78127000002|Пётр Ким|Organization 1 - Name: Вектор; Organization 1 - Title: инженер|новый"}},
    };
    const HWND browser = OpenBrowser();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        size_t written = 0;
        const HWND preview = OpenImport(browser, c.bytes, &written);
        ASSERT_TRUE(WaitForImportStep(preview));
        EXPECT_EQ(c.numbers, Ticked(Item(preview, IDC_DIRIMPORT_NUMBER)));
        EXPECT_EQ(c.names, Ticked(Item(preview, IDC_DIRIMPORT_NAME)));
        EXPECT_EQ(c.comments, Ticked(Item(preview, IDC_DIRIMPORT_COMMENT)));
        EXPECT_EQ(c.organization, Text(Item(preview, IDC_DIRIMPORT_ORGANIZATION)));
        EXPECT_EQ(c.rows, Shown(Item(preview, IDC_DIRIMPORT_ROWS)));
        EXPECT_EQ(std::vector<std::wstring>{}, Shown(Item(preview, IDC_DIRIMPORT_REJECTED)));

        ::SendMessageW(Item(preview, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitForImportStep(preview));
        PumpPending();
        EXPECT_FALSE(::IsWindow(preview));
        EXPECT_EQ(c.rows.size(), written);
        const auto stored = Stored();
        for (const std::wstring& row : c.rows) {
            const size_t number = row.find(L'|') + 1;
            const size_t name = row.find(L'|', number) + 1;
            const size_t comment = row.find(L'|', name) + 1;
            const std::wstring phone = row.substr(number, name - number - 1);
            ASSERT_EQ(1u, stored.count(phone)) << WideToUtf8(phone);
            EXPECT_EQ(row.substr(name, comment - name - 1), stored.at(phone).first);
            EXPECT_EQ(row.substr(comment, row.find(L'|', comment) - comment), stored.at(phone).second);
        }
    }
}

TEST_F(DirectoryBrowserTest, UntickedColumnsLeaveTheImportAndThePreviewFollowsEveryTick) {
    const HWND browser = OpenBrowser();
    size_t written = 0;
    const HWND preview = OpenImport(browser, RussianDesktopExport(), &written);
    ASSERT_TRUE(WaitForImportStep(preview));
    ASSERT_EQ(3u, Shown(Item(preview, IDC_DIRIMPORT_ROWS)).size());

    // Two ticks in a row: the preview started by the first is built again for both.
    ASSERT_TRUE(Tick(Item(preview, IDC_DIRIMPORT_NUMBER), L"Мобильный телефон: +7 916 555-44-33", false));
    ASSERT_TRUE(Tick(Item(preview, IDC_DIRIMPORT_NAME), L"Отчество: Петровна", false));
    ASSERT_TRUE(WaitForImportStep(preview));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"2|74951112233|Лебедева Ольга|Организация: ООО Ромашка; Должность: бухгалтер|новый"}),
              Shown(Item(preview, IDC_DIRIMPORT_ROWS)));
    // Смирнов's only number was his mobile.
    EXPECT_EQ(L"Новых: 1, изменённых: 0, без изменений: 0, отклонено: 1, повторов номера: 0",
              Text(Item(preview, IDC_DIRIMPORT_COUNTS)));
    ASSERT_EQ(1u, Shown(Item(preview, IDC_DIRIMPORT_REJECTED)).size());
    EXPECT_EQ(L"3|", Shown(Item(preview, IDC_DIRIMPORT_REJECTED))[0].substr(0, 2));

    // Without the organisation's column, Лебедева's comment is her position alone.
    ::SendMessageW(Item(preview, IDC_DIRIMPORT_ORGANIZATION), CB_SETCURSEL, 0, 0);
    ::SendMessageW(preview, WM_COMMAND, MAKEWPARAM(IDC_DIRIMPORT_ORGANIZATION, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(Item(preview, IDC_DIRIMPORT_ORGANIZATION)));
    ASSERT_TRUE(WaitForImportStep(preview));
    EXPECT_EQ((std::vector<std::wstring>{L"2|74951112233|Лебедева Ольга|бухгалтер|новый"}),
              Shown(Item(preview, IDC_DIRIMPORT_ROWS)));

    ::SendMessageW(Item(preview, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForImportStep(preview));
    PumpPending();
    EXPECT_EQ(1u, written);
    const auto stored = Stored();
    EXPECT_EQ((std::pair<std::wstring, std::wstring>{L"Лебедева Ольга", L"бухгалтер"}), stored.at(L"74951112233"));
    EXPECT_EQ(0u, stored.count(L"79165554433"));
    EXPECT_EQ(0u, stored.count(L"79031234567"));
    EXPECT_EQ(kRows.size() + 1, stored.size());
}

TEST_F(DirectoryBrowserTest, TheImportWindowsControlsStayApartAndInsideItAtEveryDpi) {
    const auto apart = [](const std::vector<TControlPlace>& places, RECT client) {
        std::vector<std::wstring> faults;
        for (size_t i = 0; i < places.size(); ++i) {
            RECT inside{};
            if (!::IntersectRect(&inside, &places[i].Bounds, &client) || !::EqualRect(&inside, &places[i].Bounds))
                faults.push_back(std::to_wstring(places[i].Control) + L" leaves the window");
            for (size_t j = i + 1; j < places.size(); ++j) {
                RECT overlap{};
                if (::IntersectRect(&overlap, &places[i].Bounds, &places[j].Bounds))
                    faults.push_back(std::to_wstring(places[i].Control) + L" overlaps " +
                                     std::to_wstring(places[j].Control));
            }
        }
        return faults;
    };
    for (const int dpi : {96, 120, 144}) {
        SCOPED_TRACE(dpi);
        const RECT client{0, 0, ::MulDiv(kImportClientWidth, dpi, 96), ::MulDiv(kImportClientHeight, dpi, 96)};
        const std::vector<TControlPlace> places = ImportFormLayout(dpi);
        EXPECT_EQ(19u, places.size());
        EXPECT_EQ(std::vector<std::wstring>{}, apart(places, client));
    }

    // The real window at this display's DPI: what shows is placed so, and every
    // chooser has a label whose Alt+letter is its own.
    const HWND browser = OpenBrowser();
    const HWND preview = OpenImport(browser, RussianDesktopExport());
    ASSERT_TRUE(WaitForImportStep(preview));
    RECT client{};
    ::GetClientRect(preview, &client);
    const int dpi = static_cast<int>(::GetDpiForWindow(preview));
    EXPECT_EQ(::MulDiv(kImportClientWidth, dpi, 96), client.right);
    EXPECT_EQ(::MulDiv(kImportClientHeight, dpi, 96), client.bottom);
    std::vector<TControlPlace> shown;
    std::vector<std::pair<wchar_t, int>> mnemonics;
    for (HWND child = ::GetWindow(preview, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) continue;
        RECT bounds{};
        ::GetWindowRect(child, &bounds);
        ::MapWindowPoints(nullptr, preview, reinterpret_cast<POINT*>(&bounds), 2);
        shown.push_back({::GetDlgCtrlID(child), bounds});
        const std::wstring text = Text(child);
        const size_t at = text.find(L'&');
        if (at == std::wstring::npos || at + 1 >= text.size()) continue;
        wchar_t letter = text[at + 1];
        ::CharLowerBuffW(&letter, 1);
        for (const auto& [other, id] : mnemonics)
            EXPECT_NE(other, letter) << "controls " << id << " and " << ::GetDlgCtrlID(child) << " share a mnemonic";
        mnemonics.emplace_back(letter, ::GetDlgCtrlID(child));
    }
    EXPECT_EQ(18u, shown.size()) << "all but the progress bar";
    EXPECT_EQ(std::vector<std::wstring>{}, apart(shown, client));
    EXPECT_EQ(std::vector<std::wstring>{}, ControlsWithoutLabel(preview));
    EXPECT_EQ(L"&Имя из столбцов, по порядку:", LabelOf(Item(preview, IDC_DIRIMPORT_NAME)));
    EXPECT_EQ(L"Ор&ганизация:", LabelOf(Item(preview, IDC_DIRIMPORT_ORGANIZATION)));
}

TEST_F(DirectoryBrowserTest, OpensAgainWithTheSizePlaceAndColumnWidthsItWasLeftWith) {
    ExpectReopensAsLeft(
        L"Directory", [this] { return OpenBrowser(); },
        [](HWND) {
            TDirectoryBrowserForm::CloseAll();
            PumpPending();
        },
        IDC_DIRBROWSER_LIST, 0);
}

TEST_F(DirectoryBrowserTest, TheWindowShowsAtOnceAndItsRowsFollowOrItClosesWhileTheyAreRead) {
    HWND browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), Source());
    EXPECT_TRUE(::IsWindowVisible(browser));
    EXPECT_EQ(L"Чтение справочника…", Text(Item(browser, IDC_DIRBROWSER_STATUS)));
    EXPECT_EQ(0, ListView_GetItemCount(List(browser)));
    // Typed before the rows are there: the search applies to them when they come.
    ::SetWindowTextW(Item(browser, IDC_DIRBROWSER_SEARCH), L"Ёжиков");
    WaitForRows();
    EXPECT_EQ(std::vector<std::wstring>{L"74959876543|Ёжиков Пётр|Москва|две  строки"}, Shown(List(browser)));
    EXPECT_EQ(L"Найдено: 1 из 4", Text(Item(browser, IDC_DIRBROWSER_STATUS)));

    // Closed before its rows are read: the read is waited out, nothing is left behind.
    TDirectoryBrowserForm::CloseAll();
    browser = TDirectoryBrowserForm::Open(::GetModuleHandleW(nullptr), Source());
    TDirectoryBrowserForm::CloseAll();
    PumpPending();
    EXPECT_FALSE(::IsWindow(browser));
    EXPECT_EQ(nullptr, TDirectoryBrowserForm::Current());
}
