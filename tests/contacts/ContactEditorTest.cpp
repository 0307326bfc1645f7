// The contact editor on the virtual display: its look, where the focus starts,
// when Save is available, the Enter and Escape keys, what a save hands over,
// the preview, and two editors at once.
#include <gtest/gtest.h>

#include "AppError.h"
#include "ContactEditorForm.h"
#include "ContactEditorRes.h"
#include "EditorTestSupport.h"
#include "FakeSubscriberStore.h"
#include "SaveDataThreadUnit.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

using namespace contactstest;

namespace {

constexpr DWORD kGenerousWaitMs = 30000;

class ContactEditorTest : public testing::Test {
protected:
    HWND Open(const std::wstring& number, const std::wstring& name, const std::wstring& comment,
              bool isPreview = false) {
        const HWND editor =
            TEditorForm::Open(::GetModuleHandleW(nullptr), number, name, comment, isPreview, store_.Saver());
        opened_.push_back(editor);
        PumpPending();
        return editor;
    }

    void TearDown() override {
        for (HWND editor : opened_)
            if (::IsWindow(editor)) ::DestroyWindow(editor);
        PumpPending();
        EXPECT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
    }

    // All saves that were started have ended; what reached the store.
    std::vector<StoredSave> Saved() {
        EXPECT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
        return store_.Saves();
    }

    static HWND Item(HWND editor, int id) { return ::GetDlgItem(editor, id); }
    static bool SaveEnabled(HWND editor) { return ::IsWindowEnabled(Item(editor, IDC_EDITOR_SAVE)) != FALSE; }
    static void FocusOn(HWND editor, int id) {
        ::SendMessageW(editor, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(editor, id)), TRUE);
        ASSERT_EQ(Item(editor, id), ::GetFocus());
    }

    FakeSubscriberStore store_;
    std::vector<HWND> opened_;
};

TEST_F(ContactEditorTest, LooksAsDesigned) {
    const HWND editor = Open(L"79161234567", L"Иван", L"");
    ASSERT_TRUE(::IsWindowVisible(editor));
    EXPECT_EQ(L"Изменение данных абонента", Text(editor));

    const LONG_PTR style = ::GetWindowLongPtrW(editor, GWL_STYLE);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(editor, GWL_EXSTYLE);
    EXPECT_EQ(WS_CAPTION, style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD));
    EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
    EXPECT_EQ(nullptr, ::GetWindow(editor, GW_OWNER));

    RECT client{};
    ::GetClientRect(editor, &client);
    EXPECT_EQ(280, client.right);
    EXPECT_EQ(203, client.bottom);

    RECT bounds{};
    ::GetWindowRect(editor, &bounds);
    EXPECT_NEAR(::GetSystemMetrics(SM_CXSCREEN) / 2, (bounds.left + bounds.right) / 2, 1);
    EXPECT_NEAR(::GetSystemMetrics(SM_CYSCREEN) / 2, (bounds.top + bounds.bottom) / 2, 1);

    struct Control {
        int id;
        RECT bounds;
        const wchar_t* text;
    };
    const Control controls[] = {
        {IDC_EDITOR_PHONE, {8, 20, 273, 41}, L"79161234567"},
        {IDC_EDITOR_NAME, {9, 60, 274, 81}, L"Иван"},
        {IDC_EDITOR_COMMENT, {8, 99, 272, 159}, L""},
        {IDC_EDITOR_SAVE, {116, 168, 191, 193}, L"Сохранить"},
        {IDC_EDITOR_CANCEL, {197, 168, 272, 193}, L"Отмена"},
    };
    for (const Control& control : controls) {
        const HWND child = Item(editor, control.id);
        ASSERT_TRUE(child) << control.id;
        const RECT rect = ChildRect(child);
        EXPECT_EQ(control.bounds.left, rect.left) << control.id;
        EXPECT_EQ(control.bounds.top, rect.top) << control.id;
        EXPECT_EQ(control.bounds.right, rect.right) << control.id;
        EXPECT_EQ(control.bounds.bottom, rect.bottom) << control.id;
        EXPECT_EQ(control.text, Text(child)) << control.id;
    }

    // Labels: above their edits (a labelled edit keeps 3 pixels between them).
    struct Label {
        int id;
        const wchar_t* text;
        int left;
        int top;      // -1: its bottom is 3 pixels above the edit at bottomAbove
        int bottomAbove;
    };
    const Label labels[] = {
        {IDC_EDITOR_PHONE_LABEL, L"Номер абонента:", 8, -1, 20},
        {IDC_EDITOR_NAME_LABEL, L"Имя абонента:", 9, -1, 60},
        {IDC_EDITOR_COMMENT_LABEL, L"Комментарий абонента:", 8, 85, 0},
    };
    for (const Label& label : labels) {
        const HWND child = Item(editor, label.id);
        ASSERT_TRUE(child) << label.id;
        EXPECT_EQ(label.text, Text(child));
        const RECT rect = ChildRect(child);
        EXPECT_EQ(label.left, rect.left) << label.id;
        if (label.top >= 0) EXPECT_EQ(label.top, rect.top) << label.id;
        else EXPECT_EQ(label.bottomAbove - 3, rect.bottom) << label.id;
        EXPECT_GT(rect.bottom - rect.top, 10) << label.id;
    }

    // Every control in Tahoma, 11 pixels high.
    for (HWND child = ::GetWindow(editor, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        LOGFONTW font{};
        const auto handle = reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0));
        ASSERT_TRUE(handle);
        ASSERT_TRUE(::GetObjectW(handle, sizeof(font), &font));
        EXPECT_EQ(-11, font.lfHeight);
        EXPECT_STREQ(L"Tahoma", font.lfFaceName);
    }

    EXPECT_TRUE(::GetWindowLongPtrW(Item(editor, IDC_EDITOR_PHONE), GWL_STYLE) & ES_READONLY);
    const LONG_PTR memoStyle = ::GetWindowLongPtrW(Item(editor, IDC_EDITOR_COMMENT), GWL_STYLE);
    EXPECT_EQ(ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL, memoStyle & (ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL));

    // Tab order: number, name, comment, Save (once enabled), Cancel.
    ::SetWindowTextW(Item(editor, IDC_EDITOR_NAME), L"Пётр");
    ASSERT_TRUE(SaveEnabled(editor));
    const int order[] = {IDC_EDITOR_PHONE, IDC_EDITOR_NAME, IDC_EDITOR_COMMENT, IDC_EDITOR_SAVE, IDC_EDITOR_CANCEL,
                         IDC_EDITOR_PHONE};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(Item(editor, order[i + 1]), ::GetNextDlgTabItem(editor, Item(editor, order[i]), FALSE)) << i;
}

TEST_F(ContactEditorTest, FocusStartsInTheEmptyNameOrAtTheEndOfTheComment) {
    struct Case {
        const wchar_t* name;
        const wchar_t* comment;
        int focus;
    };
    const Case cases[] = {
        {L"", L"", IDC_EDITOR_NAME},
        {L"", L"есть комментарий", IDC_EDITOR_NAME},
        {L"Иван", L"", IDC_EDITOR_COMMENT},
        {L"Иван", L"строка1\r\nстрока2", IDC_EDITOR_COMMENT},
    };
    for (const Case& c : cases) {
        const HWND editor = Open(L"79161234567", c.name, c.comment);
        SCOPED_TRACE(testing::Message() << "name [" << c.name << "], comment [" << c.comment << "]");
        EXPECT_EQ(editor, ::GetActiveWindow());
        EXPECT_EQ(Item(editor, c.focus), ::GetFocus());
        EXPECT_FALSE(SaveEnabled(editor));
        if (c.focus == IDC_EDITOR_COMMENT) {
            DWORD start = 0, end = 0;
            ::SendMessageW(Item(editor, IDC_EDITOR_COMMENT), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                           reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(std::wstring(c.comment).size(), start);
            EXPECT_EQ(start, end);
        }
        ::DestroyWindow(editor);
    }
}

TEST_F(ContactEditorTest, SaveIsAvailableOnlyAfterAChangeAndWhileTheTrimmedNameIsNotEmpty) {
    const HWND editor = Open(L"79161234567", L"", L"");
    TypeText(L"   ");
    EXPECT_EQ(L"   ", Text(Item(editor, IDC_EDITOR_NAME)));
    EXPECT_FALSE(SaveEnabled(editor));
    TypeText(L"И");
    EXPECT_TRUE(SaveEnabled(editor));
    PressKey(VK_BACK);
    EXPECT_FALSE(SaveEnabled(editor));

    // With a name, any change of the comment offers Save; emptying the name withdraws it.
    const HWND named = Open(L"79161234567", L"Иван", L"");
    EXPECT_FALSE(SaveEnabled(named));
    TypeText(L"x");
    EXPECT_EQ(L"x", Text(Item(named, IDC_EDITOR_COMMENT)));
    EXPECT_TRUE(SaveEnabled(named));
    FocusOn(named, IDC_EDITOR_NAME);
    ::SendMessageW(Item(named, IDC_EDITOR_NAME), EM_SETSEL, 0, -1);
    PressKey(VK_DELETE);
    EXPECT_EQ(L"", Text(Item(named, IDC_EDITOR_NAME)));
    EXPECT_FALSE(SaveEnabled(named));
    EXPECT_TRUE(Saved().empty());
}

TEST_F(ContactEditorTest, EnterSavesUnlessTheCommentHasTheFocusAndEscapeCancels) {
    struct Case {
        const wchar_t* what;
        const wchar_t* name;
        int focus;
        UINT key;
        bool saves;
        bool closes;
    };
    const Case cases[] = {
        {L"Enter in the name, nothing changed", L"Иван", IDC_EDITOR_NAME, VK_RETURN, true, true},
        {L"Enter in an empty name, Save disabled", L"", IDC_EDITOR_NAME, VK_RETURN, true, true},
        {L"Enter in the number", L"Иван", IDC_EDITOR_PHONE, VK_RETURN, true, true},
        {L"Enter in the comment", L"Иван", IDC_EDITOR_COMMENT, VK_RETURN, false, false},
        {L"Enter on a focused Cancel", L"Иван", IDC_EDITOR_CANCEL, VK_RETURN, false, true},
        {L"Escape in the name", L"Иван", IDC_EDITOR_NAME, VK_ESCAPE, false, true},
        {L"Escape in the comment", L"Иван", IDC_EDITOR_COMMENT, VK_ESCAPE, false, true},
        {L"Escape on Cancel", L"Иван", IDC_EDITOR_CANCEL, VK_ESCAPE, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what);
        FakeSubscriberStore store;
        const HWND editor = TEditorForm::Open(::GetModuleHandleW(nullptr), L"79161234567", c.name, L"строка1",
                                              false, store.Saver());
        opened_.push_back(editor);
        FocusOn(editor, c.focus);
        const HWND comment = Item(editor, IDC_EDITOR_COMMENT);
        ::SendMessageW(comment, EM_SETSEL, 7, 7);
        PressKey(c.key);
        PumpPending();

        EXPECT_EQ(c.closes, !::IsWindow(editor));
        ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));
        const auto saves = store.Saves();
        if (c.saves) {
            ASSERT_EQ(1u, saves.size());
            EXPECT_EQ(L"79161234567", saves[0].phone);
            EXPECT_EQ(c.name, saves[0].name);
            EXPECT_EQ(L"строка1", saves[0].comment);
        } else {
            EXPECT_TRUE(saves.empty());
        }
        if (!c.closes) {
            // The comment got its line break and Save became available.
            EXPECT_EQ(L"строка1\r\n", Text(comment));
            EXPECT_TRUE(SaveEnabled(editor));
            ::DestroyWindow(editor);
        }
    }
}

TEST_F(ContactEditorTest, SaveHandsOverTrimmedTextsAndKeepsInnerLineBreaks) {
    const HWND editor = Open(L" 79161234567\t", L"Иван", L"");
    const HWND comment = Item(editor, IDC_EDITOR_COMMENT);
    // Typed: two leading spaces, two lines, two trailing spaces and a final line break.
    TypeText(L"  строка1");
    PressKey(VK_RETURN);
    TypeText(L"строка2  ");
    PressKey(VK_RETURN);
    EXPECT_EQ(L"  строка1\r\nстрока2  \r\n", Text(comment));
    FocusOn(editor, IDC_EDITOR_NAME);
    ::SendMessageW(Item(editor, IDC_EDITOR_NAME), EM_SETSEL, 0, -1);
    TypeText(L" Пётр Иванов ");
    ASSERT_TRUE(SaveEnabled(editor));

    ::SendMessageW(Item(editor, IDC_EDITOR_SAVE), BM_CLICK, 0, 0);
    PumpPending();
    EXPECT_FALSE(::IsWindow(editor));

    const auto saves = Saved();
    ASSERT_EQ(1u, saves.size());
    EXPECT_EQ(L"79161234567", saves[0].phone);
    EXPECT_EQ(L"Пётр Иванов", saves[0].name);
    EXPECT_EQ(L"строка1\r\nстрока2", saves[0].comment);
    EXPECT_NE(::GetCurrentThreadId(), saves[0].threadId);
}

TEST_F(ContactEditorTest, ARingWithoutNumberSavesAnEmptyPhone) {
    const HWND editor = Open(L"", L"", L"");
    EXPECT_EQ(L"", Text(Item(editor, IDC_EDITOR_PHONE)));
    TypeText(L"Неизвестный");
    PressKey(VK_RETURN);
    EXPECT_FALSE(::IsWindow(editor));
    const auto saves = Saved();
    ASSERT_EQ(1u, saves.size());
    EXPECT_EQ(L"", saves[0].phone);
    EXPECT_EQ(L"Неизвестный", saves[0].name);
}

TEST_F(ContactEditorTest, ThePreviewClosesOnSaveButStartsNoSave) {
    struct Case {
        const wchar_t* what;
        UINT key;  // 0: a click on Save
    };
    const Case cases[] = {{L"Save clicked", 0}, {L"Enter in the name", VK_RETURN}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what);
        const HWND editor = Open(L"79161234567", L"", L"", true);
        TypeText(L"Иван");
        ASSERT_TRUE(SaveEnabled(editor));
        if (c.key) PressKey(c.key);
        else ::SendMessageW(Item(editor, IDC_EDITOR_SAVE), BM_CLICK, 0, 0);
        PumpPending();
        EXPECT_FALSE(::IsWindow(editor));
        // No thread was started at all, not just one that saved nothing.
        EXPECT_EQ(0, RunningSaveCount());
    }
    EXPECT_TRUE(Saved().empty());
}

TEST_F(ContactEditorTest, TheFrameCloseButtonAndCancelSaveNothing) {
    const HWND byFrame = Open(L"79161234567", L"Иван", L"");
    TypeText(L"изменено");
    ::SendMessageW(byFrame, WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpPending();
    EXPECT_FALSE(::IsWindow(byFrame));

    const HWND byCancel = Open(L"79161234567", L"Иван", L"");
    TypeText(L"изменено");
    ::SendMessageW(Item(byCancel, IDC_EDITOR_CANCEL), BM_CLICK, 0, 0);
    PumpPending();
    EXPECT_FALSE(::IsWindow(byCancel));
    EXPECT_TRUE(Saved().empty());
}

TEST_F(ContactEditorTest, TwoEditorsAtOnceAreIndependent) {
    const HWND first = Open(L"79161111111", L"Первый", L"");
    const HWND second = Open(L"79162222222", L"", L"");
    ASSERT_NE(first, second);
    ASSERT_TRUE(::IsWindowVisible(first));
    ASSERT_TRUE(::IsWindowVisible(second));

    // Keys go to the active editor only.
    EXPECT_EQ(Item(second, IDC_EDITOR_NAME), ::GetFocus());
    TypeText(L"Второй");
    EXPECT_EQ(L"Второй", Text(Item(second, IDC_EDITOR_NAME)));
    EXPECT_TRUE(SaveEnabled(second));
    EXPECT_EQ(L"Первый", Text(Item(first, IDC_EDITOR_NAME)));
    EXPECT_EQ(L"", Text(Item(first, IDC_EDITOR_COMMENT)));
    EXPECT_FALSE(SaveEnabled(first));

    // Saving the second leaves the first open and untouched.
    PressKey(VK_RETURN);
    EXPECT_FALSE(::IsWindow(second));
    ASSERT_TRUE(::IsWindow(first));
    EXPECT_EQ(L"Первый", Text(Item(first, IDC_EDITOR_NAME)));

    ::SetActiveWindow(first);
    FocusOn(first, IDC_EDITOR_COMMENT);
    TypeText(L"звонил дважды");
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(::IsWindow(first));

    const auto saves = Saved();
    ASSERT_EQ(1u, saves.size());
    EXPECT_EQ(L"79162222222", saves[0].phone);
    EXPECT_EQ(L"Второй", saves[0].name);
    EXPECT_EQ(L"", saves[0].comment);
}

TEST_F(ContactEditorTest, EachEditorSavesItsOwnRecord) {
    const HWND first = Open(L"79161111111", L"Первый", L"");
    const HWND second = Open(L"79162222222", L"Второй", L"");
    ::SendMessageW(Item(first, IDC_EDITOR_SAVE), BM_CLICK, 0, 0);  // disabled: nothing happens
    EXPECT_TRUE(::IsWindow(first));
    ::SetActiveWindow(first);
    FocusOn(first, IDC_EDITOR_NAME);
    PressKey(VK_RETURN);
    ::SetActiveWindow(second);
    FocusOn(second, IDC_EDITOR_NAME);
    PressKey(VK_RETURN);
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_FALSE(::IsWindow(second));

    Saved();
    EXPECT_EQ(2u, store_.Size());
    EXPECT_EQ(1, store_.Writes(L"79161111111"));
    EXPECT_EQ(1, store_.Writes(L"79162222222"));
    std::wstring name, comment;
    ASSERT_TRUE(store_.Lookup(L"79161111111", name, comment));
    EXPECT_EQ(L"Первый", name);
}

TEST_F(ContactEditorTest, RealKeyboardInputEditsAndSaves) {
    const HWND editor = Open(L"79161234567", L"", L"");
    ASSERT_EQ(editor, ::GetForegroundWindow());
    auto pumpUntilText = [&](int id, const std::wstring& text) {
        return PumpUntil([&] { return Text(Item(editor, id)) == text; });
    };

    ASSERT_EQ(8u, SendText(L"Иван"));
    EXPECT_TRUE(pumpUntilText(IDC_EDITOR_NAME, L"Иван"));
    EXPECT_TRUE(SaveEnabled(editor));

    // Tab moves on to the comment, where Enter is a line break.
    ASSERT_EQ(2u, SendKeys({VK_TAB}));
    EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == Item(editor, IDC_EDITOR_COMMENT); }));
    SendText(L"строка1");
    SendKeys({VK_RETURN});
    SendText(L"строка2");
    EXPECT_TRUE(pumpUntilText(IDC_EDITOR_COMMENT, L"строка1\r\nстрока2"));
    EXPECT_TRUE(::IsWindow(editor));

    // Back in the name, Enter saves and closes.
    INPUT shiftTab[4] = {};
    for (INPUT& input : shiftTab) input.type = INPUT_KEYBOARD;
    shiftTab[0].ki.wVk = VK_SHIFT;
    shiftTab[1].ki.wVk = VK_TAB;
    shiftTab[2].ki.wVk = VK_TAB;
    shiftTab[2].ki.dwFlags = KEYEVENTF_KEYUP;
    shiftTab[3].ki.wVk = VK_SHIFT;
    shiftTab[3].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(4u, ::SendInput(4, shiftTab, sizeof(INPUT)));
    EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == Item(editor, IDC_EDITOR_NAME); }));
    SendKeys({VK_RETURN});
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(editor); }));

    const auto saves = Saved();
    ASSERT_EQ(1u, saves.size());
    EXPECT_EQ(L"Иван", saves[0].name);
    EXPECT_EQ(L"строка1\r\nстрока2", saves[0].comment);
}

TEST_F(ContactEditorTest, OpeningWithoutTheTemplateFails) {
    // A module without the dialog resource: no window, an error the caller can show.
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    EXPECT_THROW(TEditorForm::Open(kernel, L"1", L"", L"", false, store_.Saver()), std::exception);
}

TEST_F(ContactEditorTest, CloseAllLeavesNoEditorToSaveFromAKeyStillQueued) {
    const HWND first = Open(L"79161234567", L"Иван", L"");
    const HWND second = Open(L"74951234567", L"Пётр", L"");
    // Enter already on its way to each editor when the program ends.
    for (HWND editor : {first, second})
        ::PostMessageW(Item(editor, IDC_EDITOR_NAME), WM_KEYDOWN, VK_RETURN, KeyData(VK_RETURN, false));
    TEditorForm::CloseAll();
    PumpPending();
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_FALSE(::IsWindow(second));
    EXPECT_TRUE(Saved().empty());

    TEditorForm::CloseAll();  // none open: nothing to do
    const HWND later = Open(L"79161234567", L"Иван", L"");
    FocusOn(later, IDC_EDITOR_NAME);
    PressKey(VK_RETURN);
    EXPECT_EQ(1u, Saved().size());
}

TEST_F(ContactEditorTest, AFailedSaveIsHandedOnWithTheTrimmedNumber) {
    std::mutex mutex;
    std::vector<TSaveFailure> failures;
    const HWND editor = TEditorForm::Open(
        ::GetModuleHandleW(nullptr), L" 79161234567\r\n", L"Иван", L"", false,
        [](auto&, auto&, auto&) { throw AppError(L"Справочник абонентов закрыт."); },
        [&](TSaveFailure failure) {
            std::lock_guard lock(mutex);
            failures.push_back(std::move(failure));
        });
    opened_.push_back(editor);
    PumpPending();
    FocusOn(editor, IDC_EDITOR_NAME);
    PressKey(VK_RETURN);
    EXPECT_FALSE(::IsWindow(editor));
    ASSERT_TRUE(WaitForRunningSaves(kGenerousWaitMs));

    std::lock_guard lock(mutex);
    ASSERT_EQ(1u, failures.size());
    EXPECT_EQ(L"79161234567", failures[0].Phone);
    EXPECT_THROW(std::rethrow_exception(failures[0].Error), AppError);
}

}  // namespace
