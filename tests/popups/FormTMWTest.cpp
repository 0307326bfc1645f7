// The popup window on the virtual display: its window attributes, the layout of
// its children, the slide, dragging, closing, the copy button and its painting.
#include <gtest/gtest.h>

#include "FormTMW.h"
#include "FormTMWRes.h"
#include "PopupTestSupport.h"
#include "WindowText.h"

#include <commctrl.h>
#include <richedit.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace popuptest;

namespace {

class FormTMWTest : public testing::Test {
protected:
    void SetUp() override { NewForm(); }
    void NewForm() {
        form_ = TTMWForm::Create([this] { return clock_; });
        form_->OnTMWDestroy = [this](TTMWForm* sender) {
            destroyed_.push_back(sender);
            form_ = nullptr;
        };
    }
    void TearDown() override {
        if (form_) form_->Free();
        PumpPending();
    }

    // Puts the window at its end position and lets the first tick stop the slide.
    void Settle(int left, int top, int width = 182, int height = 162) {
        form_->SetBounds(left, top, width, height);
        form_->EndLeft = left;
        form_->EndTop = top;
        form_->TimerTimer();
        ASSERT_FALSE(form_->IsSliding());
    }

    POINT Position() const {
        const RECT bounds = form_->BoundsRect();
        return {bounds.left, bounds.top};
    }

    uint32_t clock_ = 1000;
    TTMWForm* form_ = nullptr;
    std::vector<TTMWForm*> destroyed_;
};

TEST_F(FormTMWTest, IsABorderlessTopmostTranslucentToolWindowWithoutOwner) {
    const HWND window = form_->Handle();
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU | WS_DLGFRAME));
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(exStyle & WS_EX_LAYERED);
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(nullptr, ::GetWindow(window, GW_OWNER));
    EXPECT_EQ(nullptr, ::GetParent(window));

    EXPECT_EQ(L"TMWForm", WindowText(window));

    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(::GetLayeredWindowAttributes(window, nullptr, &alpha, &flags));
    EXPECT_EQ(223, alpha);
    EXPECT_TRUE(flags & LWA_ALPHA);

    // Created hidden, at the design size, with the slide timer running.
    EXPECT_FALSE(::IsWindowVisible(window));
    const RECT bounds = form_->BoundsRect();
    EXPECT_EQ(200, bounds.right - bounds.left);
    EXPECT_EQ(200, bounds.bottom - bounds.top);
    EXPECT_TRUE(form_->IsSliding());
}

TEST_F(FormTMWTest, ChildrenFollowTheirAnchors) {
    struct Case {
        int w, h;
        RECT info, copy, edit;
    };
    const Case cases[] = {
        {200, 200, {6, 22, 194, 164}, {175, 22, 194, 41}, {36, 167, 165, 192}},
        {182, 162, {6, 22, 176, 126}, {157, 22, 176, 41}, {27, 129, 156, 154}},
        {300, 120, {6, 22, 294, 84}, {275, 22, 294, 41}, {86, 87, 215, 112}},
        {120, 300, {6, 22, 114, 264}, {95, 22, 114, 41}, {-4, 267, 125, 292}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        form_->SetBounds(10, 10, c.w, c.h);
        const RECT info = ChildRect(form_->InfoRichEdit());
        const RECT copy = ChildRect(form_->CopyButton());
        const RECT edit = ChildRect(form_->EditDataButton());
        EXPECT_TRUE(::EqualRect(&c.info, &info))
            << info.left << "," << info.top << "," << info.right << "," << info.bottom;
        EXPECT_TRUE(::EqualRect(&c.copy, &copy))
            << copy.left << "," << copy.top << "," << copy.right << "," << copy.bottom;
        EXPECT_TRUE(::EqualRect(&c.edit, &edit))
            << edit.left << "," << edit.top << "," << edit.right << "," << edit.bottom;
    }
}

TEST_F(FormTMWTest, TextAreaIsReadOnlyBorderlessAndWithoutScrollBars) {
    const LONG_PTR style = ::GetWindowLongPtrW(form_->InfoRichEdit(), GWL_STYLE);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(form_->InfoRichEdit(), GWL_EXSTYLE);
    EXPECT_TRUE(style & ES_READONLY);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_FALSE(style & (WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL));
    EXPECT_FALSE(exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
}

TEST_F(FormTMWTest, ButtonsCarryTheirTexts) {
    EXPECT_EQ(L"Внести данные", WindowText(form_->EditDataButton()));

    ASSERT_NE(nullptr, form_->CopyHint());
    wchar_t hint[128] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = form_->Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(form_->CopyButton());
    tool.lpszText = hint;
    ::SendMessageW(form_->CopyHint(), TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(L"Скопировать номер абонента в буфер обмена", hint);
}

TEST_F(FormTMWTest, SlideFollowsTheClockFromTheFirstTick) {
    form_->SetBounds(100, 1024, 182, 162);
    form_->EndLeft = 100;
    form_->EndTop = 862;
    struct Step {
        uint32_t clock;
        int top;
        bool sliding;
    };
    // The first tick fixes the start; a later first tick would not change the path.
    const Step steps[] = {{5000, 1024, true}, {5050, 973, true}, {5125, 909, true}, {5200, 869, true},
                          {5249, 862, false}};
    for (const Step& step : steps) {
        clock_ = step.clock;
        form_->TimerTimer();
        EXPECT_EQ(100, Position().x) << step.clock;
        EXPECT_EQ(step.top, Position().y) << step.clock;
        EXPECT_EQ(step.sliding, form_->IsSliding()) << step.clock;
    }
    // Stopped for good: the window stays where it is.
    form_->SetPosition(300, 300);
    clock_ = 9000;
    form_->TimerTimer();
    EXPECT_EQ(300, Position().x);
}

TEST_F(FormTMWTest, SlideSurvivesTheTickCounterWrapping) {
    form_->SetBounds(-82, 300, 182, 162);
    form_->EndLeft = 100;
    form_->EndTop = 300;
    clock_ = 0xFFFFFFB0u;  // 80 ms before the wrap
    form_->TimerTimer();
    clock_ = 45;  // 125 ms later
    form_->TimerTimer();
    EXPECT_EQ(47, Position().x);  // 100 - trunc(0.2929 * 182)
    EXPECT_TRUE(form_->IsSliding());
    clock_ = 200;
    form_->TimerTimer();
    EXPECT_EQ(100, Position().x);
    EXPECT_FALSE(form_->IsSliding());
}

TEST_F(FormTMWTest, WindowAtItsEndStopsAtTheFirstTickWithoutMoving) {
    form_->SetBounds(400, 300, 182, 162);
    form_->EndLeft = 400;
    form_->EndTop = 300;
    form_->TimerTimer();
    EXPECT_FALSE(form_->IsSliding());
    EXPECT_EQ(400, Position().x);
    EXPECT_EQ(300, Position().y);
}

TEST_F(FormTMWTest, RealTimerEndsTheSlideAtTheEndPosition) {
    TTMWForm* form = TTMWForm::Create();
    HWND window = form->Handle();
    form->SetBounds(200, 1024, 182, 162);
    form->EndLeft = 200;
    form->EndTop = 700;
    form->ShowNoActivate();
    EXPECT_TRUE(PumpUntil([form] { return !form->IsSliding(); }));
    EXPECT_EQ(200, form->BoundsRect().left);
    EXPECT_EQ(700, form->BoundsRect().top);
    form->Free();
    EXPECT_FALSE(::IsWindow(window));
}

TEST_F(FormTMWTest, DragStartsOnlyWithTheLeftButtonOnTheTitleStrip) {
    struct Case {
        UINT down;
        int y;
        bool drags;
    };
    const Case cases[] = {
        {WM_LBUTTONDOWN, 2, true},    // the frame above the strip
        {WM_LBUTTONDOWN, 10, true},   // label and icon lie here
        {WM_LBUTTONDOWN, 20, true},
        {WM_LBUTTONDOWN, 21, false},  // the body below the strip
        {WM_LBUTTONDOWN, 100, false},
        {WM_RBUTTONDOWN, 10, false},
        {WM_MBUTTONDOWN, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "message " << c.down << " y " << c.y);
        Settle(300, 300);
        const HWND window = form_->Handle();
        ::SendMessageW(window, c.down, c.down == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(50, c.y));
        ::SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, c.y + 15));
        EXPECT_EQ(c.drags ? 330 : 300, Position().x);
        EXPECT_EQ(c.drags ? 315 : 300, Position().y);
        // After the button is up, moving the pointer moves nothing.
        ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(80, c.y + 15));
        const POINT released = Position();
        ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
        EXPECT_EQ(released.x, Position().x);
        EXPECT_EQ(released.y, Position().y);
    }
}

TEST_F(FormTMWTest, DragWithNegativePointerCoordinatesMovesLeftAndUp) {
    Settle(300, 300);
    ::SendMessageW(form_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 10));
    ::SendMessageW(form_->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-10, -20));
    EXPECT_EQ(240, Position().x);
    EXPECT_EQ(270, Position().y);
    ::SendMessageW(form_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(0, 0));
}

TEST_F(FormTMWTest, SlideOverridesADragUntilItEnds) {
    form_->SetBounds(300, 500, 182, 162);
    form_->EndLeft = 300;
    form_->EndTop = 338;
    form_->TimerTimer();  // first tick at 1000
    ::SendMessageW(form_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 10));
    ::SendMessageW(form_->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 60));
    EXPECT_EQ(400, Position().x);
    clock_ = 1125;
    form_->TimerTimer();
    EXPECT_EQ(300, Position().x);
    EXPECT_EQ(385, Position().y);  // 338 + trunc(0.2929 * 162)
    ::SendMessageW(form_->Handle(), WM_LBUTTONUP, 0, 0);
}

TEST_F(FormTMWTest, ContextMenuRequestInTheTextAreaClosesAndFreesTheWindow) {
    struct Case {
        const char* name;
        bool menuKey;
    };
    for (const Case c : {Case{"menu key", true}, Case{"right click", false}}) {
        SCOPED_TRACE(c.name);
        if (!form_) NewForm();
        destroyed_.clear();
        Settle(300, 300);
        form_->ShowNoActivate();
        TTMWForm* const form = form_;
        const HWND window = form_->Handle();
        const HWND info = form_->InfoRichEdit();
        if (c.menuKey) {
            ::SendMessageW(info, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(info), MAKELPARAM(-1, -1));
        } else {
            ::SendMessageW(info, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
            ::SendMessageW(info, WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
        }
        // Destroyed once the request has been handled, not inside it.
        EXPECT_TRUE(PumpUntil([window] { return !::IsWindow(window); }));
        ASSERT_EQ(1u, destroyed_.size());
        EXPECT_EQ(form, destroyed_[0]);
        // No menu is left behind.
        EXPECT_EQ(nullptr, ::FindWindowW(L"#32768", nullptr));
    }
}

TEST_F(FormTMWTest, RightClickOnTheTitleStripDoesNothing) {
    Settle(300, 300);
    form_->ShowNoActivate();
    const HWND window = form_->Handle();
    ::SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(50, 10));
    ::SendMessageW(window, WM_RBUTTONUP, 0, MAKELPARAM(50, 10));
    PumpFor(50);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_TRUE(destroyed_.empty());
}

TEST_F(FormTMWTest, CloseRequestFreesTheWindowAndReportsOnce) {
    const HWND window = form_->Handle();
    TTMWForm* const form = form_;
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([window] { return !::IsWindow(window); }));
    ASSERT_EQ(1u, destroyed_.size());
    EXPECT_EQ(form, destroyed_[0]);
}

TEST_F(FormTMWTest, CopyButtonPutsClipTextOnTheClipboard) {
    Settle(300, 300);
    form_->ShowNoActivate();
    PumpFor(20);
    for (const std::wstring& text : {std::wstring(L"+7 (495) 123-45-67"), std::wstring(), std::wstring(L"Канал №1")}) {
        // Something else is on the clipboard first; an empty ClipText replaces it too.
        ASSERT_TRUE(::OpenClipboard(nullptr));
        ::EmptyClipboard();
        ::CloseClipboard();
        form_->ClipText = text;
        ::SendMessageW(form_->CopyButton(), BM_CLICK, 0, 0);
        EXPECT_EQ(text, ReadClipboardText());
        EXPECT_TRUE(::IsClipboardFormatAvailable(CF_UNICODETEXT));
    }
}

TEST_F(FormTMWTest, EditDataButtonHandsOnTheCallerData) {
    Settle(300, 300);
    form_->ShowNoActivate();
    form_->Caller.Number = L"74951234567";
    form_->Caller.Name = L"Иванов Иван";
    form_->Caller.Comment = L"Поставщик";
    form_->IsPreview = true;
    struct EditRequest {
        TCaller Caller;
        bool IsPreview;
    };
    std::vector<EditRequest> calls;
    form_->OnEditData = [&calls](const TCaller& caller, bool isPreview) { calls.push_back({caller, isPreview}); };
    ::SendMessageW(form_->EditDataButton(), BM_CLICK, 0, 0);
    ::SendMessageW(form_->EditDataButton(), BM_CLICK, 0, 0);
    ASSERT_EQ(2u, calls.size());  // each click opens one more editor
    EXPECT_EQ(L"74951234567", calls[0].Caller.Number);
    EXPECT_EQ(L"Иванов Иван", calls[0].Caller.Name);
    EXPECT_EQ(L"Поставщик", calls[0].Caller.Comment);
    EXPECT_TRUE(calls[0].IsPreview);
    EXPECT_TRUE(::IsWindow(form_->Handle()));  // the popup stays open

    form_->OnEditData = nullptr;
    ::SendMessageW(form_->EditDataButton(), BM_CLICK, 0, 0);  // no editor yet: nothing happens
}

TEST_F(FormTMWTest, RichLinesAppendInOrderBoldOrRegular) {
    TTMWFont font;
    font.Name = L"Tahoma";
    font.Size = 9;
    form_->SetTextFont(font);
    form_->ClearInfo();
    form_->AddRichInfoLine(L"K1", false);
    form_->AddRichInfoLine(L"74951234567", true);
    form_->AddRichInfoLine(L"", true);
    form_->AddRichInfoLine(L"Москва", false);
    EXPECT_EQ(L"K1\r\n74951234567\r\n\r\nМосква\r\n", form_->InfoText());
    EXPECT_EQ((std::vector<std::wstring>{L"K1", L"*74951234567", L"", L"Москва"}), RichLines(form_->InfoRichEdit()));

    // Emptying starts over at the top.
    form_->ClearInfo();
    form_->AddRichInfoLine(L"K2", false);
    EXPECT_EQ(L"K2\r\n", form_->InfoText());
}

TEST_F(FormTMWTest, TextFontReplacesTheRichEditDefault) {
    TTMWFont font;
    font.Name = L"Courier New";
    font.Size = 12;
    font.Color = RGB(128, 0, 0);
    form_->SetTextFont(font);
    form_->SetInfoText(L"text");
    CHARRANGE all{0, -1};
    ::SendMessageW(form_->InfoRichEdit(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    ::SendMessageW(form_->InfoRichEdit(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_STREQ(L"Courier New", format.szFaceName);
    EXPECT_EQ(240, format.yHeight);
    EXPECT_TRUE(format.dwMask & CFM_BOLD);
    EXPECT_FALSE(format.dwEffects & CFE_BOLD);
    EXPECT_EQ(RGB(128, 0, 0), format.crTextColor);
}

TEST_F(FormTMWTest, AwkwardTextsAreShownAsTheyAre) {
    const std::wstring rtfLike = L"{\\rtf1 \\b not a command}";
    form_->SetInfoText(rtfLike);
    EXPECT_EQ(rtfLike, form_->InfoText());
    EXPECT_EQ((std::vector<std::wstring>{rtfLike}), RichLines(form_->InfoRichEdit()));

    form_->ClearInfo();
    form_->AddRichInfoLine(L"line one\r\nline two", true);
    EXPECT_EQ(L"line one\r\nline two\r\n", form_->InfoText());

    std::wstring longText;
    for (int i = 0; i < 2000; ++i) longText += L"Строка номер " + std::to_wstring(i) + L" с текстом\r\n";
    form_->SetInfoText(longText);
    const std::wstring shown = form_->InfoText();
    EXPECT_EQ(longText.size(), shown.size());
    EXPECT_TRUE(longText == shown);  // compared whole, reported short

    // A 500-character title with line breaks paints without trouble.
    std::wstring title(500, L'Ж');
    title[100] = L'\n';
    title[200] = L'\t';
    form_->SetTitle(title);
    EXPECT_EQ(title, form_->Title());
    Settle(300, 300);
    form_->ShowNoActivate();
    ::UpdateWindow(form_->Handle());
    PumpFor(20);
    EXPECT_TRUE(::IsWindow(form_->Handle()));
}

// Xvfb has no compositor: the layered window shows opaque, so the colours it
// paints are what the screen holds.
TEST_F(FormTMWTest, PaintsFramesTitleStripAndBackground) {
    constexpr int left = 200, top = 150, w = 182, h = 162;
    Settle(left, top, w, h);
    form_->ShowNoActivate();
    ::UpdateWindow(form_->Handle());
    PumpFor(100);

    WindowDC screen(nullptr);
    auto pixel = [&screen](int x, int y) { return ::GetPixel(screen.get(), left + x, top + y); };
    const COLORREF blue = RGB(0, 146, 220);
    const COLORREF white = RGB(255, 255, 255);
    const COLORREF background = RGB(96, 192, 255);
    // Outer frame on all four sides, the white frame inside it.
    EXPECT_EQ(blue, pixel(0, 0));
    EXPECT_EQ(blue, pixel(w - 1, 80));
    EXPECT_EQ(blue, pixel(90, h - 1));
    EXPECT_EQ(blue, pixel(0, 80));
    EXPECT_EQ(white, pixel(1, 80));
    EXPECT_EQ(white, pixel(w - 2, 80));
    EXPECT_EQ(white, pixel(90, h - 2));
    // Background between the two pairs of frames, then the content frames.
    EXPECT_EQ(background, pixel(2, 80));
    EXPECT_EQ(background, pixel(3, 80));
    EXPECT_EQ(background, pixel(90, h - 3));
    EXPECT_EQ(blue, pixel(4, 80));
    EXPECT_EQ(white, pixel(5, 80));
    EXPECT_EQ(blue, pixel(90, h - 5));
    EXPECT_EQ(white, pixel(90, h - 6));
    EXPECT_EQ(blue, pixel(100, 20));
    EXPECT_EQ(white, pixel(100, 21));

    // The title strip: light at the top, near the background at the bottom.
    const COLORREF stripTop = pixel(w - 10, 2);
    const COLORREF stripBottom = pixel(w - 10, 19);
    auto within = [](COLORREF actual, COLORREF expected, int tolerance) {
        return std::abs(GetRValue(actual) - GetRValue(expected)) <= tolerance &&
               std::abs(GetGValue(actual) - GetGValue(expected)) <= tolerance &&
               std::abs(GetBValue(actual) - GetBValue(expected)) <= tolerance;
    };
    EXPECT_TRUE(within(stripTop, RGB(202, 234, 255), 2)) << std::hex << stripTop;
    EXPECT_TRUE(within(stripBottom, background, 8)) << std::hex << stripBottom;
    EXPECT_GT(GetRValue(pixel(w - 10, 8)), GetRValue(stripBottom));

    // The text area and the copy panel are white.
    EXPECT_EQ(white, pixel(60, 80));
    EXPECT_EQ(white, pixel(w - 25, 22));

    BYTE alpha = 0;
    ASSERT_TRUE(::GetLayeredWindowAttributes(form_->Handle(), nullptr, &alpha, nullptr));
    EXPECT_EQ(223, alpha);
}

}  // namespace
