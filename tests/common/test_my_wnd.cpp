// CMyWnd: the hidden window thread that the engines run on.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <boost/thread/mutex.hpp>

#include "common/wnd/IMyWndMsgHost.h"
#include "common/wnd/ModuleHandle.h"
#include "common/wnd/MyWnd.h"

namespace {

const UINT kAnswer = WM_USER + 1;       // wParam: int* the host writes 42 into
const UINT kStartTimer = WM_USER + 2;   // wParam: timer id
const UINT kSendToOwner = WM_USER + 3;  // wParam: a window of the test thread
const UINT kCount = WM_USER + 4;
const UINT kSentinel = WM_USER + 100;   // sets the host's event
const UINT kOwnerMessage = WM_APP + 1;
const DWORD kWait = 5000;

struct Call {
    UINT message;       // WM_TIMER for OnTimer
    UINT_PTR value;     // wParam, or the timer id
    DWORD thread;
};

class RecordingHost : public IMyWndMsgHost {
public:
    RecordingHost() : m_wnd(this), m_event(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~RecordingHost() override { CloseHandle(m_event); }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        Record(message, wParam);
        switch (message) {
        case kAnswer:
            *reinterpret_cast<int*>(wParam) = 42;
            break;
        case kStartTimer:
            SetTimer(m_wnd.Handle(), wParam, 10, nullptr);
            break;
        case kSendToOwner:
            SendMessageW(reinterpret_cast<HWND>(wParam), kOwnerMessage, 0, 0);
            break;
        case kSentinel:
            SetEvent(m_event);
            break;
        }
        return 7;   // never reaches a sender
    }

    void OnTimer(UINT_PTR timerId) override
    {
        Record(WM_TIMER, timerId);
        KillTimer(m_wnd.Handle(), timerId);
        SetEvent(m_event);
    }

    std::vector<Call> Calls()
    {
        boost::mutex::scoped_lock lock(m_lock);
        return m_calls;
    }
    bool WaitEvent() { return WaitForSingleObject(m_event, kWait) == WAIT_OBJECT_0; }

    CMyWnd m_wnd;

private:
    void Record(UINT message, UINT_PTR value)
    {
        boost::mutex::scoped_lock lock(m_lock);
        m_calls.push_back({message, value, GetCurrentThreadId()});
    }

    boost::mutex m_lock;
    std::vector<Call> m_calls;
    HANDLE m_event;
};

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

DWORD WindowThread(HWND window)
{
    return GetWindowThreadProcessId(window, nullptr);
}

// A window of the test thread that counts what it is sent.
class OwnerWindow {
public:
    OwnerWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = Instance();
        wc.lpszClassName = L"TestOwner";
        RegisterClassW(&wc);
        m_window = CreateWindowExW(0, L"TestOwner", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   Instance(), nullptr);
    }
    ~OwnerWindow() { DestroyWindow(m_window); }
    HWND Handle() const { return m_window; }
    static int s_received;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == kOwnerMessage) {
            ++s_received;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    HWND m_window;
};
int OwnerWindow::s_received = 0;

// Ends the process when a call it watches hangs, so a deadlock fails the
// test in bounded time instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(const char* what)
        : m_what(what), m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        m_thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Watchdog()
    {
        SetEvent(m_done);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        CloseHandle(m_done);
    }

private:
    static DWORD WINAPI Run(void* param)
    {
        Watchdog* self = static_cast<Watchdog*>(param);
        if (WaitForSingleObject(self->m_done, 10000) == WAIT_TIMEOUT) {
            std::fprintf(stderr, "deadlock: %s did not return within 10 s\n", self->m_what);
            std::fflush(stderr);
            ExitProcess(3);
        }
        return 0;
    }
    const char* m_what;
    HANDLE m_done;
    HANDLE m_thread;
};

} // namespace

TEST(MyWnd, TwoWindowsInOneProcessRunOnTheirOwnThreads)
{
    RecordingHost first, second;
    ASSERT_EQ(first.m_wnd.Create(Instance()), 1);
    ASSERT_EQ(second.m_wnd.Create(Instance()), 1);   // the class is registered already
    ASSERT_NE(first.m_wnd.Handle(), second.m_wnd.Handle());
    PostMessageW(first.m_wnd.Handle(), kSentinel, 1, 0);
    PostMessageW(second.m_wnd.Handle(), kSentinel, 2, 0);
    ASSERT_TRUE(first.WaitEvent());
    ASSERT_TRUE(second.WaitEvent());
    auto a = first.Calls();
    auto b = second.Calls();
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].value, 1u);
    EXPECT_EQ(b[0].value, 2u);
    EXPECT_EQ(a[0].thread, WindowThread(first.m_wnd.Handle()));
    EXPECT_EQ(b[0].thread, WindowThread(second.m_wnd.Handle()));
    EXPECT_NE(a[0].thread, b[0].thread);
    EXPECT_NE(a[0].thread, GetCurrentThreadId());
    first.m_wnd.Destroy();
    second.m_wnd.Destroy();
}

TEST(MyWnd, OnlyMessagesFrom1024ReachTheHost)
{
    RecordingHost host;
    ASSERT_EQ(host.m_wnd.Create(Instance()), 1);
    HWND window = host.m_wnd.Handle();
    PostMessageW(window, WM_USER - 1, 1, 0);
    PostMessageW(window, WM_USER, 2, 0);
    PostMessageW(window, WM_APP + 5, 3, 0);
    PostMessageW(window, WM_NULL, 4, 0);
    PostMessageW(window, kSentinel, 5, 0);
    ASSERT_TRUE(host.WaitEvent());
    auto calls = host.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(calls[1].message, static_cast<UINT>(WM_APP + 5));
    EXPECT_EQ(calls[2].message, kSentinel);
    host.m_wnd.Destroy();
}

TEST(MyWnd, SendersGetZeroAndTheAnswerTravelsInARecord)
{
    RecordingHost host;
    ASSERT_EQ(host.m_wnd.Create(Instance()), 1);
    int record = 0;
    EXPECT_EQ(SendMessageW(host.m_wnd.Handle(), kAnswer, reinterpret_cast<WPARAM>(&record), 0), 0);
    EXPECT_EQ(record, 42);
    host.m_wnd.Destroy();
}

TEST(MyWnd, TimersReachOnTimer)
{
    RecordingHost host;
    ASSERT_EQ(host.m_wnd.Create(Instance()), 1);
    PostMessageW(host.m_wnd.Handle(), WM_TIMER, 3, 0);
    ASSERT_TRUE(host.WaitEvent());
    PostMessageW(host.m_wnd.Handle(), kStartTimer, 9, 0);
    ASSERT_TRUE(host.WaitEvent());
    auto calls = host.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(calls[0].value, 3u);
    EXPECT_EQ(calls[1].message, kStartTimer);
    EXPECT_EQ(calls[2].message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(calls[2].value, 9u);
    host.m_wnd.Destroy();
}

TEST(MyWnd, NullInstanceStartsNothing)
{
    RecordingHost host;
    EXPECT_EQ(host.m_wnd.Create(nullptr), 0);
    EXPECT_EQ(host.m_wnd.Handle(), nullptr);
    host.m_wnd.Destroy();
}

// Posted before Destroy: still handed to the host. After Destroy returns:
// the thread has ended, the window is gone and nothing reaches the host.
TEST(MyWnd, DestroyDeliversWhatWasPostedAndNothingAfter)
{
    RecordingHost host;
    for (int round = 0; round < 2; ++round) {   // Create, Destroy, Create again
        SCOPED_TRACE(round);
        ASSERT_EQ(host.m_wnd.Create(Instance()), 1);
        HWND window = host.m_wnd.Handle();
        std::size_t before = host.Calls().size();
        for (int i = 0; i < 50; ++i)
            ASSERT_TRUE(PostMessageW(window, kCount, i, 0));
        host.m_wnd.Destroy();
        EXPECT_EQ(host.m_wnd.Handle(), nullptr);
        EXPECT_EQ(host.Calls().size(), before + 50);

        EXPECT_FALSE(IsWindow(window));
        EXPECT_FALSE(PostMessageW(window, kCount, 99, 0));
        EXPECT_EQ(SendMessageW(window, kCount, 99, 0), 0);
        EXPECT_EQ(host.Calls().size(), before + 50);
    }
}

// The host sends to the destroying thread while the window thread drains its
// queue: Destroy must keep answering, or both threads wait for ever.
TEST(MyWnd, DestroyAnswersMessagesSentToItsThread)
{
    OwnerWindow owner;
    OwnerWindow::s_received = 0;
    RecordingHost host;
    ASSERT_EQ(host.m_wnd.Create(Instance()), 1);
    HWND target = owner.Handle();
    // The first is handled while Destroy sends WM_DESTROY; the second only
    // after it, while Destroy waits for the thread to end.
    PostMessageW(host.m_wnd.Handle(), kSendToOwner, reinterpret_cast<WPARAM>(target), 0);
    PostMessageW(host.m_wnd.Handle(), kSendToOwner, reinterpret_cast<WPARAM>(target), 0);
    {
        Watchdog watchdog("CMyWnd::Destroy");
        host.m_wnd.Destroy();
    }
    EXPECT_EQ(OwnerWindow::s_received, 2);
    EXPECT_EQ(host.Calls().size(), 2u);
}

TEST(ModuleHandle, FreesWhatItHoldsOnce)
{
    ASSERT_EQ(GetModuleHandleW(L"msimg32.dll"), nullptr);
    {
        CModuleHandle module(LoadLibraryW(L"msimg32.dll"));
        ASSERT_NE(module.Get(), nullptr);
        EXPECT_NE(GetModuleHandleW(L"msimg32.dll"), nullptr);
    }
    EXPECT_EQ(GetModuleHandleW(L"msimg32.dll"), nullptr);

    CModuleHandle module(LoadLibraryW(L"msimg32.dll"));
    EXPECT_NE(module.Release(), 0);
    EXPECT_EQ(module.Get(), nullptr);
    EXPECT_EQ(module.Release(), 0);
    EXPECT_EQ(GetModuleHandleW(L"msimg32.dll"), nullptr);
}
