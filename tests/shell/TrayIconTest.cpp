// The tray icon against a stand-in shell, and its callback messages as the shell sends them.
#include "TrayIcon.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr UINT kIconId = 1;

struct ShellCall {
    DWORD message;
    UINT flags;
    std::wstring info;
};

// Records what the icon asks of the shell; `up` says whether a notification area exists.
class FakeShell {
public:
    TTrayIcon::TShellNotify Notify() {
        return [this](DWORD message, NOTIFYICONDATAW& data) -> BOOL {
            calls.push_back({message, data.uFlags, data.szInfo});
            return up;
        };
    }
    std::vector<std::wstring> Balloons() const {
        std::vector<std::wstring> shown;
        for (const auto& call : calls)
            if (call.message == NIM_MODIFY && (call.flags & NIF_INFO)) shown.push_back(call.info);
        return shown;
    }
    int Adds() const {
        int adds = 0;
        for (const auto& call : calls) adds += call.message == NIM_ADD;
        return adds;
    }

    bool up = true;
    std::vector<ShellCall> calls;
};

const UINT kTaskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");

TEST(TrayIcon, AShellRestartAddsTheIconAgainAndRepeatsTheBalloonStillDue) {
    struct Case {
        const char* name;
        bool shellUpAtStart;
        bool forgetBeforeRestart;
        std::vector<std::wstring> balloons;
    };
    const Case cases[] = {
        {"shell not up at start: the balloon comes with the icon", false, false, {L"Нет соединения с сервером."}},
        {"shell restarted, still not connected", true, false,
         {L"Нет соединения с сервером.", L"Нет соединения с сервером."}},
        {"connected meanwhile", true, true, {L"Нет соединения с сервером."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeShell shell;
        shell.up = c.shellUpAtStart;
        TTrayIcon icon(nullptr, kIconId, WM_APP + 1, nullptr, shell.Notify());
        icon.Show();
        icon.ShowBalloon(L"Информатор Kordavin", L"Нет соединения с сервером.");
        if (c.forgetBeforeRestart) icon.ForgetBalloon();
        shell.up = true;
        EXPECT_FALSE(icon.HandleTaskbarCreated(WM_APP + 7));
        EXPECT_TRUE(icon.HandleTaskbarCreated(kTaskbarCreated));
        EXPECT_EQ(2, shell.Adds());
        EXPECT_EQ(c.balloons, shell.Balloons());
        size_t lastAdd = 0;
        for (size_t i = 0; i < shell.calls.size(); ++i)
            if (shell.calls[i].message == NIM_ADD) lastAdd = i;
        ASSERT_LT(lastAdd + 1, shell.calls.size());
        EXPECT_EQ(static_cast<DWORD>(NIM_SETVERSION), shell.calls[lastAdd + 1].message)
            << "the icon added again is set to version 4 at once";
    }
}

// The events of one user action, in the order the shell sends them.
std::vector<TTrayRequest::Kind> Requests(const std::vector<UINT>& events, POINT anchor = {}, UINT id = kIconId) {
    std::vector<TTrayRequest::Kind> requests;
    for (UINT event : events) {
        const TTrayRequest request =
            DecodeTrayCallback(MAKEWPARAM(static_cast<WORD>(anchor.x), static_cast<WORD>(anchor.y)),
                               MAKELPARAM(event, id), kIconId);
        if (request.kind != TTrayRequest::Kind::None) requests.push_back(request.kind);
    }
    return requests;
}

TEST(TrayIcon, EachUserActionAsksForOneThing) {
    using Kind = TTrayRequest::Kind;
    struct Case {
        const char* name;
        std::vector<UINT> events;
        std::vector<Kind> requests;
    };
    const Case cases[] = {
        {"right-click", {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU}, {Kind::ShowMenu}},
        {"menu key", {WM_CONTEXTMENU}, {Kind::ShowMenu}},
        {"single click", {WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT}, {}},
        {"double-click", {WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT, WM_LBUTTONDBLCLK, WM_LBUTTONUP}, {Kind::Activate}},
        {"Enter on the focused icon", {NIN_KEYSELECT}, {Kind::Activate}},
        {"hover and balloon", {WM_MOUSEMOVE, NIN_POPUPOPEN, NIN_POPUPCLOSE, NIN_BALLOONSHOW, NIN_BALLOONUSERCLICK}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.requests, Requests(c.events));
    }
    EXPECT_TRUE(Requests({WM_CONTEXTMENU, WM_LBUTTONDBLCLK}, {}, kIconId + 1).empty()) << "another icon's events";
}

TEST(TrayIcon, TheMenuGoesToTheShellsAnchorAlsoOnANegativeScreen) {
    for (const POINT anchor : {POINT{300, 600}, POINT{-1500, 20}, POINT{2000, -40}}) {
        const TTrayRequest request = DecodeTrayCallback(
            MAKEWPARAM(static_cast<WORD>(anchor.x), static_cast<WORD>(anchor.y)), MAKELPARAM(WM_CONTEXTMENU, kIconId),
            kIconId);
        EXPECT_EQ(anchor.x, request.anchor.x);
        EXPECT_EQ(anchor.y, request.anchor.y);
    }
}

}  // namespace
