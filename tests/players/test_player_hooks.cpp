#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <functional>

#include "players/PlayerSelector.h"
#include "players/hooks/FullscreenLock.h"
#include "players/hooks/PlayerHookRegistry.h"
#include "players/hooks/PlayerHooks.h"
#include "players/hooks/VlcHookRegistry.h"
#include "tests/players/PlayerTestSupport.h"

namespace {

const DWORD kWaitMs = 5000;

// A top-level window standing for a host window; it counts the mouse
// messages it gets and may hold a child standing for the Flash video window.
class HostWindow : public CWindowBase {
public:
    explicit HostWindow(bool withVideo, int x = 0)
    {
        Create(nullptr, RECT{x, 0, x + 300, 200}, L"host", WS_POPUP | WS_VISIBLE);
        if (withVideo) {
            video.Create(Handle(), RECT{0, 0, 300, 200}, L"", WS_CHILD | WS_VISIBLE);
        }
    }
    class Video : public CWindowBase {
    public:
        int rightDowns = 0, rightUps = 0;

    protected:
        void DescribeClass(WNDCLASSEXW& wc) override
        {
            CWindowBase::DescribeClass(wc);
            wc.lpszClassName = L"MacromediaFlashPlayerActiveX";
        }
        bool ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT& result) override
        {
            rightDowns += message == WM_RBUTTONDOWN;
            rightUps += message == WM_RBUTTONUP;
            return false;
        }
    } video;
};

class HookTest : public ::testing::Test {
protected:
    void TearDown() override { RemoveAllPlayerHooks(); }
    PlayerHookRegistry& flv = FlvHookRegistry();
    DWORD thread = GetCurrentThreadId();
};

TEST_F(HookTest, OneHookPerThreadOneEntryPerHostAndTheHookGoesWithTheLastEntry)
{
    HostWindow first(true), second(true), bare(false);
    flv.Register(first.Handle(), &first);
    flv.Register(second.Handle(), &second);
    flv.Register(first.Handle(), &second);   // registered already: unchanged
    HHOOK hook = flv.HookOfThread(thread);
    ASSERT_TRUE(hook);
    EXPECT_EQ(2u, flv.EntryCount());
    PlayerHookEntry entry;
    ASSERT_TRUE(flv.Find(first.Handle(), &entry));
    EXPECT_EQ(first.video.Handle(), entry.videoWindow);
    EXPECT_EQ(&first, entry.host);
    EXPECT_EQ(hook, entry.hook);
    EXPECT_EQ(thread, entry.threadId);

    // Without a video child, the host window itself is watched.
    flv.Register(bare.Handle(), &bare);
    ASSERT_TRUE(flv.Find(bare.Handle(), &entry));
    EXPECT_EQ(bare.Handle(), entry.videoWindow);
    flv.Unregister(bare.Handle());

    flv.Unregister(first.Handle());
    EXPECT_EQ(hook, flv.HookOfThread(thread));
    EXPECT_TRUE(flv.Find(second.Handle(), &entry));
    flv.Unregister(reinterpret_cast<HWND>(0x1234));   // unknown: nothing
    EXPECT_EQ(1u, flv.EntryCount());
    flv.Unregister(second.Handle());
    EXPECT_EQ(nullptr, flv.HookOfThread(thread));
    EXPECT_FALSE(PlayerHooksInstalled());

    // A window that is gone is no reason to keep the hook.
    HostWindow third(true);
    {
        HostWindow gone(true);
        flv.Register(gone.Handle(), &gone);
    }
    flv.Register(third.Handle(), &third);
    flv.Unregister(third.Handle());
    EXPECT_EQ(0u, flv.EntryCount());
    EXPECT_EQ(nullptr, flv.HookOfThread(thread));
    flv.Register(nullptr, nullptr);
    EXPECT_EQ(0u, flv.EntryCount());

    // The WMP registry finds its own video windows, and a host reaching
    // "playing" twice keeps one entry.
    PlayerHookRegistry& wmp = WmpHookRegistry();
    HostWindow player(false);
    wmp.Register(player.Handle(), &player);
    wmp.Register(player.Handle(), &player);
    EXPECT_EQ(1u, wmp.EntryCount());
    EXPECT_TRUE(wmp.HookOfThread(thread));
    EXPECT_EQ(nullptr, flv.HookOfThread(thread));
    wmp.Unregister(player.Handle());
    EXPECT_FALSE(PlayerHooksInstalled());
}

TEST_F(HookTest, TheFlvHookRecordsMovesAndSwallowsRightClicksInFullScreen)
{
    HostWindow host(true), other(true, 400);
    SetForegroundWindow(host.Handle());
    flv.Register(host.Handle(), &host);
    flv.Register(other.Handle(), &other);

    SetCursorPos(10, 10);
    MouseAt(0, 120, 80);
    auto movedTo = [&](HWND window, LONG x, LONG y) {
        PlayerHookEntry entry;
        return flv.Find(window, &entry) && entry.cursorPoint.x == x && entry.cursorPoint.y == y;
    };
    // Every FLV entry gets the point.
    ASSERT_TRUE(PumpUntil([&] { return movedTo(host.Handle(), 120, 80); }, kWaitMs));
    EXPECT_TRUE(movedTo(other.Handle(), 120, 80));

    MouseAt(MOUSEEVENTF_RIGHTDOWN, 120, 80);
    MouseAt(MOUSEEVENTF_RIGHTUP, 120, 80);
    ASSERT_TRUE(PumpUntil([&] { return host.video.rightUps == 1; }, kWaitMs));
    EXPECT_EQ(1, host.video.rightDowns);

    flv.Update(other.Handle(), [](PlayerHookEntry& entry) { entry.fullScreen = 1; });
    MouseAt(MOUSEEVENTF_RIGHTDOWN, 120, 80);
    MouseAt(MOUSEEVENTF_RIGHTUP, 120, 80);
    ASSERT_TRUE(PumpUntil([&] { return host.video.rightUps == 2; }, kWaitMs));
    EXPECT_EQ(1, host.video.rightDowns);
}

TEST_F(HookTest, TheLockRefusesKeyboardActivationButNotTheMouse)
{
    HostWindow player(false), other(false, 400);
    SetForegroundWindow(player.Handle());
    SetActiveWindow(player.Handle());
    ASSERT_EQ(player.Handle(), GetActiveWindow());

    InstallFullscreenLockHook();
    InstallFullscreenLockHook();   // replaces, never doubles
    EXPECT_TRUE(IsFullscreenLockHookInstalled());
    SetActiveWindow(other.Handle());
    PumpMessages();
    EXPECT_EQ(player.Handle(), GetActiveWindow());

    MouseAt(MOUSEEVENTF_LEFTDOWN, 500, 100);
    MouseAt(MOUSEEVENTF_LEFTUP, 500, 100);
    EXPECT_TRUE(PumpUntil([&] { return GetActiveWindow() == other.Handle(); }, kWaitMs));

    RemoveFullscreenLockHook();
    EXPECT_FALSE(IsFullscreenLockHookInstalled());
    SetActiveWindow(player.Handle());
    EXPECT_EQ(player.Handle(), GetActiveWindow());
}

TEST_F(HookTest, TheLastSelectorToDestroyItsHostsTakesEveryHookAway)
{
    CoInitialize(nullptr);
    RecordingOwner owner;
    CPlayerSelector withHost, without;
    withHost.m_owner = owner.Handle();
    withHost.SetParentWindow(owner.Handle());
    ASSERT_EQ(1, withHost.CreateDShowHost());

    HostWindow host(true);
    flv.Register(host.Handle(), &host);
    InstallFullscreenLockHook();
    ASSERT_TRUE(PlayerHooksInstalled());
    without.DestroyAll();   // another selector still has a host
    EXPECT_TRUE(PlayerHooksInstalled());
    withHost.DestroyAll();
    EXPECT_FALSE(PlayerHooksInstalled());
    EXPECT_EQ(nullptr, flv.HookOfThread(thread));
    EXPECT_FALSE(IsFullscreenLockHookInstalled());
    CoUninitialize();
}

LRESULT CALLBACK PassOn(int code, WPARAM wParam, LPARAM lParam)
{
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(HookTest, AVlcThreadKeepsOneHook)
{
    VlcHookRegistry& vlc = VlcHooks();
    HHOOK first = SetWindowsHookExW(WH_MOUSE, PassOn, nullptr, thread);
    HHOOK second = SetWindowsHookExW(WH_MOUSE, PassOn, nullptr, thread);
    ASSERT_TRUE(first && second);
    // A hook the system refused is not recorded: the thread takes one later.
    EXPECT_FALSE(vlc.Add(thread, nullptr, nullptr));
    EXPECT_FALSE(vlc.HasHooks());
    EXPECT_TRUE(vlc.Add(thread, first, nullptr));
    EXPECT_FALSE(vlc.Add(thread, second, nullptr));
    EXPECT_FALSE(UnhookWindowsHookEx(second));   // the refused one was unhooked
    EXPECT_EQ(first, vlc.HookOfThread(thread));
    vlc.Remove(thread);
    EXPECT_FALSE(vlc.HasHooks());
    EXPECT_FALSE(UnhookWindowsHookEx(first));
}

} // namespace
