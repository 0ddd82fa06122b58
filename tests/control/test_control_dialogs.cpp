// The control's dialogs in a container, against the swarm fixture: a close
// from the page while the engine waits for a password dialog, the automatic
// login's page address outside a browser and in one (with the engine's
// referrer), and the settings command.
#include "tests/control/ControlPage.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/md5/Md5.h"
#include "control/ControlIds.h"
#include "platform/com/ComModule.h"
#include "tests/tools/StubBrowser.h"
#include "tests/ui/DialogDriver.h"
#include "tests/vod/CacheTestPrefix.h"
#include "ui/DialogIds.h"
#include "vod/VodCore.h"
#include "vod/VodEngineMessages.h"

namespace {

using namespace controltest;

class ControlDialogs : public ControlPageTest {
protected:
    void SetUp() override
    {
        ControlPageTest::SetUp();
        ASSERT_TRUE(content_.Ready()) << "run through the swarm fixture";
        content_.Set("{\"reset\": true}");
        tracker_.Set("{\"reset\": true}");
        util::CIni(userIni_.c_str()).WriteString(L"pass", L"pass", L"");
        bag_.values[L"Action"] += L"&size=1000000&bitrate=400000";
    }

    // The tracker's channel asks for the password "secret" and names one
    // peer, whose address leads nowhere.
    void AskForAPassword()
    {
        tracker_.Set("{\"pwd\": \"type=1&code=" + Md5Hex("secret", 6) + "\", \"extra_peers\": [" +
                     "{\"pid\": \"" + std::string(20, 'a') +
                     "\", \"wip\": \"127.0.0.1\", \"wport\": 9, \"lip\": \"127.0.0.1\", "
                     "\"lport\": 9, \"gwtype\": 0, \"nodetype\": 0}]}");
    }

    nettest::FixtureControl content_{"TOVRA_CONTENT_PORT"};
    nettest::FixtureControl tracker_{"TOVRA_TRACKER_PORT"};
    std::wstring userIni_ = util::GetUserIniPath();
    cachetest::FileBackup userIniBackup_{userIni_};
};

// What the page's timer saw of its Close.
struct CloseFromTimer {
    CCStreamView* control = nullptr;
    HWND dialog = nullptr;
    bool returned = false;
    DWORD took = 0;
};
CloseFromTimer g_close;

void CALLBACK PageCloses(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    const DWORD begin = GetTickCount();
    g_close.control->Close();
    g_close.took = GetTickCount() - begin;
    g_close.returned = true;
}

// The engine waits in SendMessage for the dialog's answer; Stop would wait
// for the engine's thread. Close ends the dialog as cancelled and the engine
// is stopped once it has the answer.
TEST_F(ControlDialogs, CloseWhileThePasswordDialogIsUp)
{
    AskForAPassword();
    std::wstring title;
    bool engineWaits = false;
    DialogDriver driver({[&](HWND dialog) {
        title = DialogDriver::Text(dialog);
        engineWaits = control_->VodEngine() != nullptr;
        g_close = {};
        g_close.control = control_;
        g_close.dialog = dialog;
        SetTimer(nullptr, 0, 50, PageCloses);
    }});
    // The challenge may come while activation opens the engine.
    Activate();
    ASSERT_TRUE(PumpUntil([] { return g_close.returned; }))
        << "engine " << control_->VodEngine() << " " << tracker_.Get("/_state");
    EXPECT_TRUE(engineWaits);
    EXPECT_EQ(title, L"输入密码");
    EXPECT_LT(g_close.took, 2000u);
    ASSERT_TRUE(PumpUntil([&] { return control_->VodEngine() == nullptr; }));
    EXPECT_FALSE(IsWindow(g_close.dialog));
    EXPECT_EQ(control_->Kind(), CCStreamView::CORE_NONE);
    EXPECT_TRUE(sink_.calls.empty()) << "nothing was playing";
    EXPECT_EQ(driver.Unexpected(), 0);
    EXPECT_EQ(driver.Shown(), 1);
}

void CALLBACK PageOpens(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    const DWORD begin = GetTickCount();
    g_close.control->Open();
    g_close.took = GetTickCount() - begin;
    g_close.returned = true;
}

// Open while the engine waits for its answer: the dialog ends cancelled, the
// engine is closed once it has the answer, then the new one opens (and asks
// again).
TEST_F(ControlDialogs, OpenWhileThePasswordDialogIsUp)
{
    AskForAPassword();
    HWND first = nullptr;
    bool secondAsked = false;
    DialogDriver driver({[&](HWND dialog) {
                             first = dialog;
                             g_close = {};
                             g_close.control = control_;
                             SetTimer(nullptr, 0, 50, PageOpens);
                         },
                         [&](HWND dialog) {
                             secondAsked = true;
                             DialogDriver::Press(dialog, IDCANCEL);
                         }});
    Activate();
    ASSERT_TRUE(PumpUntil([] { return g_close.returned; }));
    EXPECT_LT(g_close.took, 2000u);
    ASSERT_TRUE(PumpUntil([&] { return secondAsked; }));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_NE(control_->VodEngine(), nullptr);
    EXPECT_EQ(tracker_.WaitCount("msg=reqpeer", 2, 5), 2);
    EXPECT_EQ(driver.Unexpected(), 0);
}

// What the page's timer saw when it took the control off the page.
struct DeactivateFromTimer {
    IOleObject* ole = nullptr;
    bool returned = false;
    DWORD took = 0;
};
DeactivateFromTimer g_deactivate;

void CALLBACK PageDeactivates(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    const DWORD begin = GetTickCount();
    g_deactivate.ole->Close(OLECLOSE_NOSAVE);
    g_deactivate.took = GetTickCount() - begin;
    g_deactivate.returned = true;
}

// The control window's destruction closes the engine as Close does.
TEST_F(ControlDialogs, TheWindowGoesWhileThePasswordDialogIsUp)
{
    AskForAPassword();
    HWND shown = nullptr;
    DialogDriver driver({[&](HWND dialog) {
        shown = dialog;
        g_deactivate = {};
        g_deactivate.ole = ole_;
        SetTimer(nullptr, 0, 50, PageDeactivates);
    }});
    Activate();
    ASSERT_TRUE(PumpUntil([] { return g_deactivate.returned; }));
    EXPECT_LT(g_deactivate.took, 2000u);
    ASSERT_TRUE(PumpUntil([&] { return control_->VodEngine() == nullptr; }));
    EXPECT_EQ(control_->Window(), nullptr);
    EXPECT_FALSE(IsWindow(shown));
    EXPECT_EQ(driver.Unexpected(), 0);
}

// What the page does from its timer inside the dialog's loop.
std::function<void()> g_pageAction;

void CALLBACK PageActs(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    g_pageAction();
}

// The page lets go of the control while the password dialog is up: the
// sink unadvised, the object closed, its site taken and every reference
// released. The control's own reference keeps it through the dialog's loop,
// and it goes once the loop ended.
TEST_F(ControlDialogs, ThePageReleasesTheControlWhileThePasswordDialogIsUp)
{
    AskForAPassword();
    const LONG locksBefore = com::ModuleLockCount();
    HWND shown = nullptr;
    bool activated = false, released = false;
    ULONG left = 0;
    g_pageAction = [&] {
        // A dialog that came within the activation waits until the page
        // has the control.
        if (!activated) {
            SetTimer(nullptr, 0, 50, PageActs);
            return;
        }
        left = LetGo();
        released = true;
    };
    DialogDriver driver({[&](HWND dialog) {
        shown = dialog;
        SetTimer(nullptr, 0, 50, PageActs);
    }});
    Activate();
    activated = true;
    ASSERT_TRUE(PumpUntil([&] { return released; })) << tracker_.Get("/_state");
    EXPECT_EQ(left, 1u) << "only the control's own reference is left in the loop";
    ASSERT_TRUE(PumpUntil([&] { return com::ModuleLockCount() == locksBefore; }))
        << "the control outlived its dialog: " << com::ModuleLockCount() - locksBefore;
    EXPECT_FALSE(IsWindow(shown));
    EXPECT_TRUE(sink_.calls.empty());
    EXPECT_EQ(driver.Unexpected(), 0);
    site_.reset();
    DestroyWindow(page_);
    page_ = nullptr;
}

// Outside a browser the automatic login names our program.
TEST_F(ControlDialogs, TheAutomaticLoginNamesTheProgramWithoutAPage)
{
    bag_.values[L"AutoPlay"] = L"0";
    Activate();
    const std::string challenge = "type=3&code=" + nettest::FixtureUrl("TOVRA_CONTENT_PORT", "/login");
    for (const char* word : {"success", "no"}) {
        content_.Set(std::string("{\"login\": \"") + word + "\"}");
        const LRESULT answer =
            SendMessageW(control_->Window(), WM_VOD_PASSWORD,
                         reinterpret_cast<WPARAM>(challenge.data()), challenge.size());
        EXPECT_EQ(answer, word[0] == 's' ? 1 : 0);
    }
    const std::string state = content_.Get("/_state");
    EXPECT_NE(state.find("\"body\": \"url=test_control_dialogs.exe\""), std::string::npos)
        << state;
}

// In a browser the page's own address is what the login sends, as the page
// spells it; the engine's referrer is that address lower-cased, or the
// local host for a page read from a file.
TEST_F(ControlDialogs, ThePageAddressGoesToTheLoginAndTheReferrer)
{
    const struct {
        const wchar_t* page;
        const char* referrer;
    } cases[] = {
        {L"HTTP://127.0.0.1/Shows/Page.html?Id=7", "http://127.0.0.1/shows/page.html?id=7"},
        {L"FILE:///C:/Shows/Page.html", "http://localhost"},
        {L"file://server/share/page.html", "http://localhost"},
    };
    const std::string challenge = "type=3&code=" + nettest::FixtureUrl("TOVRA_CONTENT_PORT", "/login");
    content_.Set("{\"login\": \"success\"}");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.referrer);
        IWebBrowser2* browser = StubBrowserCreate(c.page);
        ASSERT_NE(browser, nullptr);
        ASSERT_TRUE(Open(bag_, browser));
        ASSERT_NE(control_->VodEngine(), nullptr);
        EXPECT_EQ(control_->VodEngine()->ReferrerText(), c.referrer);

        EXPECT_EQ(SendMessageW(control_->Window(), WM_VOD_PASSWORD,
                               reinterpret_cast<WPARAM>(challenge.data()), challenge.size()),
                  1);
        const std::string state = content_.Get("/_state");
        std::string body = "\"body\": \"url=";
        for (const wchar_t* p = c.page; *p; ++p)
            body += static_cast<char>(*p);
        EXPECT_NE(state.find(body + "\""), std::string::npos) << state;

        Close();
        EXPECT_EQ(browser->Release(), 0u) << "the control keeps no page";
    }
}

// Without a top-level browser the engine gets no referrer.
TEST_F(ControlDialogs, NoReferrerWithoutAPage)
{
    Activate();
    ASSERT_NE(control_->VodEngine(), nullptr);
    EXPECT_EQ(control_->VodEngine()->ReferrerText(), "");
}

TEST_F(ControlDialogs, TheSettingsCommandOpensTheSettings)
{
    bag_.values[L"AutoPlay"] = L"0";
    Activate();
    std::wstring title;
    DialogDriver driver({[&](HWND d) {
        title = DialogDriver::Text(d);
        DialogDriver::Press(d, IDCANCEL);
    }});
    SendMessageW(control_->Window(), WM_COMMAND, ID_SETTINGS, 0);
    EXPECT_EQ(title, L"配置");
}

HWND ProgrammeList(HWND owner)
{
    HWND found = nullptr;
    while ((found = FindWindowExW(nullptr, found, L"#32770", L"播放列表")) != nullptr)
        if (GetWindowThreadProcessId(found, nullptr) == GetCurrentThreadId() &&
            GetAncestor(owner, GA_ROOT) == GetWindow(found, GW_OWNER))
            return found;
    return nullptr;
}

// The list button of a live channel: the list is asked for once, when the
// dialog is made; closing hides it and the button shows it again.
TEST_F(ControlDialogs, TheProgrammeListOfALiveChannel)
{
    bag_.values[L"Action"] = L"type=live&cid=77";
    Activate();
    ASSERT_EQ(control_->Kind(), CCStreamView::CORE_LIVE);
    HWND bar = control_->Window();
    SendMessageW(bar, WM_COMMAND, IDC_PLAYLIST, 0);
    HWND list = ProgrammeList(bar);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(IsWindowVisible(list));
    EXPECT_EQ(content_.WaitCount("route=getplaylist", 1, 10), 1);
    ASSERT_TRUE(PumpUntil([&] {
        return IsWindowEnabled(GetDlgItem(list, IDC_REFRESH_LIST)) != FALSE;
    }));
    EXPECT_EQ(ListView_GetItemCount(GetDlgItem(list, IDC_PROGRAMMES)), 2);

    SendMessageW(list, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(list));
    SendMessageW(bar, WM_COMMAND, IDC_PLAYLIST, 0);
    EXPECT_EQ(ProgrammeList(bar), list);
    EXPECT_TRUE(IsWindowVisible(list));
    SendMessageW(bar, WM_COMMAND, IDC_PLAYLIST, 0);
    EXPECT_FALSE(IsWindowVisible(list));
    EXPECT_EQ(content_.WaitCount("route=getplaylist", 2, 1), 1);
}

TEST_F(ControlDialogs, NoProgrammeListForAVideo)
{
    Activate();
    ASSERT_EQ(control_->Kind(), CCStreamView::CORE_VOD);
    SendMessageW(control_->Window(), WM_COMMAND, IDC_PLAYLIST, 0);
    EXPECT_EQ(ProgrammeList(control_->Window()), nullptr);
}

} // namespace
