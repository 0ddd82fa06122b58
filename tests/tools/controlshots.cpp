// Pictures of the control for a person to look at, taken from the screen
// while the control works on a page of the tests against the play_swarm
// fixture: pre-buffering, playing in each layout mode, paused, full screen,
// stopped, a live channel with its programme list and the chat, and each
// dialog. Every text is the product's own. Run under a real display by
// scripts/screenshots.sh; each scene is a test so one that cannot reach its
// state is reported and the others still run.
//
// Environment: TOVRA_SHOTS_DIR, the folder the BMP files go to.
#include "tests/control/ControlPage.h"

#include <richedit.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "control/ControlIds.h"
#include "ui/CClientPassDlg.h"
#include "ui/CClientUserPassDlg.h"
#include "ui/chat/ChatMsg.h"
#include "ui/chat/EmoticonPicture.h"
#include "tests/platform/EmoticonClass.h"
#include "tests/platform/StandinSupport.h"

namespace {

using namespace controltest;

const DISPID kLayoutMode = 6, kPosition = 14, kStateString = 17, kPlayState = 39;

std::wstring OutFolder()
{
    return FixtureText("TOVRA_SHOTS_DIR");
}

void SaveBmp(HDC source, const RECT& r, const std::wstring& name)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, w, h, source, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(14 + 40 + stride * h), 0, 0, 54};
    FILE* f = _wfopen((OutFolder() + L"\\" + name + L".bmp").c_str(), L"wb");
    if (f) {
        fwrite(&file, 14, 1, f);
        fwrite(&info.bmiHeader, 40, 1, f);
        fwrite(bits, stride, h, f);
        fclose(f);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// The screen under a window (nullptr: the whole screen), once what is
// pending has been painted.
void Shoot(HWND window, const std::wstring& name)
{
    if (window)
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpUntil([] { return false; }, 600);
    RECT r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (window)
        GetWindowRect(window, &r);
    HDC screen = GetDC(nullptr);
    SaveBmp(screen, r, name);
    ReleaseDC(nullptr, screen);
}

// A modal dialog opened by open(): its picture once it is active, then
// cancelled. The thread's timer runs inside the dialog's own loop.
std::wstring g_modalName;
bool g_modalShot = false;

void CALLBACK OnModalTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = GetActiveWindow();
    wchar_t name[32] = {};
    GetClassNameW(dialog, name, 32);
    if (std::wstring(name) != L"#32770" || !IsWindowVisible(dialog))
        return;
    KillTimer(nullptr, timer);
    Shoot(dialog, g_modalName);
    g_modalShot = true;
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

bool ShootModal(const std::wstring& name, const std::function<void()>& open)
{
    g_modalName = name;
    g_modalShot = false;
    SetTimer(nullptr, 0, 200, OnModalTimer);
    open();
    return g_modalShot;
}

class Shots : public ControlPageTest {
protected:
    void SetUp() override
    {
        ControlPageTest::SetUp();
        ASSERT_FALSE(OutFolder().empty()) << "TOVRA_SHOTS_DIR names no folder";
        ASSERT_TRUE(RegisterStandins());
        bag_.values[L"BufferTime"] = L"4";
    }

    // The page as a viewer has it: big enough for every part of the bar.
    void Place()
    {
        SetWindowPos(page_, HWND_TOP, 40, 40, 640, 480, SWP_SHOWWINDOW);
        MoveWindow(Window(), 0, 0, 640, 480, TRUE);
    }
    std::wstring Text(DISPID id) { return olehost::GetText(dispatch_, id); }
    void Command(WORD id) { SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    bool Playing() { return Text(kPlayState) == L"1"; }
};

// A video of the seed from its pre-buffer to its stop, each layout mode
// while it plays, and the dialogs over it.
TEST_F(Shots, AVideoOnDemand)
{
    bag_.values[L"Action"] = SeedAction();
    Activate();
    Place();
    ASSERT_TRUE(PumpUntil([&] { return Text(kStateString).compare(0, 2, L"缓冲") == 0; }, kPlayBound))
        << Narrow(Text(kStateString));
    Shoot(page_, L"prebuffering");
    ASSERT_TRUE(PumpUntil([&] { return Playing() && _wtoi(Text(kPosition).c_str()) > 100; },
                          kPlayBound))
        << Narrow(Text(kStateString));
    Shoot(page_, L"playing");
    for (const wchar_t* mode : {L"full", L"compact", L"simple", L"mini", L"audio"}) {
        olehost::PutText(dispatch_, kLayoutMode, mode);
        Place();
        Shoot(page_, std::wstring(L"mode-") + mode);
    }
    olehost::PutText(dispatch_, kLayoutMode, L"full");
    Place();

    Command(IDC_PLAY);
    ASSERT_TRUE(PumpUntil([&] { return Text(kPlayState) == L"2"; }));
    Shoot(page_, L"paused");
    Command(IDC_PLAY);
    ASSERT_TRUE(PumpUntil([&] { return Playing(); }));

    EXPECT_TRUE(ShootModal(L"dialog-settings", [&] { Command(ID_SETTINGS); }));
    EXPECT_TRUE(ShootModal(L"dialog-about", [&] { Command(ID_ABOUT); }));
    EXPECT_TRUE(ShootModal(L"dialog-password", [&] {
        CClientPassDlg dialog(L"0123456789abcdef0123456789abcdef");
        dialog.DoModal(Window());
    }));
    EXPECT_TRUE(ShootModal(L"dialog-login", [&] {
        CClientUserPassDlg dialog(
            Wide(nettest::FixtureUrl("TOVRA_CONTENT_PORT", "/login")));
        dialog.DoModal(Window());
    }));

    Command(IDC_FULLSCREEN);
    // The full-screen bar shows over the player's full-screen window.
    PumpUntil([&] { return IsWindowVisible(Control().FullControl().Handle()) != FALSE; }, kBound);
    Shoot(nullptr, L"fullscreen");
    Command(IDC_FULLSCREEN);

    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, 0), 1);
    ASSERT_TRUE(PumpUntil([&] { return Text(kPlayState) == L"0"; }));
    Shoot(page_, L"stopped");
}

// One chat line as another viewer's window sends it; emoticons go as their
// codes between two 0x7F.
void Receive(CCStreamView& control, const char16_t* name, const char16_t* text, COLORREF colour)
{
    _tagChatMsg record;
    record.name = name;
    record.text = text;
    record.format.dwMask = CFM_COLOR;
    record.format.crTextColor = colour;
    std::string bytes;
    if (record.ToBytes(bytes))
        control.Chat().ReceiveRecord(bytes.data(), static_cast<int>(bytes.size()));
}

// A live channel playing, its programme list and the chat beside it.
TEST_F(Shots, ALiveChannel)
{
    bag_.values[L"Action"] = L"type=live&cid=" + FixtureText("TOVRA_LIVE_CID");
    Activate();
    Place();
    ASSERT_TRUE(PumpUntil([&] { return Playing(); }, kPlayBound)) << Narrow(Text(kStateString));
    PumpUntil([&] { return _wtoi(Text(kPosition).c_str()) > 0; }, 5000);
    Shoot(page_, L"live");

    Command(IDC_PLAYLIST);
    PumpUntil([] { return false; }, 1500);
    Shoot(nullptr, L"live-playlist");
    Command(IDC_PLAYLIST);

    EmoticonClassInProcess emoticons(TOVRA_EMOTICON_DLL, CLSID_EmoticonPicture);
    Control().Chat().Show();
    Receive(Control(), u"小明", u"大家好\x7f/:A\x7f", RGB(0, 0, 255));
    Receive(Control(), u"阿花", u"\x7f/:B\x7f 这场比赛真精彩 \x7f/:C\x7f\x7f/:D\x7f", RGB(192, 0, 0));
    Receive(Control(), u"老王", u"画面很清楚", RGB(0, 128, 0));
    HWND chat = Control().Chat().Handle();
    ASSERT_TRUE(chat && IsWindowVisible(chat));
    Shoot(chat, L"chat");
}

}  // namespace
