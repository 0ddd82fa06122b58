// The control with its advertisement pane and its right-click menu, in a
// container against the swarm fixture: the content server's descriptions
// reach the pane, the pane follows the player from play to stop, and the
// menu leads to the About dialog, whose links reach the link recorder.
#include "tests/control/ControlPage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/ControlIds.h"
#include "players/PlayerKind.h"
#include "tests/common/LinkRecorder.h"
#include "tests/platform/StandinSupport.h"
#include "tests/ui/OpenMenu.h"
#include "ui/CADSet.h"

namespace {

using namespace controltest;

const DISPID kEnableContexMenu = 20, kStateString = 17, kPlayState = 39, kEnableShowAbout = 56;

// A pane description of two ticker items, named after first and second.
std::string PaneXml(const std::string& first, const std::string& second)
{
    return "<ad><pset spix='250'/><pad><a text='" + first + "' clr='#0000FF'/><b text='" +
           second + "' clr='#00FF00'>http://127.0.0.1/" + second + "</b></pad></ad>";
}

class ControlJoins : public ControlPageTest {
protected:
    void SetUp() override
    {
        ControlPageTest::SetUp();
        ASSERT_TRUE(content_.Ready()) << "run through the play_swarm fixture";
        content_.Set("{\"reset\": true}");
    }

    // The texts of the pane's ticker items, empty without a set.
    std::vector<std::wstring> PaneTexts()
    {
        std::vector<std::wstring> texts;
        if (control_->AdPane().AdSet() && control_->AdPane().GetItems())
            for (const _tagAD& item : *control_->AdPane().GetItems())
                texts.push_back(item.text);
        return texts;
    }

    void PutBool(DISPID id, bool on)
    {
        VARIANT value;
        value.vt = VT_BOOL;
        value.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
        ASSERT_EQ(olehost::Put(dispatch_, id, value), S_OK);
    }

    nettest::FixtureControl content_{"TOVRA_CONTENT_PORT"};
};

// The getad answer's description, carried in the answer itself or fetched
// from its URL with ADAppend: the pane runs its items. A later Open's
// answer replaces the set.
TEST_F(ControlJoins, DescriptionsReachThePane)
{
    content_.Set("{\"ad\": \"xml\", \"ad_xml\": \"" + PaneXml("one", "two") + "\"}");
    bag_.values[L"ADAppend"] = L"&uid=9";
    Activate();
    ASSERT_TRUE(PumpUntil([&] { return !PaneTexts().empty(); }));
    EXPECT_EQ(PaneTexts(), (std::vector<std::wstring>{L"one", L"two"}));
    EXPECT_EQ(content_.Count("route=ad"), 0) << "the description came with the answer";

    content_.Set("{\"ad\": \"url\", \"ad_xml\": \"" + PaneXml("three", "four") + "\"}");
    SendMessageW(control_->Window(), WM_CONTROL_OPEN, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return PaneTexts().size() == 2 && PaneTexts()[0] == L"three"; }));
    EXPECT_EQ(PaneTexts(), (std::vector<std::wstring>{L"three", L"four"}));
    const std::string state = content_.Get("/_state");
    EXPECT_NE(state.find("\"path\": \"/ad/desc.xml&uid=9\""), std::string::npos) << state;
    EXPECT_EQ(static_cast<LONG>(control_->AdPane().AdSet()->refs), 1) << "the control keeps no reference";
}

// The content fixture's own description, unless a test picks another, is one
// the pane runs: pages against the fixture show an advertisement.
TEST_F(ControlJoins, TheFixturesDefaultDescriptionReachesThePane)
{
    Activate();
    ASSERT_TRUE(PumpUntil([&] { return !PaneTexts().empty(); }));
    EXPECT_EQ(PaneTexts(), std::vector<std::wstring>{L"first ad"});
}

// Playing an address attaches the pane to the player's window; the stop
// command lets it go again.
TEST_F(ControlJoins, ThePaneFollowsThePlayerFromPlayToStop)
{
    ASSERT_TRUE(RegisterStandins());
    bag_.values[L"Action"] = SeedAction();
    bag_.values[L"BufferTime"] = L"2";
    Activate();
    EXPECT_EQ(control_->AdPane().VideoWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return olehost::GetText(dispatch_, kPlayState) == L"1"; }, kPlayBound))
        << Narrow(olehost::GetText(dispatch_, kStateString));
    HWND video = control_->AdPane().VideoWindow();
    ASSERT_NE(video, nullptr);
    EXPECT_TRUE(IsChild(control_->Window(), video));

    SendMessageW(control_->Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, 0), 1);
    EXPECT_EQ(olehost::GetText(dispatch_, kPlayState), L"0");
    EXPECT_EQ(control_->AdPane().VideoWindow(), nullptr);
}

// The menu a right click opens runs its own modal loop: a thread timer reads
// it, then closes it or picks About with the keyboard.
struct MenuDrive {
    std::vector<UINT> items;
    bool seen = false;
    bool pickAbout = false;
} g_menu;

void CALLBACK DriveMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HMENU items = nullptr;
    HWND menu = OpenMenuOfThisThread(&items);
    if (!menu)
        return;
    KillTimer(nullptr, timer);
    g_menu.seen = true;
    for (int i = 0; i < GetMenuItemCount(items); ++i)
        g_menu.items.push_back(GetMenuItemID(items, i));
    if (g_menu.pickAbout) {
        PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    } else {
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    }
}

// A right click on the player, as its host reports it.
void RightClick(HWND control, bool pickAbout)
{
    g_menu = MenuDrive();
    g_menu.pickAbout = pickAbout;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, DriveMenu);
    SendMessageW(control, WM_PLAYER_MOUSEDOWN, MK_RBUTTON, 0);
    KillTimer(nullptr, timer);
}

TEST_F(ControlJoins, TheRightClickMenuFollowsThePageSwitches)
{
    bag_.values[L"AutoPlay"] = L"0";
    Activate();
    const struct {
        bool menu, about;
        std::vector<UINT> items;
    } cases[] = {
        {true, true, {ID_SETTINGS, ID_ABOUT}},
        {true, false, {ID_SETTINGS}},
        {false, true, {}},
        {false, false, {}},
    };
    for (const auto& c : cases) {
        PutBool(kEnableContexMenu, c.menu);
        PutBool(kEnableShowAbout, c.about);
        RightClick(control_->Window(), false);
        EXPECT_EQ(g_menu.seen, c.menu) << c.menu << c.about;
        EXPECT_EQ(g_menu.items, c.items) << c.menu << c.about;
    }
}

// The About dialog as the menu opens it: its texts recorded, both links
// clicked, then its button.
struct AboutRecord {
    bool shown = false;
    std::wstring caption, site, mail, ok;
    HWND parent = nullptr;
} g_about;
HHOOK g_aboutHook = nullptr;

LRESULT CALLBACK DriveAbout(int code, WPARAM wParam, LPARAM lParam)
{
    HWND dialog = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = {};
    if (code == HCBT_ACTIVATE && !g_about.shown && GetClassNameW(dialog, name, 16) && std::wstring(name) == L"#32770" &&
        GetDlgItem(dialog, IDC_ABOUT_SITE)) {
        wchar_t text[256] = {};
        g_about.shown = true;
        GetWindowTextW(dialog, text, 256);
        g_about.caption = text;
        GetDlgItemTextW(dialog, IDC_ABOUT_SITE, text, 256);
        g_about.site = text;
        GetDlgItemTextW(dialog, IDC_ABOUT_MAIL, text, 256);
        g_about.mail = text;
        GetDlgItemTextW(dialog, IDOK, text, 256);
        g_about.ok = text;
        for (int link : {IDC_ABOUT_SITE, IDC_ABOUT_MAIL}) {
            PostMessageW(GetDlgItem(dialog, link), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
            PostMessageW(GetDlgItem(dialog, link), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        }
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(g_aboutHook, code, wParam, lParam);
}

TEST_F(ControlJoins, AboutFromTheMenuOpensItsLinks)
{
    LinkRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << recorder.Error();
    SchemeToRecorder mail(L"mailto");
    ASSERT_TRUE(mail.ok());
    bag_.values[L"AutoPlay"] = L"0";
    Activate();
    g_about = AboutRecord();
    g_aboutHook = SetWindowsHookExW(WH_CBT, DriveAbout, nullptr, GetCurrentThreadId());
    RightClick(control_->Window(), true);
    const bool shown = PumpUntil([&] { return g_about.shown; });
    UnhookWindowsHookEx(g_aboutHook);
    ASSERT_TRUE(shown);
    ASSERT_TRUE(recorder.WaitForLaunches(2, kBound)) << (recorder.CommandLines().empty() ? std::string() : Narrow(recorder.CommandLines()[0]));
    EXPECT_EQ(g_menu.items, (std::vector<UINT>{ID_SETTINGS, ID_ABOUT}));
    EXPECT_EQ(g_about.caption, L"关于");
    EXPECT_EQ(g_about.ok, L"确定(&O)");
    EXPECT_EQ(FindWindowW(L"#32770", L"关于"), nullptr);
    EXPECT_EQ(recorder.Arguments(0), (std::vector<std::wstring>{g_about.site}));
    EXPECT_EQ(recorder.Arguments(1), (std::vector<std::wstring>{L"mailto:" + g_about.mail}));
    EXPECT_EQ(g_about.site.compare(0, 7, L"http://"), 0);
}

}  // namespace
