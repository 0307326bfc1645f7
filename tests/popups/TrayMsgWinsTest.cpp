// The popup manager with real windows: one window per visible item, rows and
// their wrap, content fill, user closes and settings that make no sense.
#include <gtest/gtest.h>

#include "FormTMWRes.h"
#include "PopupTestSupport.h"
#include "TrayMsgWins.h"
#include "WindowText.h"

#include <climits>
#include <string>
#include <vector>

using namespace popuptest;

namespace {

class TrayMsgWinsTest : public testing::Test {
protected:
    void SetUp() override {
        wins_.SetWorkAreaSource([this] {
            ++workAreaQueries_;
            return workArea_;
        });
        // A clock that stands still keeps every window at its start position.
        wins_.SetTickSource([] { return 1000u; });
    }
    void TearDown() override { PumpPending(); }

    // Adds an item and makes it visible inside one bracket, as the event dispatch does.
    TTrayMsgWinItem* Show(const std::wstring& channel, const std::wstring& title = L"ВЫЗОВ") {
        TTrayMsgWinUpdateBracket bracket(wins_.Items());
        TTrayMsgWinItem* item = wins_.Items().Add();
        item->SetWinID(channel);
        item->SetTitle(title);
        item->SetSimpleText(L"Нет информации о номере.");
        item->SetVisible(true);
        return item;
    }

    TTMWForm* FormOf(const TTrayMsgWinItem* item) const { return wins_.FindFormTMW(item); }

    POINT EndOf(const TTrayMsgWinItem* item) const {
        const TTMWForm* form = FormOf(item);
        return form ? POINT{form->EndLeft, form->EndTop} : POINT{INT_MIN, INT_MIN};
    }

    // The user closes a popup with the context menu of its text area.
    void UserCloses(const TTrayMsgWinItem* item) {
        TTMWForm* form = FormOf(item);
        ASSERT_NE(nullptr, form);
        const HWND window = form->Handle();
        const HWND info = form->InfoRichEdit();
        ::SendMessageW(info, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(info), MAKELPARAM(-1, -1));
        ASSERT_TRUE(PumpUntil([window] { return !::IsWindow(window); }));
    }

    RECT workArea_{0, 0, 1920, 1040};
    int workAreaQueries_ = 0;
    TTrayMsgWins wins_;
};

TEST_F(TrayMsgWinsTest, StartsWithTheBuiltInDefaults) {
    TTrayMsgWins wins;
    EXPECT_EQ(tmpRighBottom, wins.TrayMsgPos);
    EXPECT_EQ(tmaVertical, wins.TrayMsgAnimate);
    EXPECT_EQ(182, wins.WinWidth);
    EXPECT_EQ(162, wins.WinHeight);
    EXPECT_EQ(182, wins.Displacement);
    EXPECT_EQ(4, wins.Rows);
    EXPECT_TRUE(wins.IsPhoneShowed && wins.IsNameShowed && wins.IsRegionShowed && wins.IsCommentShowed);
    EXPECT_FALSE(wins.IsPhoneBold || wins.IsNameBold || wins.IsRegionBold || wins.IsCommentBold);
    EXPECT_EQ(10, wins.Font().Size);
    EXPECT_FALSE(wins.Font().Name.empty());
    EXPECT_FALSE(wins.Font().Bold);
    EXPECT_EQ(0, wins.Items().Count());
    EXPECT_EQ(static_cast<ITrayMsgWinsOwner*>(&wins), wins.Items().Owner());
}

TEST_F(TrayMsgWinsTest, NewWindowIsPlacedAtItsStartShownAndFilled) {
    TTrayMsgWinItem* item = Show(L"K1");
    TTMWForm* form = FormOf(item);
    ASSERT_NE(nullptr, form);
    EXPECT_EQ(item->ID(), form->Tag);
    EXPECT_TRUE(::IsWindowVisible(form->Handle()));
    EXPECT_TRUE(wins_.IsFormTMWVisible(item));
    // Ends at 1920 - 182 - 182, 1040 - 162; starts just below the work area.
    EXPECT_EQ(1556, form->EndLeft);
    EXPECT_EQ(878, form->EndTop);
    const RECT bounds = form->BoundsRect();
    EXPECT_EQ(1556, bounds.left);
    EXPECT_EQ(1040, bounds.top);
    EXPECT_EQ(182, bounds.right - bounds.left);
    EXPECT_EQ(162, bounds.bottom - bounds.top);
    EXPECT_EQ(L"ВЫЗОВ", form->Title());
    EXPECT_EQ(L"Нет информации о номере.", form->InfoText());
    // Not activated: the user's program keeps the keyboard.
    EXPECT_NE(form->Handle(), ::GetForegroundWindow());
    EXPECT_NE(form->Handle(), ::GetActiveWindow());
}

TEST_F(TrayMsgWinsTest, RowsStackUpwardsAndWrapAfterTheLast) {
    std::vector<TTrayMsgWinItem*> items;
    const int expectedTops[] = {878, 716, 554, 392, 878};
    const int expectedIndex[] = {1, 2, 3, 0, 1};
    for (int i = 0; i < 5; ++i) {
        items.push_back(Show(L"K" + std::to_wstring(i)));
        EXPECT_EQ(expectedTops[i], EndOf(items.back()).y) << i;
        EXPECT_EQ(expectedIndex[i], wins_.RowIndex()) << i;
    }
    EXPECT_EQ(5u, wins_.Windows().size());
}

TEST_F(TrayMsgWinsTest, ClosingFreesNoRowUntilTheLastWindowIsGone) {
    TTrayMsgWinItem* a = Show(L"K1");
    TTrayMsgWinItem* b = Show(L"K2");
    TTrayMsgWinItem* c = Show(L"K3");
    a->Free();  // the call in row 0 ends
    EXPECT_EQ(2u, wins_.Windows().size());
    TTrayMsgWinItem* d = Show(L"K4");
    EXPECT_EQ(392, EndOf(d).y);  // row 3
    UserCloses(b);
    c->Free();
    d->Free();
    EXPECT_TRUE(wins_.Windows().empty());
    EXPECT_EQ(0, wins_.RowIndex());
    EXPECT_EQ(878, EndOf(Show(L"K5")).y);
}

TEST_F(TrayMsgWinsTest, LoweringRowsTakesEffectAfterTheNextWindow) {
    for (int i = 0; i < 3; ++i) Show(L"K" + std::to_wstring(i));
    ASSERT_EQ(3, wins_.RowIndex());
    wins_.Rows = 2;
    EXPECT_EQ(392, EndOf(Show(L"K3")).y);
    EXPECT_EQ(0, wins_.RowIndex());
}

TEST_F(TrayMsgWinsTest, OneBracketOpensWindowsInItemOrder) {
    std::vector<TTrayMsgWinItem*> items;
    {
        TTrayMsgWinUpdateBracket bracket(wins_.Items());
        for (int i = 0; i < 3; ++i) {
            items.push_back(wins_.Items().Add());
            items.back()->SetWinID(L"K" + std::to_wstring(i));
        }
        for (TTrayMsgWinItem* item : items) item->SetVisible(true);
        EXPECT_TRUE(wins_.Windows().empty());
    }
    ASSERT_EQ(3u, wins_.Windows().size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(items[static_cast<size_t>(i)]->ID(), wins_.Windows()[static_cast<size_t>(i)]->Tag);
        EXPECT_EQ(878 - 162 * i, EndOf(items[static_cast<size_t>(i)]).y);
    }
}

TEST_F(TrayMsgWinsTest, WorkAreaIsAskedAnewForEveryWindow) {
    wins_.TrayMsgPos = tmpLeftTop;
    TTrayMsgWinItem* first = Show(L"K1");
    EXPECT_EQ(182, EndOf(first).x);
    EXPECT_EQ(0, EndOf(first).y);
    const int queries = workAreaQueries_;
    workArea_ = {300, 40, 300 + 1280, 40 + 984};  // the task bar moved
    TTrayMsgWinItem* second = Show(L"K2");
    EXPECT_GT(workAreaQueries_, queries);
    EXPECT_EQ(482, EndOf(second).x);
    EXPECT_EQ(40 + 162, EndOf(second).y);
    // The first window does not move.
    EXPECT_EQ(182, EndOf(first).x);
}

TEST_F(TrayMsgWinsTest, EveryCornerAndEntryStartsOutsideTheWorkArea) {
    workArea_ = {100, 40, 100 + 1920, 40 + 1040};
    struct Case {
        TTrayMsgPos pos;
        TTrayMsgAnimate animate;
        POINT start;
        POINT end;
    };
    const Case cases[] = {
        {tmpLeftTop, tmaVertical, {282, -122}, {282, 40}},
        {tmpRighTop, tmaHorizontal, {2020, 40}, {1656, 40}},
        {tmpLeftBottom, tmaHorizontal, {-82, 918}, {282, 918}},
        {tmpRighBottom, tmaNone, {1656, 918}, {1656, 918}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pos << " " << c.animate);
        wins_.TrayMsgPos = c.pos;
        wins_.TrayMsgAnimate = c.animate;
        TTrayMsgWinItem* item = Show(L"K1");
        const RECT bounds = FormOf(item)->BoundsRect();
        EXPECT_EQ(c.start.x, bounds.left);
        EXPECT_EQ(c.start.y, bounds.top);
        EXPECT_EQ(c.end.x, EndOf(item).x);
        EXPECT_EQ(c.end.y, EndOf(item).y);
        item->Free();
    }
}

TEST_F(TrayMsgWinsTest, ComposedContentFollowsTheShowAndBoldOptions) {
    struct Case {
        const char* name;
        bool show[4];  // phone, name, region, comment
        bool bold[4];
        std::vector<std::wstring> lines;
    };
    const Case cases[] = {
        {"everything, nothing bold",
         {true, true, true, true},
         {false, false, false, false},
         {L"K1", L"74951234567", L"Иванов Иван", L"Москва", L"Поставщик"}},
        {"nothing shown: the channel alone", {false, false, false, false}, {true, true, true, true}, {L"K1"}},
        {"phone and comment, both bold; hidden name bold",
         {true, false, false, true},
         {true, true, false, true},
         {L"K1", L"*74951234567", L"*Поставщик"}},
        {"name and region, region bold",
         {false, true, true, false},
         {false, false, true, false},
         {L"K1", L"Иванов Иван", L"*Москва"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wins_.IsPhoneShowed = c.show[0];
        wins_.IsNameShowed = c.show[1];
        wins_.IsRegionShowed = c.show[2];
        wins_.IsCommentShowed = c.show[3];
        wins_.IsPhoneBold = c.bold[0];
        wins_.IsNameBold = c.bold[1];
        wins_.IsRegionBold = c.bold[2];
        wins_.IsCommentBold = c.bold[3];
        TTrayMsgWinItem* item = nullptr;
        {
            TTrayMsgWinUpdateBracket bracket(wins_.Items());
            item = wins_.Items().Add();
            item->SetWinID(L"K1");
            item->Caller.Number = L"74951234567";
            item->Caller.Name = L"Иванов Иван";
            item->Caller.Region = L"Москва";
            item->Caller.Comment = L"Поставщик";
            item->UseRichText = true;
            item->SetVisible(true);
        }
        EXPECT_EQ(c.lines, RichLines(FormOf(item)->InfoRichEdit()));
        item->Free();
    }
}

TEST_F(TrayMsgWinsTest, EmptyValuesStillGiveTheirLines) {
    TTrayMsgWinItem* item = nullptr;
    {
        TTrayMsgWinUpdateBracket bracket(wins_.Items());
        item = wins_.Items().Add();
        item->SetWinID(L"K1");
        item->Caller.Number = L"74951234567";
        item->UseRichText = true;
        item->SetVisible(true);
    }
    EXPECT_EQ(L"K1\r\n74951234567\r\n\r\n\r\n\r\n", FormOf(item)->InfoText());
}

TEST_F(TrayMsgWinsTest, SimpleTextIsShownWholeAndNeverBold) {
    wins_.IsPhoneBold = wins_.IsNameBold = wins_.IsRegionBold = wins_.IsCommentBold = true;
    TTrayMsgWinItem* item = Show(L"K1");
    EXPECT_EQ((std::vector<std::wstring>{L"Нет информации о номере."}), RichLines(FormOf(item)->InfoRichEdit()));
    item->SetSimpleText(L"Две\r\nстроки");
    EXPECT_EQ((std::vector<std::wstring>{L"Две", L"строки"}), RichLines(FormOf(item)->InfoRichEdit()));
}

TEST_F(TrayMsgWinsTest, ContentFlagsTakeEffectAtTheNextRefresh) {
    TTrayMsgWinItem* item = nullptr;
    {
        TTrayMsgWinUpdateBracket bracket(wins_.Items());
        item = wins_.Items().Add();
        item->SetWinID(L"K1");
        item->Caller.Name = L"Иванов";
        item->UseRichText = true;
        item->SetVisible(true);
    }
    const HWND info = FormOf(item)->InfoRichEdit();
    wins_.IsNameBold = true;
    item->Caller.Name = L"Петров";  // plain fields notify nobody
    EXPECT_EQ(L"Иванов", RichLines(info)[2]);
    item->SetTitle(L"РАЗГОВОР");  // a notifying change refreshes the window
    EXPECT_EQ(L"*Петров", RichLines(info)[2]);
    EXPECT_EQ(L"РАЗГОВОР", FormOf(item)->Title());
    item->SetWinID(L"K9");  // a renamed channel shows in the first line
    EXPECT_EQ(L"K9", RichLines(info)[0]);
    // A refresh leaves place and size alone.
    const RECT before = FormOf(item)->BoundsRect();
    wins_.UpdateFormTMW(nullptr);
    const RECT after = FormOf(item)->BoundsRect();
    EXPECT_TRUE(::EqualRect(&before, &after));
}

TEST_F(TrayMsgWinsTest, WindowCarriesTheItemsCallerDataAndCopiesTheClipboardText) {
    struct EditRequest {
        TCaller Caller;
        bool IsPreview;
    };
    std::vector<EditRequest> editorCalls;
    wins_.SetOnEditData(
        [&editorCalls](const TCaller& caller, bool isPreview) { editorCalls.push_back({caller, isPreview}); });
    TTrayMsgWinItem* item = nullptr;
    {
        TTrayMsgWinUpdateBracket bracket(wins_.Items());
        item = wins_.Items().Add();
        item->SetWinID(L"TEST_CHANNEL");
        item->SetClipboardText(L"84951234567");  // as the recorder reported it
        item->Caller.Number = L"74951234567";
        item->Caller.Name = L"Иванов";
        item->Caller.Comment = L"Комментарий";
        item->IsPreview = true;
        item->UseRichText = true;
        item->SetVisible(true);
    }
    TTMWForm* form = FormOf(item);
    ASSERT_NE(nullptr, form);
    EXPECT_EQ(L"84951234567", form->ClipText);

    ::SendMessageW(form->CopyButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(L"84951234567", ReadClipboardText());

    ::SendMessageW(form->EditDataButton(), BM_CLICK, 0, 0);
    ASSERT_EQ(1u, editorCalls.size());
    EXPECT_EQ(L"74951234567", editorCalls[0].Caller.Number);
    EXPECT_EQ(L"Иванов", editorCalls[0].Caller.Name);
    EXPECT_EQ(L"Комментарий", editorCalls[0].Caller.Comment);
    EXPECT_TRUE(editorCalls[0].IsPreview);
}

TEST_F(TrayMsgWinsTest, TheCrmButtonStandsBesideEditDataOnlyWhileTheLinkIsOnAndTheCallHasANumber) {
    std::vector<std::wstring> cards;
    const auto openCrm = [&cards](const TCaller& caller, const std::wstring& channel) {
        cards.push_back(caller.Number + L"|" + caller.Name + L"|" + channel);
    };
    TTrayMsgWinItem* ringing = Show(L"K1");
    TTMWForm* form = FormOf(ringing);
    ASSERT_NE(nullptr, form);
    EXPECT_FALSE(form->CrmButtonShown()) << "the link is off";
    wins_.SetOnOpenCrm(openCrm);
    EXPECT_FALSE(form->CrmButtonShown()) << "no number yet";

    // The caller's number arrives, as the dispatch fills it.
    ringing->Caller.Number = L"74951234567";
    ringing->Caller.Name = L"Иванов & сыновья";
    ringing->Changed(false);
    ASSERT_TRUE(form->CrmButtonShown());
    EXPECT_EQ(L"Открыть в CRM", WindowText(form->CrmButton()));
    const RECT edit = ChildRect(form->EditDataButton());
    const RECT crm = ChildRect(form->CrmButton());
    RECT client{};
    ::GetClientRect(form->Handle(), &client);
    EXPECT_EQ(edit.top, crm.top);
    EXPECT_EQ(edit.right - edit.left, crm.right - crm.left);
    EXPECT_LT(edit.right, crm.left) << "side by side, not overlapping";
    EXPECT_GE(edit.left, 0);
    EXPECT_LE(crm.right, client.right);
    EXPECT_LE(crm.bottom, client.bottom - 8);

    ::SendMessageW(form->CrmButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(std::vector<std::wstring>{L"74951234567|Иванов & сыновья|K1"}, cards);

    // The preview's sample number is no number; a withheld one neither.
    const struct {
        const wchar_t* number;
        bool shown;
    } numbers[] = {{L"Номер телефона", false}, {L"P", false}, {L"", false}, {L"123", true}};
    for (const auto& n : numbers) {
        ringing->Caller.Number = n.number;
        ringing->Changed(false);
        EXPECT_EQ(n.shown, form->CrmButtonShown()) << testing::PrintToString(n.number);
    }

    // Turning the link off takes the button from open popups at once, and the
    // edit button gets its full width back.
    wins_.SetOnOpenCrm(nullptr);
    EXPECT_FALSE(form->CrmButtonShown());
    const RECT alone = ChildRect(form->EditDataButton());
    EXPECT_EQ(129, alone.right - alone.left);
    ::SendMessageW(form->CrmButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(1u, cards.size());
}

// The caption's width in the button's own font, against the room the button gives it.
testing::AssertionResult CaptionFits(HWND button) {
    const std::wstring caption = WindowText(button);
    const HDC dc = ::GetDC(button);
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(button, WM_GETFONT, 0, 0)));
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    ::SelectObject(dc, old);
    ::ReleaseDC(button, dc);
    RECT client{};
    ::GetClientRect(button, &client);
    // The button's edges and the focus rectangle take a few pixels of each side.
    if (extent.cx + 6 <= client.right) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "caption " << extent.cx << " px in a button " << client.right << " px wide";
}

TEST_F(TrayMsgWinsTest, CallbackStandsBesideEditDataReadableAtEverySizeAndInTheContextMenu) {
    std::vector<std::wstring> calls;
    wins_.SetOnCallBack([&calls](const TCaller& caller, const std::wstring& channel) {
        calls.push_back(caller.Number + L"|" + channel);
    });
    wins_.SetOnOpenCrm([](const TCaller&, const std::wstring&) {});
    for (SIZE setting : {SIZE{182, 162}, SIZE{60, 60}, SIZE{0, 0}, SIZE{120, 200}, SIZE{400, 100}}) {
        SCOPED_TRACE(std::to_string(setting.cx) + "x" + std::to_string(setting.cy));
        wins_.WinWidth = setting.cx;
        wins_.WinHeight = setting.cy;
        TTrayMsgWinItem* item = Show(L"K1\" & calc");
        TTMWForm* form = FormOf(item);
        ASSERT_NE(nullptr, form);
        EXPECT_FALSE(form->CallbackButtonShown()) << "no number yet";
        item->Caller.Number = L"74951234567";
        item->Changed(false);
        ASSERT_TRUE(form->CallbackButtonShown());
        ASSERT_TRUE(form->CrmButtonShown());
        EXPECT_EQ(L"Перезвонить", WindowText(form->CallbackButton()));
        const RECT edit = ChildRect(form->EditDataButton());
        const RECT back = ChildRect(form->CallbackButton());
        RECT client{};
        ::GetClientRect(form->Handle(), &client);
        EXPECT_EQ(edit.top, back.top) << "beside";
        EXPECT_LT(edit.right, back.left);
        for (HWND button : {form->EditDataButton(), form->CallbackButton(), form->CrmButton()}) {
            const RECT r = ChildRect(button);
            EXPECT_TRUE(CaptionFits(button)) << testing::PrintToString(WindowText(button));
            EXPECT_GE(r.left, 0);
            EXPECT_LE(r.right, client.right);
            EXPECT_LE(r.bottom, client.bottom);
        }
        ::SendMessageW(form->CallbackButton(), BM_CLICK, 0, 0);
        // What the popup's context menu sends for its "Перезвонить".
        ::SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(IDM_TMW_CALLBACK, 0), 0);
        EXPECT_EQ((std::vector<std::wstring>{L"74951234567|K1\" & calc", L"74951234567|K1\" & calc"}), calls);
        calls.clear();
        UserCloses(item);
        wins_.Items().Clear();
    }
    // Calling back turned off: the button leaves open popups at once.
    TTrayMsgWinItem* item = Show(L"K2");
    item->Caller.Number = L"123";
    item->Changed(false);
    TTMWForm* form = FormOf(item);
    ASSERT_TRUE(form->CallbackButtonShown());
    wins_.SetOnCallBack(nullptr);
    EXPECT_FALSE(form->CallbackButtonShown());
    ::SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(IDM_TMW_CALLBACK, 0), 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(TrayMsgWinsTest, UserCloseMakesTheItemInvisibleAndLaterEventsFindIt) {
    TTrayMsgWinItem* item = Show(L"K1");
    UserCloses(item);
    EXPECT_FALSE(item->Visible());
    EXPECT_EQ(nullptr, FormOf(item));
    EXPECT_FALSE(wins_.IsFormTMWVisible(item));
    // The next event for the channel finds the item and opens nothing.
    TTrayMsgWinItem* found = wins_.Items().FindItemWinID(L"k1");
    ASSERT_EQ(item, found);
    {
        TTrayMsgWinUpdateBracket bracket(wins_.Items());
        found->SetTitle(L"РАЗГОВОР");
        found->Caller.Name = L"Иванов";
    }
    EXPECT_TRUE(wins_.Windows().empty());
    found->Free();
    EXPECT_EQ(0, wins_.Items().Count());
}

TEST_F(TrayMsgWinsTest, InvisibleOrFreedItemLosesItsWindow) {
    TTrayMsgWinItem* hidden = Show(L"K1");
    TTrayMsgWinItem* freed = Show(L"K2");
    const HWND hiddenWindow = FormOf(hidden)->Handle();
    const HWND freedWindow = FormOf(freed)->Handle();
    hidden->SetVisible(false);
    EXPECT_FALSE(::IsWindow(hiddenWindow));
    EXPECT_FALSE(hidden->Visible());
    freed->Free();
    EXPECT_FALSE(::IsWindow(freedWindow));
    EXPECT_TRUE(wins_.Windows().empty());
    EXPECT_EQ(1, wins_.Items().Count());
    EXPECT_FALSE(wins_.IsFormTMWVisible(hidden));
}

TEST_F(TrayMsgWinsTest, ClearClosesEveryWindow) {
    std::vector<HWND> windows;
    for (int i = 0; i < 3; ++i) windows.push_back(FormOf(Show(L"K" + std::to_wstring(i)))->Handle());
    wins_.Items().Clear();
    for (HWND window : windows) EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(wins_.Windows().empty());
    EXPECT_EQ(0, wins_.RowIndex());
}

TEST_F(TrayMsgWinsTest, SizeChangesApplyToNewWindowsOnly) {
    TTrayMsgWinItem* first = Show(L"K1");
    wins_.WinWidth = 250;
    wins_.WinHeight = 100;
    TTrayMsgWinItem* second = Show(L"K2");
    const RECT firstBounds = FormOf(first)->BoundsRect();
    const RECT secondBounds = FormOf(second)->BoundsRect();
    EXPECT_EQ(182, firstBounds.right - firstBounds.left);
    EXPECT_EQ(1556, FormOf(first)->EndLeft);
    EXPECT_EQ(250, secondBounds.right - secondBounds.left);
    EXPECT_EQ(100, secondBounds.bottom - secondBounds.top);
    EXPECT_EQ(1920 - 250 - 182, FormOf(second)->EndLeft);
    EXPECT_EQ(1040 - 2 * 100, FormOf(second)->EndTop);
}

TEST_F(TrayMsgWinsTest, FontIsCopiedAndNullIsIgnored) {
    TTMWFont font;
    font.Name = L"Courier New";
    font.Size = 14;
    font.Italic = true;
    wins_.SetFont(&font);
    font.Size = 30;  // the manager keeps its own copy
    EXPECT_EQ(14, wins_.Font().Size);
    EXPECT_EQ(L"Courier New", wins_.Font().Name);
    EXPECT_TRUE(wins_.Font().Italic);
    wins_.SetFont(nullptr);
    EXPECT_EQ(L"Courier New", wins_.Font().Name);

    TTrayMsgWinItem* item = Show(L"K1");
    EXPECT_EQ(wins_.Font(), FormOf(item)->TextFont());
    TTMWFont other;
    other.Name = L"Tahoma";
    wins_.SetFont(&other);
    EXPECT_EQ(L"Courier New", FormOf(item)->TextFont().Name);  // open windows keep theirs
}

// Settings from a hand-edited file: windows still open inside the work area and close.
TEST_F(TrayMsgWinsTest, NonsenseSettingsStillGivePopupsThatCanBeClosed) {
    workArea_ = {0, 0, 1280, 1024};
    struct Case {
        const char* name;
        int width, height, displacement, rows, pos, animate;
    };
    const Case cases[] = {
        {"zero sizes", 0, 0, 0, 4, 3, 1},
        {"negative sizes", -100, -1, -500, 4, 0, 2},
        {"no rows", 182, 162, 182, 0, 2, 1},
        {"negative rows", 182, 162, 182, -7, 1, 1},
        {"more rows than fit", 182, 400, 182, 100, 3, 1},
        {"corner and entry out of range", 182, 162, 182, 4, 17, -3},
        {"larger than the screen", 100000, 100000, INT_MAX, INT_MAX, 3, 2},
    };
    const std::wstring longTitle(500, L'З');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wins_.WinWidth = c.width;
        wins_.WinHeight = c.height;
        wins_.Displacement = c.displacement;
        wins_.Rows = c.rows;
        wins_.TrayMsgPos = static_cast<TTrayMsgPos>(c.pos);
        wins_.TrayMsgAnimate = static_cast<TTrayMsgAnimate>(c.animate);
        std::vector<TTrayMsgWinItem*> items;
        for (int i = 0; i < 4; ++i) {
            items.push_back(Show(L"K" + std::to_wstring(i), longTitle + L"\r\nвторая строка"));
            TTMWForm* form = FormOf(items.back());
            ASSERT_NE(nullptr, form);
            const RECT bounds = form->BoundsRect();
            const int w = bounds.right - bounds.left;
            const int h = bounds.bottom - bounds.top;
            EXPECT_GE(w, kMinPopupWidth);
            EXPECT_GE(h, kMinPopupHeight);
            EXPECT_GE(form->EndLeft, 0);
            EXPECT_GE(form->EndTop, 0);
            EXPECT_LE(form->EndLeft + w, 1280);
            EXPECT_LE(form->EndTop + h, 1024);
            if (c.rows <= 1) {
                EXPECT_EQ(0, wins_.RowIndex());
            }
        }
        // Settings keep what was set: they go back to the settings file as they are.
        EXPECT_EQ(c.width, wins_.WinWidth);
        EXPECT_EQ(c.pos, static_cast<int>(wins_.TrayMsgPos));
        for (TTrayMsgWinItem* item : items) UserCloses(item);
        EXPECT_TRUE(wins_.Windows().empty());
        wins_.Items().Clear();
    }
}

TEST_F(TrayMsgWinsTest, DestroyingTheManagerClosesItsWindows) {
    std::vector<HWND> windows;
    {
        TTrayMsgWins wins;
        wins.SetWorkAreaSource([] { return RECT{0, 0, 1280, 1024}; });
        for (int i = 0; i < 3; ++i) {
            TTrayMsgWinUpdateBracket bracket(wins.Items());
            TTrayMsgWinItem* item = wins.Items().Add();
            item->SetVisible(true);
        }
        for (TTMWForm* form : wins.Windows()) windows.push_back(form->Handle());
        ASSERT_EQ(3u, windows.size());
    }
    for (HWND window : windows) EXPECT_FALSE(::IsWindow(window));
}

TEST_F(TrayMsgWinsTest, WithoutAReplacementThePrimaryWorkAreaIsUsed) {
    TTrayMsgWins wins;
    TTrayMsgWinItem* item = nullptr;
    {
        TTrayMsgWinUpdateBracket bracket(wins.Items());
        item = wins.Items().Add();
        item->SetVisible(true);
    }
    RECT area{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
    const TTMWForm* form = wins.FindFormTMW(item);
    ASSERT_NE(nullptr, form);
    EXPECT_EQ(area.right - 182 - 182, form->EndLeft);
    EXPECT_EQ(area.bottom - 162, form->EndTop);
    // The real clock ends the slide there.
    EXPECT_TRUE(PumpUntil([form] { return !form->IsSliding(); }));
    EXPECT_EQ(form->EndTop, form->BoundsRect().top);
}

}  // namespace
