// The popups as a screen reader meets them: the accessible object read through
// oleacc, its name as the caller's data fills in, its buttons, and the events
// that tell a screen reader a call came or its text changed.
#include <gtest/gtest.h>

#include "PopupTestSupport.h"
#include "TrayMsgWins.h"

#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <string>
#include <vector>

using namespace popuptest;
using Microsoft::WRL::ComPtr;

namespace {

struct SeenEvent {
    DWORD event;
    HWND window;
    LONG object;
    LONG child;
};

std::vector<SeenEvent>& SeenEvents() {
    static std::vector<SeenEvent> events;
    return events;
}

void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (event == EVENT_SYSTEM_ALERT || event == EVENT_OBJECT_NAMECHANGE)
        SeenEvents().push_back({event, window, object, child});
}

VARIANT Child(long id) {
    VARIANT child;
    ::VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = id;
    return child;
}

class PopupAccessibilityTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        wins_.SetWorkAreaSource([] { return RECT{0, 0, 1280, 1000}; });
        wins_.SetTickSource([] { return 1000u; });
        SeenEvents().clear();
        hook_ = ::SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_OBJECT_NAMECHANGE, nullptr, RecordEvent,
                                  ::GetCurrentProcessId(), ::GetCurrentThreadId(), WINEVENT_OUTOFCONTEXT);
        ASSERT_NE(nullptr, hook_);
    }
    void TearDown() override {
        while (!wins_.Windows().empty()) wins_.Windows().back()->Free();
        PumpPending();
        ::UnhookWinEvent(hook_);
        ::CoUninitialize();
    }

    // A ringing call with no number yet, as the event dispatch shows it.
    TTrayMsgWinItem* Ring(const std::wstring& channel) {
        TTrayMsgWinUpdateBracket bracket(wins_.Items());
        TTrayMsgWinItem* item = wins_.Items().Add();
        item->SetWinID(channel);
        item->SetTitle(L"ВЫЗОВ");
        item->SetSimpleText(L"Нет информации о номере.");
        item->SetVisible(true);
        return item;
    }

    // The caller ID arrives and the directory knows the caller.
    static void CallerKnown(TTrayMsgWinItem* item) {
        TTrayMsgWinUpdateBracket bracket(*item->Collection());
        item->SetTitle(L"АОН");
        item->Caller = {L"74951234567", L"Иванов Иван", L"Москва", L"Поставщик"};
        item->UseRichText = true;
        item->SetClipboardText(L"84951234567");
    }

    // What a screen reader gets for the popup's client area.
    static ComPtr<IAccessible> ClientObject(HWND window) {
        ComPtr<IAccessible> accessible;
        const HRESULT result =
            ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(accessible.GetAddressOf()));
        EXPECT_EQ(S_OK, result);
        return accessible;
    }
    static std::wstring Name(IAccessible* accessible, long child = CHILDID_SELF) {
        BSTR name = nullptr;
        EXPECT_EQ(S_OK, accessible->get_accName(Child(child), &name));
        std::wstring text = name ? std::wstring(name, ::SysStringLen(name)) : std::wstring();
        ::SysFreeString(name);
        return text;
    }
    static long Role(IAccessible* accessible, long child = CHILDID_SELF) {
        VARIANT role;
        ::VariantInit(&role);
        EXPECT_EQ(S_OK, accessible->get_accRole(Child(child), &role));
        EXPECT_EQ(VT_I4, role.vt);
        return role.vt == VT_I4 ? role.lVal : -1;
    }
    static std::vector<std::wstring> ChildNames(IAccessible* accessible) {
        long count = 0;
        EXPECT_EQ(S_OK, accessible->get_accChildCount(&count));
        std::vector<std::wstring> names;
        for (long i = 1; i <= count; ++i) {
            EXPECT_EQ(ROLE_SYSTEM_PUSHBUTTON, Role(accessible, i));
            names.push_back(Name(accessible, i));
        }
        return names;
    }
    static int CountEvents(DWORD event, HWND window) {
        int count = 0;
        for (const SeenEvent& seen : SeenEvents())
            if (seen.event == event && seen.window == window && seen.object == OBJID_CLIENT &&
                seen.child == CHILDID_SELF)
                ++count;
        return count;
    }

    TTrayMsgWins wins_;
    HWINEVENTHOOK hook_ = nullptr;
};

}  // namespace

TEST_F(PopupAccessibilityTest, APopupIsAnAlertNamedWithWhatItShowsAndItsNameFollowsTheCaller) {
    TTrayMsgWinItem* item = Ring(L"K1");
    const HWND window = wins_.FindFormTMW(item)->Handle();
    PumpPending();
    EXPECT_EQ(1, CountEvents(EVENT_SYSTEM_ALERT, window)) << "the call is announced when the popup appears";
    EXPECT_EQ(0, CountEvents(EVENT_OBJECT_NAMECHANGE, window));

    const ComPtr<IAccessible> popup = ClientObject(window);
    ASSERT_TRUE(popup);
    EXPECT_EQ(ROLE_SYSTEM_ALERT, Role(popup.Get()));
    EXPECT_EQ(L"ВЫЗОВ: Нет информации о номере.", Name(popup.Get()));

    CallerKnown(item);
    PumpPending();
    EXPECT_EQ(L"АОН: K1, 74951234567, Иванов Иван, Москва, Поставщик", Name(popup.Get()));
    EXPECT_EQ(1, CountEvents(EVENT_OBJECT_NAMECHANGE, window)) << "one refresh, one name change";

    // A refresh that changes nothing a screen reader would say raises nothing.
    wins_.UpdateFormTMW(item);
    PumpPending();
    EXPECT_EQ(1, CountEvents(EVENT_OBJECT_NAMECHANGE, window));
    item->SetTitle(L"РАЗГОВОР");
    PumpPending();
    EXPECT_EQ(L"РАЗГОВОР: K1, 74951234567, Иванов Иван, Москва, Поставщик", Name(popup.Get()));
    EXPECT_EQ(2, CountEvents(EVENT_OBJECT_NAMECHANGE, window));
    EXPECT_EQ(1, CountEvents(EVENT_SYSTEM_ALERT, window));

    // Each popup is announced on its own.
    const HWND second = wins_.FindFormTMW(Ring(L"K2"))->Handle();
    PumpPending();
    EXPECT_EQ(1, CountEvents(EVENT_SYSTEM_ALERT, second));
    EXPECT_EQ(L"ВЫЗОВ: Нет информации о номере.", Name(ClientObject(second).Get()));
}

TEST_F(PopupAccessibilityTest, ItsButtonsAreNamedChildrenThatAScreenReaderCanPress) {
    std::vector<std::wstring> pressed;
    wins_.SetOnEditData(
        [&pressed](const TCaller& caller, bool) { pressed.push_back(L"edit " + caller.Number); });
    TTrayMsgWinItem* item = Ring(L"K1");
    CallerKnown(item);
    TTMWForm* form = wins_.FindFormTMW(item);
    const ComPtr<IAccessible> popup = ClientObject(form->Handle());
    ASSERT_TRUE(popup);
    EXPECT_EQ((std::vector<std::wstring>{L"Внести данные", L"Скопировать номер абонента в буфер обмена"}),
              ChildNames(popup.Get()));

    // "Открыть в CRM" joins them while the CRM link is on.
    wins_.SetOnOpenCrm([&pressed](const TCaller& caller, const std::wstring&) { pressed.push_back(L"crm " + caller.Number); });
    EXPECT_EQ((std::vector<std::wstring>{L"Внести данные", L"Открыть в CRM",
                                         L"Скопировать номер абонента в буфер обмена"}),
              ChildNames(popup.Get()));

    // Where each button is on the screen, and pressing it as a screen reader does.
    for (long child : {1L, 2L, 3L}) {
        long left = 0, top = 0, width = 0, height = 0;
        ASSERT_EQ(S_OK, popup->accLocation(&left, &top, &width, &height, Child(child)));
        EXPECT_GT(width, 0);
        VARIANT hit;
        ::VariantInit(&hit);
        ASSERT_EQ(S_OK, popup->accHitTest(left + width / 2, top + height / 2, &hit));
        EXPECT_EQ(VT_I4, hit.vt);
        EXPECT_EQ(child, hit.lVal);
        BSTR action = nullptr;
        ASSERT_EQ(S_OK, popup->get_accDefaultAction(Child(child), &action));
        EXPECT_EQ(L"Нажать", std::wstring(action, ::SysStringLen(action)));
        ::SysFreeString(action);
        EXPECT_EQ(S_OK, popup->accDoDefaultAction(Child(child)));
        PumpPending();
    }
    EXPECT_EQ((std::vector<std::wstring>{L"edit 74951234567", L"crm 74951234567"}), pressed);
    EXPECT_EQ(L"84951234567", ReadClipboardText());

    BSTR name = nullptr;
    EXPECT_EQ(E_INVALIDARG, popup->get_accName(Child(4), &name));
    EXPECT_EQ(nullptr, name);
}

TEST_F(PopupAccessibilityTest, AnObjectHeldAfterThePopupClosedAnswersThatItIsGone) {
    TTrayMsgWinItem* item = Ring(L"K1");
    const ComPtr<IAccessible> popup = ClientObject(wins_.FindFormTMW(item)->Handle());
    ASSERT_TRUE(popup);
    item->Free();
    PumpPending();
    EXPECT_TRUE(wins_.Windows().empty());
    BSTR name = nullptr;
    EXPECT_EQ(RPC_E_DISCONNECTED, popup->get_accName(Child(CHILDID_SELF), &name));
    EXPECT_EQ(nullptr, name);
    long count = -1;
    EXPECT_EQ(RPC_E_DISCONNECTED, popup->get_accChildCount(&count));
    EXPECT_EQ(RPC_E_DISCONNECTED, popup->accDoDefaultAction(Child(1)));
}
