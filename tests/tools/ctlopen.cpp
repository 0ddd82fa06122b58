// ctlopen: one Open of the control in a page of ours, timed. The control is
// linked in and sited in-process; the times come from its window's
// messages (the engine's connected notice, the play command or stream-ready
// notice that ends pre-buffering) and from its PlayStateChanged events.
//
// usage: ctlopen NAT CGI ACTION [BUFFER_SECONDS]
//
// Prints "CONNECT <ms> PREBUFFER <ms> PLAYING <ms>", each counted from the
// Open, or "TIMEOUT" after 60 s. Exit status 0 when it played.
#include <winsock2.h>
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "control/CCStreamView.h"
#include "control/ControlIds.h"
#include "tests/platform/StandinSupport.h"
#include "tests/tools/OleTestHost.h"
#include "live/LiveEngineMessages.h"
#include "vod/VodEngineMessages.h"

namespace {

LARGE_INTEGER g_frequency, g_open;
double g_connect = -1, g_prebuffer = -1;
WNDPROC g_controlProc = nullptr;

double SinceOpen()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - g_open.QuadPart) /
           static_cast<double>(g_frequency.QuadPart);
}

// Watches the control window's messages above its own procedure.
LRESULT CALLBACK Watch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((message == WM_VOD_CONNECTED || message == WM_LIVE_CONNECTED) && wParam == 1 &&
        g_connect < 0)
        g_connect = SinceOpen();
    // Pre-buffering ends with the play command (video) or the stream-ready
    // notice (live channel).
    const bool ready = (message == WM_COMMAND && LOWORD(wParam) == IDC_PLAY) ||
                       message == WM_LIVE_STREAM_READY;
    if (ready && g_connect >= 0 && g_prebuffer < 0)
        g_prebuffer = SinceOpen();
    return CallWindowProcW(g_controlProc, hwnd, message, wParam, lParam);
}

std::wstring Wide(const char* text)
{
    return std::wstring(text, text + std::strlen(text));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: ctlopen NAT CGI ACTION [BUFFER_SECONDS]\n");
        return 2;
    }
    OleInitialize(nullptr);
    RegisterStandins();
    QueryPerformanceFrequency(&g_frequency);

    olehost::TextBag bag;
    bag.values[L"AutoPlay"] = L"0";
    bag.values[L"Nat"] = Wide(argv[1]);
    bag.values[L"Stun"] = L"127.0.0.1";
    bag.values[L"Cgi"] = Wide(argv[2]);
    bag.values[L"Action"] = Wide(argv[3]);
    bag.values[L"BufferTime"] = argc > 4 ? Wide(argv[4]) : L"2";
    bag.values[L"EnableCacheData"] = L"0";

    HWND page = CreateWindowExW(0, L"Static", L"page", WS_POPUP | WS_VISIBLE, 50, 50, 600, 500,
                                nullptr, nullptr, nullptr, nullptr);
    std::optional<olehost::TestSite> site;
    site.emplace(page);
    CCStreamView* control = new CCStreamView();
    IOleObject* ole = nullptr;
    control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    IPersistPropertyBag* persist = nullptr;
    control->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist));
    persist->Load(&bag, nullptr);
    persist->Release();
    IConnectionPointContainer* container = nullptr;
    control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    IConnectionPoint* point = nullptr;
    container->FindConnectionPoint(DIID__IVodEvents, &point);
    container->Release();
    olehost::EventSink sink;
    DWORD cookie = 0;
    point->Advise(&sink, &cookie);
    ole->SetClientSite(&*site);
    RECT place = {0, 0, 400, 300};
    ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &*site, 0, page, &place);
    g_controlProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        control->Window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Watch)));

    QueryPerformanceCounter(&g_open);
    SendMessageW(control->Window(), WM_CONTROL_OPEN, 0, 0);
    double playing = -1;
    const DWORD begin = GetTickCount();
    while (playing < 0 && GetTickCount() - begin < 60000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        for (const VARIANT& state : sink.calls)
            if (state.lVal == 1 && playing < 0)
                playing = SinceOpen();
    }
    if (playing < 0)
        std::printf("TIMEOUT\n");
    else
        std::printf("CONNECT %.0f PREBUFFER %.0f PLAYING %.0f\n", g_connect, g_prebuffer, playing);
    std::fflush(stdout);

    SetWindowLongPtrW(control->Window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_controlProc));
    point->Unadvise(cookie);
    point->Release();
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole->Release();
    control->Release();
    site.reset();
    DestroyWindow(page);
    OleUninitialize();
    return playing < 0 ? 1 : 0;
}
