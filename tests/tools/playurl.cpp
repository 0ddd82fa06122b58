// playurl: plays one address through CPlayerSelector::Open and Play in a
// window of its own, with the hosted players' stand-in controls registered,
// and reports what the owner hears. For the end-to-end tests of the hosts.
//
// usage: playurl URL [--seconds N]
//
// Prints one line each, on stdout:
//   OPEN <hr> <kind>         Open's answer (hexadecimal) and the kind chosen
//   PLAY <hr>                Play's answer
//   OPENSTATE <n>            each open-state message
//   PLAYSTATE <n>            each play-state message
//   POSITION <s>             each new whole second GetPosition answers
//   DONE                     the position moved 2 s past its first value
//   TIMEOUT                  N seconds (default 30) passed first
// The owner polls the selector every 100 ms, as the control's timer does.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "players/PlayerSelector.h"
#include "tests/platform/StandinSupport.h"
#include "tests/tools/SayLine.h"

namespace {

const UINT_PTR kPollTimer = 1;

struct Run {
    CPlayerSelector* selector = nullptr;
    long firstSecond = -1;
    long lastSecond = -1;
    bool done = false;
};
Run g_run;

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(hr));
    return text;
}

void Poll()
{
    int moved = 0;
    g_run.selector->PollActivity(&moved);
    double position = 0;
    if (FAILED(g_run.selector->GetPosition(&position)))
        return;
    long second = static_cast<long>(position);
    if (second != g_run.lastSecond) {
        g_run.lastSecond = second;
        Say("POSITION " + std::to_string(second));
    }
    if (g_run.firstSecond < 0 && second > 0)
        g_run.firstSecond = second;
    if (g_run.firstSecond >= 0 && second >= g_run.firstSecond + 2)
        g_run.done = true;
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PLAYER_OPENSTATE: Say("OPENSTATE " + std::to_string(wParam)); return 0;
    case WM_PLAYER_PLAYSTATE: Say("PLAYSTATE " + std::to_string(wParam)); return 0;
    case WM_TIMER:
        if (wParam == kPollTimer && g_run.selector)
            Poll();
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fputs("usage: playurl URL [--seconds N]\n", stderr);
        return 2;
    }
    DWORD seconds = argc >= 4 && std::wcscmp(argv[2], L"--seconds") == 0 ? std::wcstoul(argv[3], nullptr, 10) : 30;
    OleInitialize(nullptr);
    if (!RegisterStandins()) {
        std::fputs("the stand-in controls could not be registered\n", stderr);
        return 1;
    }
    WNDCLASSW wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TovraPlayUrlOwner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowW(wc.lpszClassName, L"playurl", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN |
                               WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
    int status = 1;
    {
        CPlayerSelector selector;
        selector.m_owner = owner;
        selector.SetParentWindow(owner);
        selector.SetRect(RECT{0, 0, 320, 240}, FALSE);
        g_run.selector = &selector;
        HRESULT hr = selector.Open(argv[1]);
        Say("OPEN " + Hex(hr) + " " + std::to_string(selector.Kind()));
        if (SUCCEEDED(hr)) {
            Say("PLAY " + Hex(selector.Play()));
            SetTimer(owner, kPollTimer, 100, nullptr);
            DWORD start = GetTickCount();
            MSG m;
            while (!g_run.done && GetTickCount() - start < seconds * 1000) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
                while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&m);
                    DispatchMessageW(&m);
                }
            }
            KillTimer(owner, kPollTimer);
            Say(g_run.done ? "DONE" : "TIMEOUT");
            status = g_run.done ? 0 : 3;
        }
        g_run.selector = nullptr;
        selector.DestroyAll();
    }
    DestroyWindow(owner);
    OleUninitialize();
    return status;
}
