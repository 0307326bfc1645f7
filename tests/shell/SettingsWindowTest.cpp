// The settings window of the real tray program, driven as a user drives it:
// clicks, typed characters, pastes and list choices sent to its controls.
#include "ClipboardText.h"
#include "InformerProcess.h"
#include "CrmNamesRes.h"
#include "MainFormRes.h"
#include "SimulatorFixture.h"
#include "SqlDirectoryRes.h"
#include "TestFolders.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr UINT kOptionsCommand = IDM_PMNUOPTIONS;

// Generous: a machine busy with other work may take seconds over a step.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 30000) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(50);
    }
    return true;
}

std::wstring IniValue(const std::wstring& path, const wchar_t* key) {
    wchar_t buffer[1024] = {};
    ::GetPrivateProfileStringW(L"Main", key, L"<missing>", buffer, 1024, path.c_str());
    return buffer;
}

bool PutClipboard(const std::wstring& text) { return PutClipboardText(nullptr, text); }

// The program's settings window, shown from the tray menu.
class SettingsWindow {
public:
    explicit SettingsWindow(const InformerProcess& informer) : window_(informer.MainWindow()) {
        ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(kOptionsCommand, 0), 0);
        WaitFor([&] { return ::IsWindowVisible(window_) != FALSE; });
        // Painted, as far as the screen is concerned.
        send(window_, WM_NULL);
        ::Sleep(300);
    }

    HWND handle() const { return window_; }
    HWND item(int id) const { return ::GetDlgItem(window_, id); }
    // Handled before this returns.
    LRESULT send(HWND target, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        DWORD_PTR result = 0;
        ::SendMessageTimeoutW(target, message, wParam, lParam, SMTO_BLOCK, 10000, &result);
        return static_cast<LRESULT>(result);
    }
    void click(int id) const { send(item(id), BM_CLICK); }
    void setText(int id, const std::wstring& text) const {
        send(item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::wstring text(int id) const {
        wchar_t buffer[1024] = {};
        send(item(id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
        return buffer;
    }
    void type(int id, const std::wstring& characters) const {
        for (wchar_t c : characters) send(item(id), WM_CHAR, c, 1);
    }
    void paste(int id) const { send(item(id), WM_PASTE); }
    // A choice in a drop-down list, with the notification the list sends for a user's choice.
    void choose(int id, int index) const {
        send(item(id), CB_SETCURSEL, static_cast<WPARAM>(index));
        send(window_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item(id)));
    }
    int chosen(int id) const { return static_cast<int>(send(item(id), CB_GETCURSEL)); }
    bool checked(int id) const { return send(item(id), BM_GETCHECK) == BST_CHECKED; }
    bool enabled(int id) const { return ::IsWindowEnabled(item(id)) != FALSE; }
    bool visible(int id) const { return ::IsWindowVisible(item(id)) != FALSE; }
    bool applyEnabled() const { return enabled(IDC_BTNAPPLY); }
    // How much ink the button's caption has, as the screen shows it: a bold "Ж"
    // is clearly darker than a regular one. Read until the picture is steady,
    // since a busy machine may still be painting.
    int inkOf(int id) const {
        // A focused button has a focus frame and a thicker border: away from it.
        send(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IDC_LECITYCODE)), TRUE);
        ::RedrawWindow(item(id), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        int last = -1;
        for (int attempt = 0; attempt < 30; ++attempt) {
            send(item(id), WM_NULL);
            ::Sleep(100);
            RECT bounds{};
            ::GetWindowRect(item(id), &bounds);
            WindowDC screen(nullptr);
            int ink = 0;
            for (int y = bounds.top + 3; y < bounds.bottom - 3; ++y)
                for (int x = bounds.left + 3; x < bounds.right - 3; ++x) {
                    const COLORREF c = ::GetPixel(screen.get(), x, y);
                    ink += (765 - GetRValue(c) - GetGValue(c) - GetBValue(c)) / 3;
                }
            if (ink == last && ink > 0) return ink;
            last = ink;
        }
        return last;
    }
    // Two regular captions measure the same; a bold one about a tenth more.
    bool bold(int id) const { return inkOf(id) > regularInk_ * 105 / 100; }
    // The ink of the regular "Ж" of a button known not to be bold.
    void measureRegular(int id) { regularInk_ = inkOf(id); }
    // The channel list, by keyboard: Home, Down..., Space toggles the focused item's mark.
    void toggleChannel(int index) const {
        HWND list = item(IDC_CLBCHANNELS);
        send(list, WM_KEYDOWN, VK_HOME, 0);
        for (int i = 0; i < index; ++i) send(list, WM_KEYDOWN, VK_DOWN, 0);
        send(list, WM_KEYDOWN, VK_SPACE, 0);
        send(list, WM_KEYUP, VK_SPACE, 0);
    }
    bool channelChecked(int index) const {
        return (send(item(IDC_CLBCHANNELS), LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK) >>
                12) == 2;
    }
    int channelCount() const { return static_cast<int>(send(item(IDC_CLBCHANNELS), LVM_GETITEMCOUNT)); }

private:
    HWND window_;
    int regularInk_ = 0;
};

class SettingsWindowTest : public SimulatorTest {
protected:
    static std::wstring IniPath(const InformerProcess& informer) {
        return informer.folder() + L"\\KordavinInformer.ini";
    }
};

}  // namespace

TEST_F(SettingsWindowTest, ApplyIsEnabledByEveryKindOfControlAndDisabledByApplyOkAndCancel) {
    InformerProcess informer({session_, true, {}, {}});
    ASSERT_TRUE(informer.WaitForSimulator());
    SettingsWindow window(informer);
    ASSERT_TRUE(WaitFor([&] { return window.channelCount() == 4; })) << "the channels come from the server";
    EXPECT_FALSE(window.applyEnabled()) << "filling the controls at start is no change";

    const struct {
        const char* what;
        std::function<void()> change;
    } changes[] = {
        {"check box", [&] { window.click(IDC_CBCALLERIDONLY); }},
        {"autorun box", [&] { window.click(IDC_CBAUTORUN); }},
        {"text edit", [&] { window.setText(IDC_DBALLOWEDCLIENTS, L"10.0.0.7"); }},
        {"typed digit", [&] { window.type(IDC_LECITYCODE, L"1"); }},
        {"prefix edit", [&] { window.type(IDC_LECITYPREFIX, L"9"); }},
        {"popup size", [&] { window.type(IDC_EDITTWMROWS, L"2"); }},
        {"drop-down list", [&] { window.choose(IDC_CBTMWSTYLE, 2); }},
        {"font size", [&] { window.choose(IDC_CBFONTSIZES, 3); }},
        {"bold button", [&] { window.click(IDC_NAMEBOLDBUTTON); }},
        {"show check box", [&] { window.click(IDC_REGIONSHOWCHECKBOX); }},
        {"channel mark", [&] { window.toggleChannel(2); }},
        {"shared directory box", [&] { window.click(IDC_USEREMOTEDBCHECKBOX); }},
        {"client radio button", [&] { window.click(IDC_DBTYPE_CLIENT); }},
        {"port", [&] { window.setText(IDC_PORTSPINEDIT, L"4000"); }},
        {"default port", [&] { window.click(IDC_SETDEFAULTPORTBUTTON); }},
    };
    // Each change is undone by one of the three buttons in turn.
    const struct {
        const char* name;
        int button;
    } closers[] = {{"Применить", IDC_BTNAPPLY}, {"Отмена", IDC_BTNCANCEL}, {"OK", IDC_BTNOK}};
    int turn = 0;
    for (const auto& change : changes) {
        SCOPED_TRACE(change.what);
        const auto& closer = closers[turn++ % 3];
        if (!::IsWindowVisible(window.handle()))
            ::PostMessageW(window.handle(), WM_COMMAND, MAKEWPARAM(kOptionsCommand, 0), 0);
        ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(window.handle()) != FALSE; }));
        change.change();
        EXPECT_TRUE(window.applyEnabled());
        window.click(closer.button);
        EXPECT_FALSE(window.applyEnabled()) << "after " << closer.name;
        EXPECT_EQ(closer.button == IDC_BTNAPPLY, ::IsWindowVisible(window.handle()) != FALSE)
            << "OK and Отмена hide the window, Применить keeps it";
    }
    EXPECT_EQ(L"", informer.DialogTexts()) << "no error box";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, CancelRevertsControlsAndTheConnectBoxReconnects) {
    InformerProcess informer({session_, true, {}, {L"DefaultCityCode=812", L"IsNameBold=1"}});
    ASSERT_TRUE(informer.WaitForSimulator());
    SettingsWindow window(informer);
    ASSERT_TRUE(WaitFor([&] { return informer.StatusText() == L"Подключено"; }));
    window.measureRegular(IDC_PHONEBOLDBUTTON);
    EXPECT_EQ(L"812", window.text(IDC_LECITYCODE));
    EXPECT_TRUE(window.bold(IDC_NAMEBOLDBUTTON));
    EXPECT_FALSE(window.enabled(IDC_LESERVER)) << "the server name is fixed while connected";

    window.setText(IDC_LECITYCODE, L"343");
    window.click(IDC_NAMEBOLDBUTTON);
    EXPECT_FALSE(window.bold(IDC_NAMEBOLDBUTTON));
    window.choose(IDC_CBTMWPOS, 0);
    window.click(IDC_CBACTIVE);
    EXPECT_EQ(L"Отключено", informer.StatusText()) << "the connect box acts at once";
    EXPECT_TRUE(window.enabled(IDC_LESERVER));
    EXPECT_TRUE(window.enabled(IDC_LEAREAPATH));

    window.click(IDC_BTNCANCEL);
    EXPECT_FALSE(::IsWindowVisible(window.handle()));
    EXPECT_EQ(L"812", window.text(IDC_LECITYCODE));
    EXPECT_EQ(3, window.chosen(IDC_CBTMWPOS));
    EXPECT_TRUE(window.checked(IDC_CBACTIVE));
    EXPECT_EQ(L"Подключено", informer.StatusText()) << "the applied connect setting reconnects";
    EXPECT_FALSE(window.enabled(IDC_LEAREAPATH)) << "the folders are fixed while connected";
    SettingsWindow reopened(informer);
    EXPECT_TRUE(window.bold(IDC_NAMEBOLDBUTTON)) << "the applied bold line";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, RestrictedEditsFilterTypedAndPastedTextAlike) {
    InformerProcess informer({session_, false, {}, {}});
    SettingsWindow window(informer);
    const struct {
        int edit;
        std::wstring typed, afterTyping;
        std::wstring pasted, afterPaste;
    } cases[] = {
        {IDC_LECITYPREFIX, L"8a -,810я*#\x00E9", L"8,810*#", L"9 9,\"00\"", L"8,810*#99,00"},
        {IDC_LELONGDISTANCECARRIERCODE, L"+7(8)", L"78", L"abc", L"78"},
        {IDC_LEINTERNATIONALCARRIERCODE, L"00,810", L"00,810", L"", L"00,810"},
        {IDC_LECOUNTRYCODE, L"+7,", L"7", L"+7 (495) 12-34", L"774951234"},
        {IDC_LECITYCODE, L"4 9 5#", L"495", L"#*,", L"495"},
        {IDC_EDITTWMWIDTH, L"-2x00", L"200", L"1.5", L"20015"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "edit " << c.edit);
        window.setText(c.edit, L"");
        window.type(c.edit, c.typed);
        EXPECT_EQ(c.afterTyping, window.text(c.edit));
        // The caret is at the end after typing: the paste goes there.
        ASSERT_TRUE(PutClipboard(c.pasted));
        window.paste(c.edit);
        EXPECT_EQ(c.afterPaste, window.text(c.edit));
    }
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, SharedDirectoryGroupAndServerClientEnabling) {
    InformerProcess informer({session_, false, {}, {}});
    SettingsWindow window(informer);
    const int group[] = {IDC_DBTYPE_SERVER, IDC_ADDRESSLABELEDEDIT, IDC_PORTSPINEDIT, IDC_TESTDBCONNECTIONBUTTON,
                         IDC_DBALLOWEDCLIENTS};
    for (int id : group) EXPECT_FALSE(window.visible(id)) << id << " hidden without the shared directory";
    window.click(IDC_USEREMOTEDBCHECKBOX);
    for (int id : group) EXPECT_TRUE(window.visible(id)) << id << " shown with the shared directory";
    EXPECT_TRUE(window.checked(IDC_DBTYPE_SERVER)) << "this PC is the server by default";

    const struct {
        int radio;
        bool client;
    } steps[] = {{IDC_DBTYPE_CLIENT, true}, {IDC_DBTYPE_SERVER, false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.client ? "client" : "server");
        window.click(step.radio);
        for (int id : {IDC_ADDRESSLABELEDEDIT, IDC_SELECTADDRESSBUTTON, IDC_TESTDBCONNECTIONBUTTON})
            EXPECT_EQ(step.client, window.enabled(id)) << id;
        for (int id : {IDC_PORTSPINEDIT, IDC_SETDEFAULTPORTBUTTON}) EXPECT_TRUE(window.enabled(id)) << id;
        for (int id : {IDC_LEAREAPATH, IDC_BTNBROWSEAREAPATH, IDC_LEABONENTPATH, IDC_BTNBROWSEABONENTPATH})
            EXPECT_EQ(!step.client, window.enabled(id)) << id << ": a client uses the server's directories";
    }
    window.click(IDC_DBTYPE_CLIENT);
    window.click(IDC_USEREMOTEDBCHECKBOX);
    for (int id : group) EXPECT_FALSE(window.visible(id));
    EXPECT_TRUE(window.enabled(IDC_LEAREAPATH)) << "without sharing the folders are this PC's own";

    window.setText(IDC_PORTSPINEDIT, L"1");
    window.click(IDC_BTNAPPLY);
    window.click(IDC_SETDEFAULTPORTBUTTON);
    EXPECT_EQ(L"32456", window.text(IDC_PORTSPINEDIT));
    EXPECT_TRUE(window.applyEnabled());
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, ANameLineUncheckedDisablesItsBoldButtonAndKeepsItsBoldness) {
    InformerProcess informer({session_, false, {}, {}});
    SettingsWindow window(informer);
    window.measureRegular(IDC_PHONEBOLDBUTTON);
    EXPECT_GT(window.inkOf(IDC_PHONEBOLDBUTTON), 0) << "the caption is visible";
    EXPECT_GT(window.send(window.item(IDC_CBFONTNAMES), CB_GETCOUNT), 0) << "the installed fonts";
    EXPECT_EQ(12, window.send(window.item(IDC_CBFONTSIZES), CB_GETCOUNT)) << "sizes 7 to 18";
    EXPECT_EQ(3, window.chosen(IDC_CBFONTSIZES)) << "10 points";
    EXPECT_FALSE(window.bold(IDC_NAMEBOLDBUTTON));
    window.click(IDC_NAMEBOLDBUTTON);
    EXPECT_TRUE(window.bold(IDC_NAMEBOLDBUTTON)) << "the Ж is drawn bold when the line will be bold";
    window.click(IDC_NAMESHOWCHECKBOX);
    EXPECT_FALSE(window.enabled(IDC_NAMEBOLDBUTTON));
    EXPECT_TRUE(window.enabled(IDC_PHONEBOLDBUTTON));
    window.click(IDC_BTNAPPLY);
    const std::wstring ini = IniPath(informer);
    EXPECT_EQ(L"0", IniValue(ini, L"IsNameShowed"));
    EXPECT_EQ(L"1", IniValue(ini, L"IsNameBold"));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, APopupSizeThatIsNotAnIntegerStopsTheApplyAndWritesNothing) {
    InformerProcess informer({session_, false, {}, {}});
    SettingsWindow window(informer);
    const std::wstring ini = IniPath(informer);
    const std::string before = ReadBytes(ini);
    window.setText(IDC_LECITYCODE, L"343");
    window.choose(IDC_CBTMWPOS, 0);
    window.setText(IDC_EDITTWMHEIGHT, L"");

    for (int button : {IDC_BTNAPPLY, IDC_BTNOK}) {
        SCOPED_TRACE(button == IDC_BTNOK ? "OK" : "Применить");
        // The error box is modal: the click returns only once it is closed.
        ::PostMessageW(window.item(button), BM_CLICK, 0, 0);
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(w, &pid);
                wchar_t kind[16] = {};
                ::GetClassNameW(w, kind, 16);
                if (pid == informer.processId() && w != window.handle() && ::IsWindowVisible(w) &&
                    std::wstring(kind) == L"#32770")
                    box = w;
            }
            return box != nullptr;
        })) << "an error box";
        std::wstring boxText;
        for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t part[512] = {};
            ::SendMessageTimeoutW(child, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(part), SMTO_BLOCK, 5000, nullptr);
            boxText += part;
        }
        EXPECT_NE(std::wstring::npos, boxText.find(L"не целое число")) << testing::PrintToString(boxText);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
        EXPECT_EQ(before, ReadBytes(ini)) << "nothing is written";
        EXPECT_TRUE(window.applyEnabled());
        EXPECT_TRUE(::IsWindowVisible(window.handle())) << "the window stays open";
    }
    window.setText(IDC_EDITTWMHEIGHT, L"150");
    window.click(IDC_BTNAPPLY);
    EXPECT_EQ(L"343", IniValue(ini, L"DefaultCityCode"));
    EXPECT_EQ(L"150", IniValue(ini, L"WinHeight"));
    EXPECT_EQ(L"0", IniValue(ini, L"TrayMsgPos"));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, ACrmTemplateOtherThanHttpOrWithAnUnknownPlaceholderIsRefusedOnApply) {
    InformerProcess informer({session_, false, {}, {}});
    SettingsWindow window(informer);
    const std::wstring ini = IniPath(informer);
    const std::string before = ReadBytes(ini);
    EXPECT_EQ(L"", window.text(IDC_EDITCRMURLTEMPLATE));
    EXPECT_EQ(0, window.chosen(IDC_CBCRMOPENMODE)) << "never, by default";
    EXPECT_EQ(3, static_cast<int>(window.send(window.item(IDC_CBCRMOPENMODE), CB_GETCOUNT)));

    const struct {
        const wchar_t* crm;
        const wchar_t* told;
    } refused[] = {
        {L"ftp://crm.example/card?phone={number}", L"http:// или https://"},
        {L"file:///C:/Windows/notepad.exe", L"http:// или https://"},
        {L"crm.example/card?phone={number}", L"http:// или https://"},
        {L"https://crm.example/card?phone={phone}", L"«{phone}»"},
        {L"https://crm.example/card?phone={number", L"«{number»"},
    };
    window.choose(IDC_CBCRMOPENMODE, 1);
    for (const auto& r : refused) {
        SCOPED_TRACE(testing::PrintToString(r.crm));
        window.setText(IDC_EDITCRMURLTEMPLATE, r.crm);
        // The error box is modal: the click returns only once it is closed.
        ::PostMessageW(window.item(IDC_BTNAPPLY), BM_CLICK, 0, 0);
        HWND box = informer.FindMessageBox(L"Настройки не применены");
        ASSERT_NE(nullptr, box) << informer.DialogTexts();
        EXPECT_NE(std::wstring::npos, InformerProcess::MessageBoxText(box).find(r.told))
            << testing::PrintToString(InformerProcess::MessageBoxText(box));
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
        EXPECT_EQ(before, ReadBytes(ini)) << "nothing is written";
        EXPECT_TRUE(window.applyEnabled());
    }

    // Blanks, quotes and Cyrillic in the template itself are the user's to
    // type: the URL encodes them. The blanks at its ends are dropped.
    window.setText(IDC_EDITCRMURLTEMPLATE, L"  https://crm.example/карточка?q=\"{Number}\" {name}  ");
    window.choose(IDC_CBCRMOPENMODE, 2);
    window.click(IDC_BTNAPPLY);
    EXPECT_FALSE(window.applyEnabled()) << informer.DialogTexts();
    EXPECT_EQ(L"https://crm.example/карточка?q=\"{Number}\" {name}", IniValue(ini, L"CrmUrlTemplate"));
    EXPECT_EQ(L"2", IniValue(ini, L"CrmOpenMode"));

    // Emptying the template switches the link off and is no error.
    window.setText(IDC_EDITCRMURLTEMPLATE, L"");
    window.click(IDC_BTNAPPLY);
    EXPECT_FALSE(window.applyEnabled()) << informer.DialogTexts();
    EXPECT_EQ(L"", IniValue(ini, L"CrmUrlTemplate"));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, AnAllowListWithAnUnreadableEntryIsRefusedOnApplyNamingTheEntry) {
    InformerProcess informer({session_, false, {}, {}, {}});
    SettingsWindow window(informer);
    const std::wstring ini = IniPath(informer);
    const std::string before = ReadBytes(ini);
    const struct {
        const wchar_t* allowed;
        const wchar_t* told;
    } refused[] = {
        {L"192.168.1.*", L"«192.168.1.*»"},
        {L"10.0.0.7;10.0.0.8", L"«10.0.0.7;10.0.0.8»"},
        {L"10.0.0.7, 10.0.0.1/33", L"«10.0.0.1/33»"},
        {L"10.0.0.7, сервер", L"«сервер»"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(testing::PrintToString(r.allowed));
        window.setText(IDC_DBALLOWEDCLIENTS, r.allowed);
        // The error box is modal: the click returns only once it is closed.
        ::PostMessageW(window.item(IDC_BTNAPPLY), BM_CLICK, 0, 0);
        HWND box = informer.FindMessageBox(L"Настройки не применены");
        ASSERT_NE(nullptr, box) << informer.DialogTexts();
        EXPECT_NE(std::wstring::npos, InformerProcess::MessageBoxText(box).find(r.told))
            << testing::PrintToString(InformerProcess::MessageBoxText(box));
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
        EXPECT_EQ(before, ReadBytes(ini)) << "nothing is written";
        EXPECT_TRUE(window.applyEnabled());
    }

    window.setText(IDC_DBALLOWEDCLIENTS, L" 192.168.1.0/24, 10.0.0.7 ");
    window.click(IDC_BTNAPPLY);
    EXPECT_FALSE(window.applyEnabled()) << informer.DialogTexts();
    EXPECT_EQ(L"192.168.1.0/24, 10.0.0.7", IniValue(ini, L"DBAllowedClients"));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, ThePreviewShowsTheAppliedSettingsAndTheSameButtonHidesIt) {
    InformerProcess informer({session_, false, {}, {L"TrayMsgAnimate=0"}});
    SettingsWindow window(informer);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const auto leftTop = [&](HWND popup) {
        RECT placed{};
        ::GetWindowRect(popup, &placed);
        return placed.left - work.left < (work.right - work.left) / 2 &&
               placed.top - work.top < (work.bottom - work.top) / 2;
    };

    window.choose(IDC_CBTMWPOS, 0);  // chosen, not applied
    window.click(IDC_SHOWHIDEPREVIEWWINDOWBUTTON);
    ASSERT_TRUE(informer.WaitForPopups(1));
    HWND popup = informer.Popups().front();
    EXPECT_EQ(L"Test", InformerProcess::PopupTitle(popup));
    const std::wstring text = InformerProcess::PopupText(popup);
    for (const wchar_t* line : {L"Номер телефона", L"Имя абонента", L"Регион", L"Комментарий абонента"})
        EXPECT_NE(std::wstring::npos, text.find(line)) << "missing " << line;
    EXPECT_FALSE(leftTop(popup)) << "the pending corner is not applied yet";

    window.click(IDC_SHOWHIDEPREVIEWWINDOWBUTTON);
    EXPECT_TRUE(informer.WaitForPopups(0)) << "the second press hides it";

    window.click(IDC_BTNAPPLY);
    window.click(IDC_SHOWHIDEPREVIEWWINDOWBUTTON);
    ASSERT_TRUE(informer.WaitForPopups(1));
    EXPECT_TRUE(leftTop(informer.Popups().front())) << "the applied corner";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, ApplyWritesTheIniFileAndTheAutostartValue) {
    InformerProcess informer({session_, false, {}, {}});
    SettingsWindow window(informer);
    const std::wstring ini = IniPath(informer);
    const auto runValue = [] {
        wchar_t data[1024] = {};
        DWORD size = sizeof data - sizeof(wchar_t);
        const LSTATUS status =
            ::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           L"KordavinInformer.exe", RRF_RT_REG_SZ, nullptr, data, &size);
        return status == ERROR_SUCCESS ? std::wstring(data) : std::wstring(L"<absent>");
    };
    ASSERT_FALSE(window.checked(IDC_CBAUTORUN));

    window.click(IDC_CBAUTORUN);
    window.setText(IDC_LECITYPREFIX, L"9, 99");
    window.setText(IDC_DBALLOWEDCLIENTS, L"10.0.0.5");
    window.click(IDC_BTNAPPLY);
    // The executable's full path between double quotes (however the system spells the folder).
    const std::wstring folderName = informer.folder().substr(informer.folder().find_last_of(L'\\') + 1);
    const std::wstring written = runValue();
    EXPECT_EQ(L'"', written.front()) << written;
    EXPECT_NE(std::wstring::npos, written.find(folderName + L"\\KordavinInformer.exe\"")) << written;
    EXPECT_EQ(L"9,99", IniValue(ini, L"CityPrefixes"));
    EXPECT_EQ(L"10.0.0.5", IniValue(ini, L"DBAllowedClients"));
    EXPECT_EQ(L"0", IniValue(ini, L"Active"));
    EXPECT_EQ(L"182", IniValue(ini, L"WinWidth"));

    window.click(IDC_CBAUTORUN);
    window.click(IDC_BTNOK);
    EXPECT_EQ(L"<absent>", runValue());
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, TheCrmNamesButtonOpensTheLookupDialogWhoseOkStoresOnlyItsSettings) {
    InformerProcess informer({session_, false, {}, {}});
    SettingsWindow window(informer);
    const std::wstring ini = IniPath(informer);
    window.setText(IDC_LECITYPREFIX, L"5");
    ASSERT_TRUE(window.applyEnabled());

    const auto openDialog = [&] {
        ::PostMessageW(window.item(IDC_BTNCRMNAMES), BM_CLICK, 0, 0);
        return informer.FindVisibleWindow(L"Имена из CRM");
    };
    HWND dialog = openDialog();
    ASSERT_NE(nullptr, dialog) << informer.DialogTexts();
    EXPECT_EQ(window.handle(), ::GetWindow(dialog, GW_OWNER));
    const auto setText = [&](int id, const std::wstring& text) {
        window.send(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    };
    const auto text = [&](int id) {
        wchar_t buffer[1024] = {};
        window.send(::GetDlgItem(dialog, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
        return std::wstring(buffer);
    };
    EXPECT_EQ(L"/name", text(IDC_LOOKUP_NAMEPATH)) << "the built-in default";
    setText(IDC_LOOKUP_URL, L"https://crm.example/api?phone={number}");
    setText(IDC_LOOKUP_NAMEPATH, L"/data/0/name");
    setText(IDC_LOOKUP_HEADER, L"Authorization: Bearer секрет");
    window.send(::GetDlgItem(dialog, IDC_LOOKUP_OK), BM_CLICK);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(dialog); }));

    EXPECT_EQ(L"https://crm.example/api?phone={number}", IniValue(ini, L"LookupUrlTemplate"));
    EXPECT_EQ(L"/data/0/name", IniValue(ini, L"LookupNamePath"));
    const std::wstring header = IniValue(ini, L"LookupHeader");
    EXPECT_FALSE(header.empty());
    EXPECT_EQ(std::wstring::npos, header.find(L"Bearer")) << "the token is stored only protected";
    EXPECT_EQ(L"<missing>", IniValue(ini, L"CityPrefixes")) << "the settings window's edits wait for its own apply";
    EXPECT_TRUE(window.applyEnabled());

    // The applied settings are what the dialog shows next time.
    dialog = openDialog();
    ASSERT_NE(nullptr, dialog) << informer.DialogTexts();
    EXPECT_EQ(L"Authorization: Bearer секрет", text(IDC_LOOKUP_HEADER));
    EXPECT_EQ(L"/data/0/name", text(IDC_LOOKUP_NAMEPATH));
    window.send(::GetDlgItem(dialog, IDC_LOOKUP_CANCEL), BM_CLICK);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(dialog); }));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, EnterInTheChannelListStaysThereEnterElsewhereIsOkAndEscapeIsCancel) {
    InformerProcess informer({session_, true, {}, {}});
    ASSERT_TRUE(informer.WaitForSimulator());
    SettingsWindow window(informer);
    ASSERT_TRUE(WaitFor([&] { return window.channelCount() == 4; }));
    const auto press = [&](int id, UINT key) {
        // Through the program's message loop, as the keyboard delivers it.
        ::PostMessageW(window.item(id), WM_KEYDOWN, key, 1);
        ::PostMessageW(window.item(id), WM_KEYUP, key, 0xC0000001);
        ::Sleep(300);
        window.send(window.handle(), WM_NULL);
    };

    window.setText(IDC_LECITYCODE, L"1");
    press(IDC_CLBCHANNELS, VK_RETURN);
    EXPECT_TRUE(::IsWindowVisible(window.handle())) << "Enter in the channel list";
    EXPECT_TRUE(window.applyEnabled());

    press(IDC_LECITYCODE, VK_ESCAPE);
    EXPECT_FALSE(::IsWindowVisible(window.handle())) << "Escape is Отмена";
    EXPECT_EQ(L"495", window.text(IDC_LECITYCODE));

    SettingsWindow again(informer);
    window.setText(IDC_LECITYCODE, L"2");
    press(IDC_LECITYCODE, VK_RETURN);
    EXPECT_FALSE(::IsWindowVisible(window.handle())) << "Enter is OK";
    EXPECT_EQ(L"2", IniValue(IniPath(informer), L"DefaultCityCode"));
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, NoControlOverlapsAnotherOrLeavesTheWindow) {
    InformerProcess informer({session_, false, {}, {L"UseRemoteDB=1"}});
    SettingsWindow window(informer);
    RECT client{};
    ::GetClientRect(window.handle(), &client);
    ::MapWindowPoints(window.handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    struct Control {
        HWND handle;
        int id;
        RECT bounds;
    };
    std::vector<Control> controls;
    for (HWND child = ::GetWindow(window.handle(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) continue;
        RECT bounds{};
        ::GetWindowRect(child, &bounds);
        RECT inside{};
        EXPECT_TRUE(::IntersectRect(&inside, &bounds, &client) && ::EqualRect(&inside, &bounds))
            << "control " << ::GetDlgCtrlID(child) << " leaves the client area";
        // Group boxes frame other controls, and the port's arrows sit on its edit's edge, on purpose.
        wchar_t kind[32] = {};
        ::GetClassNameW(child, kind, 32);
        if (std::wstring(kind) == UPDOWN_CLASSW) continue;
        if (std::wstring(kind) == L"Button" && (::GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX)
            continue;
        controls.push_back({child, ::GetDlgCtrlID(child), bounds});
    }
    EXPECT_GT(controls.size(), 60u);
    for (size_t i = 0; i < controls.size(); ++i)
        for (size_t j = i + 1; j < controls.size(); ++j) {
            RECT overlap{};
            EXPECT_FALSE(::IntersectRect(&overlap, &controls[i].bounds, &controls[j].bounds))
                << "controls " << controls[i].id << " and " << controls[j].id << " overlap";
        }
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, EveryMnemonicIsUniqueAndALabelsMnemonicReachesItsControl) {
    InformerProcess informer({session_, false, {}, {L"UseRemoteDB=1"}});
    SettingsWindow window(informer);
    std::vector<std::pair<wchar_t, int>> mnemonics;
    for (HWND child = ::GetWindow(window.handle(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[512] = {};
        window.send(child, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
        const std::wstring caption = text;
        const size_t at = caption.find(L'&');
        if (at == std::wstring::npos || at + 1 >= caption.size()) continue;
        wchar_t letter = caption[at + 1];
        ::CharLowerBuffW(&letter, 1);
        for (const auto& [other, id] : mnemonics)
            EXPECT_NE(other, letter) << "controls " << id << " and " << ::GetDlgCtrlID(child) << " share a mnemonic";
        mnemonics.emplace_back(letter, ::GetDlgCtrlID(child));
    }
    EXPECT_GE(mnemonics.size(), 25u);

    DWORD thread = ::GetWindowThreadProcessId(window.handle(), nullptr);
    const auto focused = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        ::GetGUIThreadInfo(thread, &info);
        return info.hwndFocus;
    };
    const struct {
        wchar_t letter;
        int control;
    } cases[] = {{L'с', IDC_LECOUNTRYCODE},    {L'щ', IDC_EDITTWMWIDTH}, {L'ж', IDC_PHONESHOWCHECKBOX},
                 {L'ё', IDC_DBALLOWEDCLIENTS}, {L'л', IDC_LECITYPREFIX}, {L'к', IDC_CLBCHANNELS}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mnemonic of control " << c.control);
        // Alt and the letter, through the program's message loop.
        ::PostMessageW(window.item(IDC_LESERVER), WM_SYSCHAR, c.letter, 1 << 29);
        EXPECT_TRUE(WaitFor([&] { return focused() == window.item(c.control); }, 3000))
            << "focus on control " << ::GetDlgCtrlID(focused());
    }
    EXPECT_EQ(0u, informer.Exit());
}

namespace {

// The program's policy key in this Wine prefix, as an administrator's tools write
// it; removed before and after, so that no other test meets it.
class PolicyValues {
public:
    static constexpr wchar_t kPath[] = L"Software\\Policies\\Kordavin\\Informer";
    PolicyValues() { Clear(); }
    ~PolicyValues() { Clear(); }
    PolicyValues(const PolicyValues&) = delete;
    PolicyValues& operator=(const PolicyValues&) = delete;

    // False when the root cannot be written (HKLM for a user without rights).
    static bool Set(HKEY root, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY raw = nullptr;
        if (::RegCreateKeyExW(root, kPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) != ERROR_SUCCESS)
            return false;
        UniqueRegKey key(raw);
        return ::RegSetValueExW(raw, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    }
    static bool SetDword(HKEY root, const wchar_t* name, DWORD value) {
        return Set(root, name, REG_DWORD, &value, sizeof value);
    }
    static bool SetString(HKEY root, const wchar_t* name, const std::wstring& value) {
        return Set(root, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

private:
    static void Clear() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) ::RegDeleteTreeW(root, kPath);
    }
};

// A part of a status line in another process: its text goes to a buffer placed there.
std::wstring StatusPartText(HWND statusBar, int part) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(statusBar, &processId);
    UniqueKernelHandle process(
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    if (!process) return L"(no access)";
    wchar_t text[512] = {};
    void* remote = ::VirtualAllocEx(process.get(), nullptr, sizeof text, MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return L"(no memory)";
    SIZE_T done = 0;
    ::WriteProcessMemory(process.get(), remote, text, sizeof text, &done);
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(statusBar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(remote),
                          SMTO_BLOCK, 5000, &result);
    ::ReadProcessMemory(process.get(), remote, text, sizeof text - sizeof(wchar_t), &done);
    ::VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return text;
}

}  // namespace

TEST_F(SettingsWindowTest, TheSqlButtonOpensItsDialogGreyedAsThePolicySaysWhoseOkStoresOnlyItsSettings) {
    PolicyValues policies;
    ASSERT_TRUE(PolicyValues::SetDword(HKEY_CURRENT_USER, L"SqlSyncSeconds", 5));
    InformerProcess informer({session_, false, {}, {}});
    SettingsWindow window(informer);
    const std::wstring ini = IniPath(informer);
    window.setText(IDC_LECITYPREFIX, L"5");

    ::PostMessageW(window.item(IDC_BTNSQLDIRECTORY), BM_CLICK, 0, 0);
    HWND dialog = informer.FindVisibleWindow(L"Справочник абонентов в SQL");
    ASSERT_NE(nullptr, dialog) << informer.DialogTexts();
    EXPECT_EQ(window.handle(), ::GetWindow(dialog, GW_OWNER));
    const auto text = [&](int id) {
        wchar_t buffer[1024] = {};
        window.send(::GetDlgItem(dialog, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
        return std::wstring(buffer);
    };
    EXPECT_EQ(L"KordavinAbonentPhones", text(IDC_SQLDIR_TABLE)) << "the built-in default";
    EXPECT_EQ(L"5", text(IDC_SQLDIR_SECONDS)) << "as the policy says";
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_SQLDIR_SECONDS)));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_SQLDIR_CONNECTION)));
    const std::wstring connection = L"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=phones;Uid=kb;";
    window.send(::GetDlgItem(dialog, IDC_SQLDIR_CONNECTION), WM_SETTEXT, 0,
                reinterpret_cast<LPARAM>(connection.c_str()));
    window.send(::GetDlgItem(dialog, IDC_SQLDIR_PASSWORD), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"тайна"));
    window.send(::GetDlgItem(dialog, IDC_SQLDIR_OK), BM_CLICK);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(dialog); }));

    EXPECT_EQ(connection, IniValue(ini, L"SqlConnection"));
    EXPECT_EQ(L"<missing>", IniValue(ini, L"SqlSyncSeconds")) << "a fixed setting is never written";
    const std::wstring password = IniValue(ini, L"SqlPassword");
    EXPECT_FALSE(password.empty());
    EXPECT_EQ(std::wstring::npos, password.find(L"тайна")) << "stored only protected";
    EXPECT_NE(L"5", IniValue(ini, L"CityPrefixes")) << "the settings window's edits wait for its own apply";
    EXPECT_EQ(L"", informer.DialogTexts()) << "no error box";
    EXPECT_EQ(0u, informer.Exit());
}

TEST_F(SettingsWindowTest, PoliciesOverrideTheIniFileShowTheirControlsDisabledAndOkKeepsTheUsersValues) {
    PolicyValues policies;
    ASSERT_TRUE(PolicyValues::SetString(HKEY_CURRENT_USER, L"CrmUrlTemplate", L"https://crm.example/card?n={number}"));
    // The CRM modes: 0 never, 1 by the button, 2 on answer.
    ASSERT_TRUE(PolicyValues::SetDword(HKEY_CURRENT_USER, L"CrmOpenMode", 1));
    ASSERT_TRUE(PolicyValues::SetString(HKEY_CURRENT_USER, L"Server", L""));
    // The computer's policy wins over the user's, where the prefix lets us write it.
    const bool machine = PolicyValues::SetDword(HKEY_LOCAL_MACHINE, L"CrmOpenMode", 2);
    const int expectedMode = machine ? 2 : 1;

    InformerProcess informer(
        {session_, false, {}, {L"CrmUrlTemplate=https://mine.example/{number}", L"CrmOpenMode=0"}});
    SettingsWindow window(informer);
    EXPECT_EQ(L"https://crm.example/card?n={number}", window.text(IDC_EDITCRMURLTEMPLATE));
    EXPECT_EQ(expectedMode, window.chosen(IDC_CBCRMOPENMODE));
    for (int id : {IDC_EDITCRMURLTEMPLATE, IDC_CBCRMOPENMODE, IDC_LESERVER, IDC_BTNSELECTSERVER})
        EXPECT_FALSE(window.enabled(id)) << id << " is fixed by the administrator";
    for (int id : {IDC_CBACTIVE, IDC_CBCALLERIDONLY, IDC_LEAREAPATH, IDC_CBAUTORUN})
        EXPECT_TRUE(window.enabled(id)) << id << " is the user's";
    HWND statusBar = ::FindWindowExW(window.handle(), nullptr, L"msctls_statusbar32", nullptr);
    EXPECT_EQ(L"Недоступные настройки задал администратор", StatusPartText(statusBar, 1));
    EXPECT_EQ(L"Отключено", informer.StatusText()) << "the connection state keeps its place";

    // Connecting and disconnecting enable the server name by the window's own rule; the policy still holds.
    window.click(IDC_CBACTIVE);
    window.click(IDC_CBACTIVE);
    EXPECT_FALSE(window.enabled(IDC_LESERVER));
    EXPECT_FALSE(window.enabled(IDC_BTNSELECTSERVER));

    window.click(IDC_CBCALLERIDONLY);
    window.click(IDC_BTNOK);
    const std::wstring ini = IniPath(informer);
    EXPECT_EQ(L"1", IniValue(ini, L"CallerIDOnly")) << "the user's own change is saved";
    EXPECT_EQ(L"https://mine.example/{number}", IniValue(ini, L"CrmUrlTemplate")) << "the INI keeps the user's value";
    EXPECT_EQ(L"0", IniValue(ini, L"CrmOpenMode"));
    EXPECT_EQ(L"<missing>", IniValue(ini, L"Server"));
    EXPECT_EQ(L"", informer.DialogTexts()) << "no error box";
    EXPECT_EQ(0u, informer.Exit());
}
