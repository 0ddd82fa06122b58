#include "players/hosts/VLCOCX.h"

#include <string>

#include "players/PlayerKind.h"
#include "players/PlayerSelector.h"
#include "players/hooks/VlcHookRegistry.h"
#include "players/hosts/DispatchByName.h"

namespace {

// The hook procedure writes these on the video window's thread; the polls
// read them on the control's thread. Whole 32-bit values only.
volatile LONG g_toggleRequest = 0;
POINT g_cursor = {0, 0};
POINT g_lastReported = {0, 0};

bool IsVlcVideo(HWND window)
{
    wchar_t name[32];
    if (!window || !GetClassNameW(window, name, 32))
        return false;
    for (const wchar_t* video : {L"VLC DirectX video", L"VLC DirectX", L"VLC Plugin In-Place"}) {
        if (lstrcmpiW(name, video) == 0)
            return true;
    }
    return false;
}

// The message of each input state, and what a report of it does to the hook.
struct StateReport {
    UINT message;
    WPARAM wParam;
};
const StateReport kStateReports[] = {
    {WM_PLAYER_OPENSTATE, 2},                    // 0 idle
    {WM_PLAYER_OPENSTATE, 1},                    // 1 opening
    {WM_PLAYER_PLAYSTATE, PLAYSTATE_BUFFERING},  // 2
    {WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING},    // 3
    {WM_PLAYER_PLAYSTATE, PLAYSTATE_PAUSED},     // 4
    {WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED},    // 5
    {WM_PLAYER_OPENSTATE, 2},                    // 6 ended
};

}  // namespace

CVLCOCX::CVLCOCX(CPlayerSelector* selector)
    : CAdvisedAxHost(nullptr, 0, DIID_DVLCEvents), m_selector(selector)
{
}

CVLCOCX::~CVLCOCX()
{
    RemoveHook();
}

int CVLCOCX::Create(const wchar_t*, DWORD style, const RECT& rect, HWND parent, UINT id)
{
    return CreateControl(CLSID_VLCPlugin, IID_IVLCControl, style, rect, parent, id);
}

IDispatch* CVLCOCX::Control2() const
{
    IDispatch* control2 = nullptr;
    if (m_control)
        m_control->QueryInterface(IID_IVLCControl2, reinterpret_cast<void**>(&control2));
    return control2;
}

HRESULT CVLCOCX::WithPart(const wchar_t* name, HRESULT absent,
                          const std::function<HRESULT(IDispatch*)>& use) const
{
    IDispatch* part = nullptr;
    HRESULT hr = Part(name, &part);
    if (!part)
        return hr == S_FALSE ? absent : hr;
    hr = use(part);
    part->Release();
    return hr;
}

HRESULT CVLCOCX::Part(const wchar_t* name, IDispatch** part) const
{
    *part = nullptr;
    IDispatch* control2 = Control2();
    if (!control2)
        return S_FALSE;
    HRESULT hr = dispatch::ReadObject(control2, name, part);
    control2->Release();
    return hr;
}

void CVLCOCX::ApplyCreationSetup()
{
    dispatch::Put(m_control, L"AutoPlay", dispatch::Bool(false));
    dispatch::Put(m_control, L"Visible", dispatch::Bool(true));
    dispatch::Put(m_control, L"AutoLoop", dispatch::Bool(false));
    if (IDispatch* control2 = Control2()) {
        dispatch::Put(control2, L"StartTime", dispatch::Long(0));
        control2->Release();
    }
}

HRESULT CVLCOCX::Open(const wchar_t* address)
{
    std::wstring url = address ? address : L"";
    if (!url.empty())
        CharLowerBuffW(&url[0], static_cast<DWORD>(url.size()));
    for (std::size_t at = url.find(L"vlch:"); at != std::wstring::npos; at = url.find(L"vlch:", at + 5))
        url.replace(at, 5, L"http:");

    return WithPart(L"playlist", S_OK, [&](IDispatch* playlist) {
        dispatch::CallOrGet(playlist, L"clear");
        VARIANT item;
        HRESULT hr = dispatch::Call(playlist, L"add",
                                    {dispatch::Text(url.c_str()), dispatch::Text(L""),
                                     dispatch::Text(L":rtsp-tcp")},
                                    &item);
        VARIANT id;
        VariantInit(&id);
        if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&id, &item, 0, VT_I4)) && id.lVal != -1)
            hr = dispatch::Call(playlist, L"playItem", {id});
        VariantClear(&item);
        return hr;
    });
}

HRESULT CVLCOCX::Play()
{
    return WithPart(L"playlist", S_OK, [&](IDispatch* playlist) {
        VARIANT_BOOL playing = VARIANT_FALSE;
        HRESULT hr = dispatch::ReadBool(playlist, L"isPlaying", &playing);
        if (SUCCEEDED(hr) && playing == VARIANT_FALSE)
            dispatch::CallOrGet(playlist, L"play");   // its own answer is not the caller's
        return hr;
    });
}

HRESULT CVLCOCX::Pause()
{
    return WithPart(L"playlist", S_OK, [&](IDispatch* playlist) {
        VARIANT_BOOL playing = VARIANT_FALSE;
        HRESULT hr = dispatch::ReadBool(playlist, L"isPlaying", &playing);
        if (SUCCEEDED(hr) && playing != VARIANT_FALSE)
            hr = dispatch::CallOrGet(playlist, L"togglePause");
        return hr;
    });
}

HRESULT CVLCOCX::Stop()
{
    return WithPart(L"playlist", S_OK, [&](IDispatch* playlist) {
        return dispatch::CallOrGet(playlist, L"stop");
    });
}

HRESULT CVLCOCX::Close()
{
    RemoveHook();
    return dispatch::CallOrGet(m_control, L"stop");
}

HRESULT CVLCOCX::SetVolume(int volume)
{
    return dispatch::Put(m_control, L"Volume", dispatch::Long(volume));
}

HRESULT CVLCOCX::SetMute(int mute)
{
    return WithPart(L"audio", S_OK, [&](IDispatch* audio) {
        return dispatch::Put(audio, L"mute", dispatch::Bool(mute != 0));
    });
}

HRESULT CVLCOCX::GetFullScreen(VARIANT_BOOL* fullScreen)
{
    return WithPart(L"video", E_FAIL, [&](IDispatch* video) {
        return dispatch::ReadBool(video, L"fullscreen", fullScreen);
    });
}

HRESULT CVLCOCX::SetFullScreen(VARIANT_BOOL fullScreen)
{
    return WithPart(L"video", S_OK, [&](IDispatch* video) {
        return dispatch::Put(video, L"fullscreen", dispatch::Bool(fullScreen != VARIANT_FALSE));
    });
}

HRESULT CVLCOCX::GetPosition(double* timeMs)
{
    return WithPart(L"input", E_FAIL, [&](IDispatch* input) {
        return dispatch::ReadDouble(input, L"time", timeMs);
    });
}

HRESULT CVLCOCX::GetDuration(double* lengthMs)
{
    return WithPart(L"input", E_FAIL, [&](IDispatch* input) {
        return dispatch::ReadDouble(input, L"length", lengthMs);
    });
}

HRESULT CVLCOCX::Seek(long long timeMs)
{
    return WithPart(L"input", E_FAIL, [&](IDispatch* input) {
        return dispatch::Put(input, L"time", dispatch::Double(static_cast<double>(timeMs)));
    });
}

HRESULT CVLCOCX::GetVideoSize(int* width, int* height)
{
    return WithPart(L"video", S_OK, [&](IDispatch* video) {
        long w = 0, h = 0;
        if (SUCCEEDED(dispatch::ReadLong(video, L"width", &w)))
            *width = static_cast<int>(w);
        HRESULT hr = dispatch::ReadLong(video, L"height", &h);
        if (SUCCEEDED(hr))
            *height = static_cast<int>(h);
        return hr;
    });
}

void CVLCOCX::UpdateState()
{
    long state = 0;
    IDispatch* input = nullptr;
    Part(L"input", &input);
    if (input) {
        if (FAILED(dispatch::ReadLong(input, L"state", &state)))
            state = 0;
        input->Release();
    }
    if (state == m_lastState)
        return;
    m_lastState = static_cast<int>(state);
    if (state < 0 || state > 6)
        return;
    const StateReport& report = kStateReports[state];
    m_selector->NotifyOwner(PLAYER_VLC, report.message, report.wParam, 0, false);
    if (state == 3)
        RegisterHook();
    else if (state == 5)
        RemoveHook();
}

void CVLCOCX::RegisterHook()
{
    if (m_hookedThread || !m_control)
        return;
    HWND window = ControlWindow();
    HWND video = window ? GetWindow(window, GW_CHILD) : nullptr;
    if (!IsWindow(video))
        return;
    DWORD thread = GetWindowThreadProcessId(video, nullptr);
    HHOOK hook = SetWindowsHookExW(WH_MOUSE, MouseHookProc, nullptr, thread);
    if (!hook)
        return;   // tried again at the next poll
    m_hookedThread = thread;
    VlcHooks().Add(thread, hook, video);   // a thread hooked already keeps its hook
}

void CVLCOCX::RemoveHook()
{
    if (!m_hookedThread)
        return;
    VlcHooks().Remove(m_hookedThread);
    m_hookedThread = 0;
}

LRESULT CALLBACK CVLCOCX::MouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    auto mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    if (code >= 0 && mouse) {
        if (wParam == WM_MOUSEMOVE) {
            POINT cursor;
            if (GetCursorPos(&cursor))
                g_cursor = cursor;
        } else if (wParam == WM_LBUTTONDBLCLK && IsVlcVideo(mouse->hwnd)) {
            InterlockedExchange(&g_toggleRequest, 1);
        }
    }
    // Nothing is swallowed: the control toggles its own full screen.
    return CallNextHookEx(VlcHooks().HookOfThread(GetCurrentThreadId()), code, wParam, lParam);
}

int CVLCOCX::PollActivity(int* cursorMoved)
{
    if (!m_control)
        return 0;
    UpdateState();
    RegisterHook();
    int changed = 0;
    if (g_toggleRequest) {
        VARIANT_BOOL fullScreen = VARIANT_FALSE;
        int now = 0;
        if (SUCCEEDED(GetFullScreen(&fullScreen)) && (now = fullScreen ? 1 : 0) != m_fullScreen) {
            m_fullScreen = now;
            InterlockedExchange(&g_toggleRequest, 0);
            changed = 1;
        }
    }
    POINT cursor = g_cursor;
    if (cursor.x != g_lastReported.x || cursor.y != g_lastReported.y) {
        if (cursorMoved)
            *cursorMoved = 1;
        g_lastReported = cursor;
    }
    return changed;
}
