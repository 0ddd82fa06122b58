#include "players/hosts/RealOCX.h"

#include "players/PlayerKind.h"
#include "players/PlayerSelector.h"
#include "players/hosts/DispatchByName.h"

namespace {

const axhost::EventEntry kRealEvents[] = {
    {REAL_EVENT_OPENED, 2},        {REAL_EVENT_CLOSED, 0},     {REAL_EVENT_STATUS, 1},
    {REAL_EVENT_POSITION, 2},      {REAL_EVENT_STATE, 1},      {REAL_EVENT_ERROR, 6},
    {REAL_EVENT_BUFFERING, 2},     {REAL_EVENT_LBUTTONDOWN, 3}, {REAL_EVENT_RBUTTONDOWN, 3},
    {REAL_EVENT_LBUTTONUP, 3},     {REAL_EVENT_RBUTTONUP, 3},  {REAL_EVENT_MOUSEMOVE, 3},
    {REAL_EVENT_KEYDOWN, 2},       {REAL_EVENT_KEYPRESS, 2},   {REAL_EVENT_KEYUP, 2},
    // Heard and left alone.
    {1007, 1}, {1008, 1}, {1015, 1}, {1016, 1}, {1017, 2}, {1018, 2}, {1042, 2},
    {1019, 0}, {1020, 0}, {1021, 0},
};

// The one Real hook of the process, shared by every Real host. Written by
// the hook procedure on the control window's thread, read by the polls.
struct RealHookState {
    HHOOK hook = nullptr;
    HWND controlWindow = nullptr;
    volatile LONG toggleRequest = 0;
    POINT cursor = {0, 0};
    POINT lastReported = {0, 0};
};
RealHookState g_realHook;

// Mouse events give flags, x and y; the message packs y high and x low.
LPARAM PackPoint(const axhost::EventArgs& args)
{
    return static_cast<LPARAM>((static_cast<DWORD>(args.Long(2)) & 0xFFFF) << 16 |
                               (static_cast<DWORD>(args.Long(1)) & 0xFFFF));
}

// The error event's last argument is text in the published control: the
// owner then gets the string, valid only during the call.
LPARAM ErrorDetail(const axhost::EventArgs& args)
{
    const VARIANT& last = args[5];
    if (last.vt == VT_BSTR)
        return reinterpret_cast<LPARAM>(last.bstrVal);
    return args.Long(5);
}

bool IsRealVideo(HWND window)
{
    wchar_t name[32];
    if (!window || !GetClassNameW(window, name, 32) || lstrcmpiW(name, L"PNGUIClass") != 0)
        return false;
    return GetWindowThreadProcessId(window, nullptr) ==
           GetWindowThreadProcessId(g_realHook.controlWindow, nullptr);
}

}  // namespace

CRealOCX::CRealOCX(CPlayerSelector* selector)
    : CAdvisedAxHost(kRealEvents, sizeof kRealEvents / sizeof kRealEvents[0],
                     DIID_DRealAudioEvents),
      m_selector(selector)
{
}

CRealOCX::~CRealOCX()
{
    RemoveHook();
}

int CRealOCX::Create(const wchar_t*, DWORD style, const RECT& rect, HWND parent, UINT id)
{
    return CreateControl(CLSID_RealAudio, IID_IRealAudio, style, rect, parent, id);
}

void CRealOCX::ApplyCreationSetup()
{
    dispatch::Call(m_control, L"SetControls", {dispatch::Text(L"Imagewindow")});
    dispatch::Call(m_control, L"SetConsole", {dispatch::Text(L"Real")});
    // The nine further settings: the picture alone, centred in its aspect,
    // without the control's own labels, logo, status text or menu; mouse and
    // key events raised; playback only when asked.
    const struct {
        const wchar_t* name;
        bool value;
    } settings[] = {
        {L"SetAutoStart", false},         {L"SetNoLabels", true},
        {L"SetNoLogo", true},             {L"SetImageStatus", false},
        {L"SetEnableContextMenu", false}, {L"SetMaintainAspect", true},
        {L"SetCenter", true},             {L"SetWantMouseEvents", true},
        {L"SetWantKeyboardEvents", true},
    };
    for (const auto& setting : settings)
        dispatch::Call(m_control, setting.name, {dispatch::Bool(setting.value)});
}

HRESULT CRealOCX::Open(const wchar_t* address)
{
    return dispatch::Call(m_control, L"SetSource", {dispatch::Text(address)});
}

HRESULT CRealOCX::Play()
{
    InstallHook();
    return dispatch::CallOrGet(m_control, L"DoPlay");
}

HRESULT CRealOCX::Pause()
{
    return dispatch::CallOrGet(m_control, L"DoPause");
}

HRESULT CRealOCX::Stop()
{
    return dispatch::CallOrGet(m_control, L"DoStop");
}

HRESULT CRealOCX::Close()
{
    RemoveHook();
    return dispatch::CallOrGet(m_control, L"DoStop");
}

HRESULT CRealOCX::SetVolume(int volume)
{
    return dispatch::Call(m_control, L"SetVolume", {dispatch::Long(volume)});
}

HRESULT CRealOCX::SetMute(int mute)
{
    return dispatch::Call(m_control, L"SetMute", {dispatch::Bool(mute != 0)});
}

HRESULT CRealOCX::GetFullScreen(VARIANT_BOOL* fullScreen)
{
    return dispatch::ReadBool(m_control, L"GetFullScreen", fullScreen);
}

HRESULT CRealOCX::SetFullScreen(VARIANT_BOOL fullScreen)
{
    return dispatch::CallOrGet(m_control, fullScreen ? L"SetFullScreen" : L"SetOriginalSize");
}

HRESULT CRealOCX::GetBufferingPercent(int* percent)
{
    if (!percent)
        return E_INVALIDARG;
    long elapsed = 0, remaining = 0;
    HRESULT hr = dispatch::ReadLong(m_control, L"GetBufferingTimeElapsed", &elapsed);
    if (SUCCEEDED(hr))
        hr = dispatch::ReadLong(m_control, L"GetBufferingTimeRemaining", &remaining);
    if (SUCCEEDED(hr) && elapsed + remaining != 0)
        *percent = static_cast<int>(elapsed * 100 / (elapsed + remaining));
    return hr;
}

HRESULT CRealOCX::GetPosition(double* positionMs)
{
    return dispatch::ReadDouble(m_control, L"GetPosition", positionMs);
}

HRESULT CRealOCX::GetDuration(double* lengthMs)
{
    return dispatch::ReadDouble(m_control, L"GetLength", lengthMs);
}

HRESULT CRealOCX::Seek(long long positionMs)
{
    return dispatch::Call(m_control, L"SetPosition", {dispatch::Long(static_cast<long>(positionMs))});
}

HRESULT CRealOCX::GetVideoSize(int* width, int* height)
{
    long w = 0, h = 0;
    HRESULT first = dispatch::ReadLong(m_control, L"GetClipWidth", &w);
    HRESULT second = dispatch::ReadLong(m_control, L"GetClipHeight", &h);
    if (SUCCEEDED(first))
        *width = static_cast<int>(w);
    if (SUCCEEDED(second))
        *height = static_cast<int>(h);
    return first | second;
}

HRESULT CRealOCX::GetSourceUrl(BSTR* url)
{
    if (!url)
        return E_INVALIDARG;
    return dispatch::ReadText(m_control, L"GetSource", url);
}

void CRealOCX::Notify(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_selector)
        m_selector->NotifyOwner(PLAYER_REAL, message, wParam, lParam, true);
}

void CRealOCX::OnEvent(DISPID id, const axhost::EventArgs& args)
{
    switch (id) {
    case REAL_EVENT_OPENED: Notify(WM_PLAYER_OPENSTATE, 1, 0); break;
    case REAL_EVENT_CLOSED: Notify(WM_PLAYER_OPENSTATE, 2, 0); break;
    case REAL_EVENT_STATUS: Notify(WM_PLAYER_STATUS, args.Long(0), 0); break;
    case REAL_EVENT_POSITION:
        Notify(WM_PLAYER_POSITION, args.Long(0) / 1000, args.Long(1) / 1000);
        break;
    case REAL_EVENT_STATE: {
        static const UINT playStates[] = {PLAYSTATE_STOPPED, 0, PLAYSTATE_BUFFERING,
                                          PLAYSTATE_PLAYING, PLAYSTATE_PAUSED, PLAYSTATE_SEEKING};
        long state = args.Long(0);
        if (state == 1)
            Notify(WM_PLAYER_OPENSTATE, 3, 0);   // connecting
        else if (state >= 0 && state <= 5)
            Notify(WM_PLAYER_PLAYSTATE, playStates[state], 0);
        else
            Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_OTHER, 0);
        break;
    }
    case REAL_EVENT_ERROR: Notify(WM_PLAYER_ERROR, args.Long(1), ErrorDetail(args)); break;
    case REAL_EVENT_BUFFERING: Notify(WM_PLAYER_PROGRESS, 0, args.Long(1)); break;
    case REAL_EVENT_LBUTTONDOWN:
    case REAL_EVENT_RBUTTONDOWN:
        Notify(WM_PLAYER_MOUSEDOWN, args.Long(0), PackPoint(args));
        break;
    case REAL_EVENT_LBUTTONUP:
    case REAL_EVENT_RBUTTONUP:
        Notify(WM_PLAYER_MOUSEUP, args.Long(0), PackPoint(args));
        break;
    case REAL_EVENT_MOUSEMOVE: Notify(WM_PLAYER_MOUSEMOVE, args.Long(0), PackPoint(args)); break;
    case REAL_EVENT_KEYDOWN: Notify(WM_PLAYER_KEY, args.Long(1), args.Long(0)); break;
    case REAL_EVENT_KEYPRESS: Notify(WM_PLAYER_KEYPRESS, args.Long(1), args.Long(0)); break;
    case REAL_EVENT_KEYUP: Notify(WM_PLAYER_KEYUP, args.Long(1), args.Long(0)); break;
    default: break;   // heard, nothing to do
    }
}

void CRealOCX::InstallHook()
{
    if (g_realHook.hook || !m_control)
        return;
    HWND window = ControlWindow();
    if (!IsWindow(window))
        return;
    // A failed installation is not reported: no toggles and no moves then.
    g_realHook.hook = SetWindowsHookExW(WH_MOUSE, MouseHookProc, nullptr,
                                        GetWindowThreadProcessId(window, nullptr));
    if (g_realHook.hook)
        g_realHook.controlWindow = window;
}

void CRealOCX::RemoveHook()
{
    if (g_realHook.hook && UnhookWindowsHookEx(g_realHook.hook)) {
        g_realHook.hook = nullptr;
        g_realHook.controlWindow = nullptr;
    }
}

bool CRealOCX::HookInstalled()
{
    return g_realHook.hook != nullptr;
}

LRESULT CALLBACK CRealOCX::MouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    auto mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    if (code >= 0 && mouse) {
        bool onVideo = IsRealVideo(mouse->hwnd);
        if (wParam == WM_MOUSEMOVE) {
            POINT cursor;
            if (GetCursorPos(&cursor))
                g_realHook.cursor = cursor;
            if (onVideo)
                return 1;
        } else if ((wParam == WM_RBUTTONDOWN || wParam == WM_RBUTTONUP) && onVideo) {
            return 1;
        } else if (wParam == WM_LBUTTONDBLCLK && onVideo) {
            InterlockedExchange(&g_realHook.toggleRequest, 1);
        }
    }
    return CallNextHookEx(g_realHook.hook, code, wParam, lParam);
}

int CRealOCX::PollActivity(int* cursorMoved)
{
    if (!m_control)
        return 0;
    int toggled = 0;
    if (InterlockedExchange(&g_realHook.toggleRequest, 0)) {
        VARIANT_BOOL fullScreen = VARIANT_FALSE;
        if (SUCCEEDED(GetFullScreen(&fullScreen))) {
            m_selector->SetFullScreen(fullScreen ? 0 : 1);
            toggled = 1;
        }
    }
    POINT cursor = g_realHook.cursor;
    if (cursor.x != g_realHook.lastReported.x || cursor.y != g_realHook.lastReported.y) {
        if (cursorMoved)
            *cursorMoved = 1;
        g_realHook.lastReported = cursor;
    }
    return toggled;
}
