// The call journal window on the virtual display, driven as a user would: what
// the rows show, the colour of missed calls, typing in the search box, Enter and
// double-click, copying a number, calls that arrive while it is open.
#include "CallJournalForm.h"
#include "CallbackLink.h"
#include "CrmLink.h"
#include "CallJournalRes.h"
#include "ClipboardText.h"
#include "FileBytes.h"
#include "TestFolders.h"
#include "TextConvert.h"
#include "ControlLabels.h"
#include "MessagePump.h"
#include "UniqueHandle.h"
#include "WindowLayoutCheck.h"
#include "WindowText.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

constexpr int64_t kT0 = 1'765'000'000'000;
constexpr int kColumns = 8;

TCallRecord Call(int64_t id, int64_t startSeconds, const std::wstring& channel, const std::wstring& number,
                 const std::wstring& name, const std::wstring& region, TCallOutcome outcome, int64_t duration) {
    TCallRecord record;
    record.Id = id;
    record.StartTime = kT0 + startSeconds * 1000;
    record.EndTime = record.StartTime + (duration + 5) * 1000;
    record.Channel = channel;
    record.Caller.Number = number;
    record.Caller.Name = name;
    record.Caller.Region = region;
    record.Outcome = outcome;
    record.DurationSeconds = duration;
    return record;
}

// Newest first, as the journal reads them.
std::vector<TCallRecord> SampleCalls() {
    return {
        Call(4, 400, L"K3", L"", L"", L"", TCallOutcome::Interrupted, 0),
        Call(3, 300, L"K2", std::wstring(40, L'8'), L"Кафе «Ёлка» 😀☕", L"", TCallOutcome::NoConversation, 0),
        Call(2, 200, L"K1", L"78122345678", L"Петров", L"Санкт-Петербург", TCallOutcome::Missed, 0),
        Call(1, 100, L"Приёмная", L"74951234567", L"Иванов Иван", L"Москва", TCallOutcome::Answered, 3725),
    };
}

class CallJournalWindow : public ::testing::Test {
protected:
    HWND Open(std::vector<TCallRecord> records, int maxCalls = 10000) {
        TCallJournalForm& form = TCallJournalForm::Open(::GetModuleHandleW(nullptr), std::move(records), maxCalls,
                                                        [this](const std::wstring& number) { opened_.push_back(number); });
        PumpPending();
        return form.Handle();
    }
    void TearDown() override {
        if (TCallJournalForm* form = TCallJournalForm::Current()) form->Close();
        PumpPending();
        EXPECT_EQ(nullptr, TCallJournalForm::Current());
    }

    static HWND List(HWND window) { return ::GetDlgItem(window, IDC_JOURNAL_LIST); }
    static int Rows(HWND window) { return ListView_GetItemCount(List(window)); }
    static std::vector<std::wstring> RowTexts(HWND window, int row) {
        std::vector<std::wstring> texts;
        for (int column = 0; column < kColumns; ++column) {
            wchar_t text[512] = {};
            ListView_GetItemText(List(window), row, column, text, 512);
            texts.push_back(text);
        }
        return texts;
    }
    static int Selected(HWND window) { return ListView_GetNextItem(List(window), -1, LVNI_SELECTED); }
    static void Select(HWND window, int row) {
        ListView_SetItemState(List(window), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(List(window), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    // Types into the search box key by key, as the keyboard would.
    static void Type(HWND window, const std::wstring& text) {
        const HWND search = ::GetDlgItem(window, IDC_JOURNAL_SEARCH);
        ::SetFocus(search);
        for (wchar_t c : text) ::SendMessageW(search, WM_CHAR, c, 0);
        PumpPending();
    }
    static void ClearSearch(HWND window) {
        ::SetDlgItemTextW(window, IDC_JOURNAL_SEARCH, L"");
        PumpPending();
    }
    static void PressEnter(HWND control) {
        ::SetFocus(control);
        ::PostMessageW(control, WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(control, WM_KEYUP, VK_RETURN, 0);
        PumpPending();
    }
    // The colour in the middle of a row, right of its first column's text.
    static COLORREF RowColour(HWND window, int row) {
        const HWND list = List(window);
        RECT bounds{};
        ListView_GetItemRect(list, row, &bounds, LVIR_BOUNDS);
        RECT client{};
        ::GetClientRect(list, &client);
        WindowDC screen(nullptr);
        UniqueGdiObject bitmap(::CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
        HDC memory = ::CreateCompatibleDC(screen.get());
        const HGDIOBJ old = ::SelectObject(memory, bitmap.get());
        ::PrintWindow(list, memory, PRF_CLIENT);
        const int x = ListView_GetColumnWidth(list, 0) - 4;
        const COLORREF colour = ::GetPixel(memory, x, (bounds.top + bounds.bottom) / 2);
        ::SelectObject(memory, old);
        ::DeleteDC(memory);
        return colour;
    }

    std::vector<std::wstring> opened_;
};

}  // namespace

TEST_F(CallJournalWindow, ListsTheCallsNewestFirstWithEveryColumn) {
    const HWND window = Open(SampleCalls());
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(L"Журнал вызовов", WindowText(window));
    EXPECT_TRUE(::IsWindowVisible(window));
    ASSERT_EQ(4, Rows(window));
    const auto answered = RowTexts(window, 3);
    EXPECT_EQ(19u, answered[0].size()) << "dd.mm.yyyy hh:mm:ss";
    EXPECT_EQ((std::vector<std::wstring>{L"Приёмная", L"74951234567", L"Иванов Иван", L"Москва", L"Отвечен", L"1:02:05",
                                         L""}),
              std::vector<std::wstring>(answered.begin() + 1, answered.end()));
    const auto tail = [&](int row) {
        const auto texts = RowTexts(window, row);
        return std::vector<std::wstring>(texts.begin() + 1, texts.end());
    };
    EXPECT_EQ((std::vector<std::wstring>{L"K1", L"78122345678", L"Петров", L"Санкт-Петербург", L"Пропущен", L"", L""}),
              tail(2));
    EXPECT_EQ((std::vector<std::wstring>{L"K2", std::wstring(40, L'8'), L"Кафе «Ёлка» 😀☕", L"", L"Без разговора", L"", L""}),
              tail(1));
    EXPECT_EQ((std::vector<std::wstring>{L"K3", L"", L"", L"", L"Прерван", L"", L""}), tail(0));
    EXPECT_EQ(L"Вызовов в журнале: 4", WindowText(::GetDlgItem(window, IDC_JOURNAL_COUNT)));
    EXPECT_EQ(0, Selected(window)) << "the newest call is chosen";
}

TEST_F(CallJournalWindow, TheSearchBoxAndTheListHaveLabelsThatAScreenReaderReadsAndAKeyReaches) {
    const HWND window = Open(SampleCalls());
    EXPECT_EQ(std::vector<std::wstring>{}, ControlsWithoutLabel(window));
    EXPECT_EQ(L"&Поиск:", LabelOf(::GetDlgItem(window, IDC_JOURNAL_SEARCH)));
    EXPECT_EQ(L"&Вызовы:", LabelOf(List(window)));
    RECT label{}, list{}, search{}, overlap{};
    ::GetWindowRect(::GetDlgItem(window, IDC_JOURNAL_LIST_LABEL), &label);
    ::GetWindowRect(List(window), &list);
    ::GetWindowRect(::GetDlgItem(window, IDC_JOURNAL_SEARCH), &search);
    EXPECT_LE(label.bottom, list.top);
    EXPECT_GE(label.top, search.bottom);
    EXPECT_FALSE(::IntersectRect(&overlap, &label, &list));
}

TEST_F(CallJournalWindow, MissedCallsStandOutInColour) {
    const HWND window = Open(SampleCalls());
    // No row chosen, so that the selection colour hides nothing.
    ListView_SetItemState(List(window), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    PumpFor(200);
    const COLORREF missed = RowColour(window, 2);
    const COLORREF answered = RowColour(window, 3);
    EXPECT_EQ(RGB(255, 228, 228), missed);
    EXPECT_NE(missed, answered);
    EXPECT_EQ(answered, RowColour(window, 1)) << "only missed calls differ";
}

TEST_F(CallJournalWindow, TypingFiltersByDigitsOfTheNumberOrLettersOfTheName) {
    const HWND window = Open(SampleCalls());
    const struct {
        std::wstring typed;
        std::vector<std::wstring> channels;
    } cases[] = {
        {L"495", {L"Приёмная"}},
        {L"8", {L"K2", L"K1"}},
        {L"+7 (812)", {L"K1"}},
        {L"ИВАН", {L"Приёмная"}},
        {L"ЁЛКА» 😀", {L"K2"}},
        {L"Москва", {}},
        {L"", {L"K3", L"K2", L"K1", L"Приёмная"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "typed " << c.typed.size() << " characters");
        ClearSearch(window);
        Type(window, c.typed);
        std::vector<std::wstring> channels;
        for (int row = 0; row < Rows(window); ++row) channels.push_back(RowTexts(window, row)[1]);
        EXPECT_EQ(c.channels, channels);
        const std::wstring count = WindowText(::GetDlgItem(window, IDC_JOURNAL_COUNT));
        EXPECT_EQ(c.channels.size() == 4 ? L"Вызовов в журнале: 4"
                                         : L"Найдено вызовов: " + std::to_wstring(c.channels.size()) + L" / 4",
                  count);
        EXPECT_EQ(c.channels.empty() ? -1 : 0, Selected(window)) << "the newest match is chosen";
    }
}

TEST_F(CallJournalWindow, TypedNumbersAreReadAsDialledWithTheDiallingSettings) {
    const HWND window = Open(SampleCalls());
    const auto channelsFor = [&](const std::wstring& typed) {
        ClearSearch(window);
        Type(window, typed);
        std::vector<std::wstring> channels;
        for (int row = 0; row < Rows(window); ++row) channels.push_back(RowTexts(window, row)[1]);
        return channels;
    };
    const struct {
        std::wstring typed;
        std::vector<std::wstring> channels;
    } cases[] = {
        {L"8 (495) 123-45-67", {L"Приёмная"}},
        {L"+7 495 123 45 67", {L"Приёмная"}},
        {L"234-56-78", {L"K1"}},
        {L"8 (812)", {L"K1"}},
        {L"9 8 (812)", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "typed " << c.typed.size() << " characters");
        EXPECT_EQ(c.channels, channelsFor(c.typed));
    }

    // The settings name an outside-line digit: what is typed is read again at once.
    TDiallingSettings dialling;
    dialling.FCityPrefixes = {L"9"};
    TCallJournalForm::Current()->SetDialling(dialling);
    PumpPending();
    ASSERT_EQ(1, Rows(window));
    EXPECT_EQ(L"K1", RowTexts(window, 0)[1]);
}

TEST_F(CallJournalWindow, EnterAndDoubleClickOpenTheContactOfTheChosenCall) {
    const HWND window = Open(SampleCalls());
    Type(window, L"7812");
    PressEnter(::GetDlgItem(window, IDC_JOURNAL_SEARCH));
    EXPECT_EQ(std::vector<std::wstring>{L"78122345678"}, opened_) << "Enter right after typing";

    ClearSearch(window);
    Select(window, 3);
    PressEnter(List(window));
    ASSERT_EQ(2u, opened_.size());
    EXPECT_EQ(L"74951234567", opened_[1]);

    RECT row{};
    ListView_GetItemRect(List(window), 1, &row, LVIR_LABEL);
    const LPARAM at = MAKELPARAM(row.left + 5, (row.top + row.bottom) / 2);
    ::SendMessageW(List(window), WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(List(window), WM_LBUTTONUP, 0, at);
    ::SendMessageW(List(window), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    ::SendMessageW(List(window), WM_LBUTTONUP, 0, at);
    PumpPending();
    ASSERT_EQ(3u, opened_.size());
    EXPECT_EQ(std::wstring(40, L'8'), opened_[2]);

    Select(window, 0);
    PressEnter(List(window));
    EXPECT_EQ(3u, opened_.size()) << "a withheld number has no contact";
}

TEST_F(CallJournalWindow, CopiesTheNumberOfTheChosenCall) {
    const HWND window = Open(SampleCalls());
    Select(window, 2);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_JOURNAL_COPYNUMBER, 0), 0);
    EXPECT_EQ(L"78122345678", GetClipboardText(window));
    Select(window, 1);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_JOURNAL_COPYNUMBER, 0), 0);
    EXPECT_EQ(std::wstring(40, L'8'), GetClipboardText(window));
}

TEST_F(CallJournalWindow, OpensTheCrmCardOfTheChosenCallButNotOfAWithheldOne) {
    const HWND window = Open(SampleCalls());
    std::vector<std::wstring> cards;
    TCallJournalForm::Current()->SetOpenCrm(
        [&](const TCallRecord& call) { cards.push_back(call.Caller.Number + L"|" + call.Caller.Name + L"|" + call.Channel); });
    Select(window, 2);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_JOURNAL_OPENCRM, 0), 0);
    Select(window, 0);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_JOURNAL_OPENCRM, 0), 0);
    ASSERT_EQ(1u, cards.size());
    EXPECT_EQ(L"78122345678|Петров|K1", cards[0]);
}

TEST_F(CallJournalWindow, EnterAndTheContextMenuCallTheChosenCallerBackWithTheDialledNumberEncoded) {
    std::vector<TCallRecord> calls = SampleCalls();
    calls.insert(calls.begin(), Call(5, 500, L"K1\" & start evil", L"7495&x=1 \"/c", L"", L"", TCallOutcome::Missed, 0));
    const HWND window = Open(std::move(calls));
    std::vector<std::wstring> urls;
    SetCrmUrlOpener([&urls](const std::wstring& url, std::wstring&) {
        urls.push_back(url);
        return true;
    });
    TCallJournalForm::Current()->SetCallBack([](const TCallRecord& call) {
        CallBack({L"sip:{number}@pbx.example;line={channel}", L"9"}, TDiallingSettings{}, call.Caller, call.Channel);
    });
    Select(window, 4);  // Иванов, Москва: a number of the own city
    PressEnter(List(window));
    Select(window, 3);  // Петров, Санкт-Петербург: long distance
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_JOURNAL_CALLBACK, 0), 0);
    Select(window, 0);  // a number and a channel that try to leave their places
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_JOURNAL_CALLBACK, 0), 0);
    Select(window, 1);  // withheld: nothing to dial
    PressEnter(List(window));
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_JOURNAL_CALLBACK, 0), 0);
    SetCrmUrlOpener(nullptr);
    EXPECT_EQ((std::vector<std::wstring>{L"sip:91234567@pbx.example;line=%D0%9F%D1%80%D0%B8%D1%91%D0%BC%D0%BD%D0%B0%D1%8F",
                                         L"sip:988122345678@pbx.example;line=K1",
                                         L"sip:7495%26x%3D1%22%2Fc@pbx.example;line=K1%22%20%26%20start%20evil"}),
              urls);
    EXPECT_TRUE(opened_.empty()) << "Enter calls back instead of opening the contact";
    // The contact stays one menu item (and a double click) away.
    Select(window, 4);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_JOURNAL_EDITCONTACT, 0), 0);
    EXPECT_EQ(std::vector<std::wstring>{L"74951234567"}, opened_);
}

TEST_F(CallJournalWindow, ANoteTypedForACallIsKeptShownInItsColumnAndFoundByTheSearch) {
    const HWND window = Open(SampleCalls());
    std::vector<std::pair<int64_t, std::wstring>> saved;
    TCallJournalForm::Current()->SetSaveNote([&saved](int64_t id, const std::wstring& note) {
        saved.emplace_back(id, note);
        return true;
    });
    const HWND note = ::GetDlgItem(window, IDC_JOURNAL_NOTE);
    Select(window, 2);  // Петров
    PumpPending();
    EXPECT_EQ(L"", WindowText(note));
    ::SetFocus(note);
    for (wchar_t c : std::wstring(L"Перезвонить; договор «Ёлка»")) ::SendMessageW(note, WM_CHAR, c, 0);
    PressEnter(note);
    ASSERT_EQ(1u, saved.size());
    EXPECT_EQ(2, saved[0].first);
    EXPECT_EQ(L"Перезвонить; договор «Ёлка»", saved[0].second);
    EXPECT_EQ(L"Перезвонить; договор «Ёлка»", RowTexts(window, 2)[7]);

    // Choosing another call keeps a changed note first, then shows the other's.
    ::SendMessageW(note, WM_CHAR, L'!', 0);
    Select(window, 3);
    PumpPending();
    ASSERT_EQ(2u, saved.size());
    EXPECT_EQ(L"Перезвонить; договор «Ёлка»!", saved[1].second);
    EXPECT_EQ(L"", WindowText(note));

    Type(window, L"договор");
    ASSERT_EQ(1, Rows(window));
    EXPECT_EQ(L"Петров", RowTexts(window, 0)[3]);
    EXPECT_EQ(L"Перезвонить; договор «Ёлка»!", WindowText(note));
}

TEST_F(CallJournalWindow, ExportWritesWhatTheListShowsAsCsvThatReadsBackWithCyrillicIntact) {
    const HWND window = Open(SampleCalls());
    Type(window, L"пет");  // only Петров
    TempFolder folder;
    const std::wstring path = folder.file(L"Журнал.csv");
    std::wstring error;
    ASSERT_TRUE(TCallJournalForm::Current()->ExportTo(path, error)) << WideToUtf8(error);
    const std::string bytes = ReadFileBytes(path);
    ASSERT_EQ("\xEF\xBB\xBF", bytes.substr(0, 3));
    const std::wstring text = Utf8ToWide(bytes.substr(3));
    const size_t headerEnd = text.find(L"\r\n");
    EXPECT_EQ(L"Время;Канал;Номер;Имя;Регион;Результат;Длительность;Заметка", text.substr(0, headerEnd));
    const std::wstring row = text.substr(headerEnd + 2);
    EXPECT_EQ(L";K1;78122345678;Петров;Санкт-Петербург;Пропущен;;\r\n", row.substr(row.find(L';')))
        << "one row, the search applied";
    EXPECT_EQ(UserDateTimeText(SampleCalls()[2].StartTime), row.substr(0, row.find(L';')));
    EXPECT_FALSE(TCallJournalForm::Current()->ExportTo(folder.file(L"нет такой папки\\x.csv"), error));
    EXPECT_FALSE(error.empty());
}

TEST_F(CallJournalWindow, ACallThatEndsWhileItIsOpenGoesOnTopAndEscapeCloses) {
    const HWND window = Open(SampleCalls(), 5);
    Type(window, L"иван");
    ASSERT_EQ(1, Rows(window));
    TCallJournalForm::Current()->AddRecord(
        Call(5, 500, L"K9", L"74997654321", L"Иванова", L"Москва", TCallOutcome::Missed, 0));
    PumpPending();
    ASSERT_EQ(2, Rows(window)) << "the filter holds for new calls too";
    EXPECT_EQ(L"K9", RowTexts(window, 0)[1]);
    EXPECT_EQ(1, Selected(window)) << "the chosen call stays chosen";
    EXPECT_EQ(L"Найдено вызовов: 2 / 5", WindowText(::GetDlgItem(window, IDC_JOURNAL_COUNT)));

    TCallJournalForm::Current()->AddRecord(
        Call(6, 600, L"K8", L"74997654322", L"Сидоров", L"Москва", TCallOutcome::Answered, 10));
    PumpPending();
    ASSERT_EQ(1, Rows(window)) << "the oldest call beyond the limit drops out";
    EXPECT_EQ(L"K9", RowTexts(window, 0)[1]);
    EXPECT_EQ(L"Найдено вызовов: 1 / 5", WindowText(::GetDlgItem(window, IDC_JOURNAL_COUNT)));

    // Opening again brings the same window forward with what the journal holds.
    EXPECT_EQ(window, Open(SampleCalls()));
    ::PostMessageW(::GetDlgItem(window, IDC_JOURNAL_SEARCH), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpUntil([&] { return !::IsWindow(window); });
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(nullptr, TCallJournalForm::Current());
}

TEST_F(CallJournalWindow, TenThousandCallsOpenAsAVirtualList) {
    std::vector<TCallRecord> calls;
    for (int i = 10000; i > 0; --i)
        calls.push_back(Call(i, i, L"K1", L"7495" + std::to_wstring(1000000 + i), L"Абонент " + std::to_wstring(i),
                             L"Москва", i % 3 ? TCallOutcome::Answered : TCallOutcome::Missed, i % 600));
    const HWND window = Open(std::move(calls));
    EXPECT_EQ(10000, Rows(window));
    EXPECT_EQ(L"Абонент 10000", RowTexts(window, 0)[3]);
    EXPECT_EQ(L"Абонент 1", RowTexts(window, 9999)[3]);
    Type(window, L"1234");
    EXPECT_EQ(1, Rows(window));
    EXPECT_EQ(L"74951001234", RowTexts(window, 0)[2]);
}

TEST_F(CallJournalWindow, OpensAgainWithTheSizePlaceAndColumnWidthsItWasLeftWith) {
    ExpectReopensAsLeft(
        L"CallJournal", [this] { return Open(SampleCalls()); },
        [](HWND window) {
            ::SendMessageW(window, WM_CLOSE, 0, 0);
            PumpPending();
        },
        IDC_JOURNAL_LIST, 0);
}
