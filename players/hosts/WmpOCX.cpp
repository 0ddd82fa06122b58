#include "players/hosts/WmpOCX.h"

#include <mmsystem.h>
#include <wmp.h>
#include <wmpids.h>

#include <set>

#include "platform/axhost/AxHost.h"
#include "platform/axhost/PublishedIds.h"
#include "players/PlayerKind.h"
#include "players/PlayerSelector.h"
#include "players/hosts/DispatchByName.h"
#include "players/hooks/PlayerHookRegistry.h"

namespace {

// The events the host handles, with their argument counts.
const axhost::EventEntry kEvents[] = {
    {DISPID_WMPCOREEVENT_OPENSTATECHANGE, 1}, {DISPID_WMPCOREEVENT_PLAYSTATECHANGE, 1},
    {DISPID_WMPCOREEVENT_STATUSCHANGE, 0},    {DISPID_WMPCOREEVENT_ERROR, 0},
    {DISPID_WMPOCXEVENT_CLICK, 4},            {DISPID_WMPOCXEVENT_DOUBLECLICK, 4},
    {DISPID_WMPOCXEVENT_KEYDOWN, 2},          {DISPID_WMPOCXEVENT_KEYPRESS, 1},
    {DISPID_WMPOCXEVENT_KEYUP, 2},            {DISPID_WMPOCXEVENT_MOUSEDOWN, 4},
    {DISPID_WMPOCXEVENT_MOUSEMOVE, 4},        {DISPID_WMPOCXEVENT_MOUSEUP, 4},
};

// The player's open and play states that the host acts on.
const long kOpenMediaConnecting = 10;
const long kOpenMediaOpen = 13;
const long kPlayStopped = 1;
const long kPlayPaused = 2;
const long kPlayPlaying = 3;
const long kPlayBuffering = 6;
const long kPlayMediaEnded = 8;

// Two left clicks on the full-screen video closer than this ask for a toggle.
const DWORD kClickPairMs = 200;

using dispatch::Bool;
using dispatch::Double;
using dispatch::Long;
using dispatch::Put;
using dispatch::Text;

// A property read as `type`; *value is cleared by the caller.
HRESULT Get(IDispatch* object, const wchar_t* name, VARTYPE type, VARIANT* value)
{
    HRESULT hr = dispatch::Get(object, name, value);
    if (FAILED(hr))
        return hr;
    hr = VariantChangeType(value, value, 0, type);
    if (FAILED(hr))
        VariantClear(value);
    return hr;
}

HRESULT GetObject(IDispatch* object, const wchar_t* name, IDispatch** result)
{
    *result = nullptr;
    VARIANT value;
    HRESULT hr = Get(object, name, VT_DISPATCH, &value);
    if (FAILED(hr))
        return hr;
    *result = value.pdispVal;   // the reference moves to the caller
    if (!*result)
        return E_NOINTERFACE;
    return S_OK;
}

template <class Out>
HRESULT GetNumber(IDispatch* object, const wchar_t* name, Out* out)
{
    VARIANT value;
    HRESULT hr = Get(object, name, VT_R8, &value);
    if (SUCCEEDED(hr))
        *out = static_cast<Out>(value.dblVal);
    return hr;
}

IDispatch* Query(IUnknown* object, REFIID iid)
{
    void* result = nullptr;
    if (!object || FAILED(object->QueryInterface(iid, &result)))
        return nullptr;
    return static_cast<IDispatch*>(result);
}

template <class T>
void ReleaseAndClear(T*& pointer)
{
    if (pointer)
        pointer->Release();
    pointer = nullptr;
}

WPARAM MouseFlags(long button, long shift)
{
    WPARAM flags = 0;
    if (button == 1)
        flags = MK_LBUTTON;
    else if (button == 2)
        flags = MK_RBUTTON;
    else if (button == 4)
        flags = MK_MBUTTON;
    if (shift & 1)
        flags |= MK_SHIFT;
    else if (shift & 2)
        flags |= MK_CONTROL;
    return flags;
}

LPARAM MousePoint(long x, long y)
{
    return static_cast<LPARAM>(static_cast<DWORD>(y) << 16 | (static_cast<DWORD>(x) & 0xFFFF));
}

// In full screen the owner gets no point, but the user must see a cursor.
void MakeCursorVisible()
{
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetCursorInfo(&info) || !info.hCursor) {
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        info.cbSize = sizeof info;
        GetCursorInfo(&info);
    }
    if (info.flags & CURSOR_SHOWING)
        return;
    for (int i = 0; i < 100; ++i) {
        int count = ShowCursor(TRUE);
        if (count > 0)
            count = ShowCursor(FALSE);
        if (count >= 0)
            break;
    }
}

bool ClassBeginsWithKx(HWND window)
{
    wchar_t name[8] = {};
    return GetClassNameW(window, name, 8) >= 3 && _wcsnicmp(name, L"KX:", 3) == 0;
}

} // namespace

CWmpOCX::CWmpOCX(CPlayerSelector* selector)
    : CAdvisedAxHost(kEvents, sizeof kEvents / sizeof kEvents[0], __uuidof(_WMPOCXEvents)),
      m_selector(selector)
{
}

CWmpOCX::~CWmpOCX()
{
    OnDestroy();
}

void CWmpOCX::OnDestroy()
{
    WmpHookRegistry().Unregister(m_hwnd);
    ReleaseAndClear(m_controls);
    ReleaseAndClear(m_settings);
    m_fullScreen = 0;
}

int CWmpOCX::Create(const wchar_t*, DWORD style, const RECT& rect, HWND parent, UINT id)
{
    if (!CreateControl(__uuidof(WindowsMediaPlayer), __uuidof(IWMPPlayer), style, rect, parent, id))
        return 0;
    m_controls = Query(m_control, __uuidof(IWMPControls));
    m_settings = Query(m_control, __uuidof(IWMPSettings));
    if (!m_controls || !m_settings) {
        Destroy();
        return 0;
    }
    return 1;
}

void CWmpOCX::CreationSetup()
{
    Put(m_control, L"uiMode", Text(L"None"));
    Put(m_control, L"enableContextMenu", Bool(false));
    Put(m_settings, L"autoStart", Bool(false));
    Put(m_settings, L"enableErrorDialogs", Bool(false));
    if (IDispatch* player2 = Query(m_control, IID_IWMPPlayer2)) {
        Put(player2, L"stretchToFit", Bool(true));
        Put(player2, L"windowlessVideo", Bool(true));
        player2->Release();
    }
    IDispatch* network = nullptr;
    if (SUCCEEDED(GetObject(m_control, L"network", &network))) {
        Put(network, L"bufferingTime", Long(2000));
        network->Release();
    }
}

HRESULT CWmpOCX::Open(const wchar_t* address)
{
    return Put(m_control, L"URL", Text(address));
}

HRESULT CWmpOCX::Play()
{
    return dispatch::Call(m_controls, L"play", {});
}

HRESULT CWmpOCX::Pause()
{
    return dispatch::Call(m_controls, L"pause", {});
}

HRESULT CWmpOCX::Stop()
{
    return dispatch::Call(m_controls, L"stop", {});
}

HRESULT CWmpOCX::Close()
{
    dispatch::Call(m_controls, L"stop", {});
    return dispatch::Call(m_control, L"close", {});
}

HRESULT CWmpOCX::SetVolume(int volume)
{
    return Put(m_settings, L"volume", Long(volume));
}

HRESULT CWmpOCX::SetMute(int mute)
{
    return Put(m_settings, L"mute", Bool(mute != 0));
}

HRESULT CWmpOCX::GetFullScreen(VARIANT_BOOL* fullScreen)
{
    if (!m_control) {
        m_fullScreen = 0;
        return E_FAIL;
    }
    VARIANT value;
    HRESULT hr = Get(m_control, L"fullScreen", VT_BOOL, &value);
    if (FAILED(hr))
        return hr;
    if (fullScreen)
        *fullScreen = value.boolVal;
    m_fullScreen = value.boolVal == VARIANT_TRUE ? 1 : 0;
    return hr;
}

HRESULT CWmpOCX::SetFullScreen(VARIANT_BOOL fullScreen)
{
    HRESULT hr = Put(m_control, L"fullScreen", Bool(fullScreen == VARIANT_TRUE));
    if (SUCCEEDED(hr))
        m_fullScreen = fullScreen == VARIANT_TRUE ? 1 : 0;
    return hr;
}

HRESULT CWmpOCX::GetBufferingPercent(int* percent)
{
    IDispatch* network = nullptr;
    if (FAILED(GetObject(m_control, L"network", &network)))
        return E_NOTIMPL;
    long progress = 0;
    HRESULT hr = GetNumber(network, L"bufferingProgress", &progress);
    network->Release();
    if (SUCCEEDED(hr) && percent)
        *percent = static_cast<int>(progress);
    return hr;
}

HRESULT CWmpOCX::GetPosition(double* position)
{
    return GetNumber(m_controls, L"currentPosition", position);
}

HRESULT CWmpOCX::Seek(long long seconds)
{
    return Put(m_controls, L"currentPosition", Double(static_cast<double>(seconds)));
}

HRESULT CWmpOCX::CurrentItem(IDispatch** item)
{
    return GetObject(m_controls, L"currentItem", item);
}

HRESULT CWmpOCX::GetDuration(double* duration)
{
    IDispatch* item = nullptr;
    HRESULT hr = CurrentItem(&item);
    if (FAILED(hr))
        return hr;
    hr = GetNumber(item, L"duration", duration);
    item->Release();
    return hr;
}

HRESULT CWmpOCX::GetVideoSize(int* width, int* height)
{
    IDispatch* item = nullptr;
    HRESULT hr = CurrentItem(&item);
    if (FAILED(hr))
        return hr;
    hr = GetNumber(item, L"imageSourceWidth", width) | GetNumber(item, L"imageSourceHeight", height);
    item->Release();
    return hr;
}

HRESULT CWmpOCX::GetSourceUrl(BSTR* url)
{
    if (!url)
        return E_INVALIDARG;
    *url = nullptr;
    IDispatch* item = nullptr;
    HRESULT hr = CurrentItem(&item);
    if (FAILED(hr))
        return hr;
    VARIANT value;
    hr = Get(item, L"sourceURL", VT_BSTR, &value);
    item->Release();
    if (SUCCEEDED(hr))
        *url = value.bstrVal;   // the caller frees it
    return hr;
}

HRESULT CWmpOCX::SetOrgSize(int orgSize)
{
    IDispatch* player2 = Query(m_control, IID_IWMPPlayer2);
    if (!player2)
        return E_NOINTERFACE;
    HRESULT hr = Put(player2, L"stretchToFit", Bool(orgSize == 0));
    player2->Release();
    return hr;
}

int CWmpOCX::PollActivity(int* cursorMoved)
{
    if (!m_control)
        return 0;
    if (cursorMoved)
        *cursorMoved = 0;
    PlayerHookEntry entry;
    if (!WmpHookRegistry().Find(m_hwnd, &entry))
        return 0;
    int toggled = 0;
    if (entry.toggleRequest == 1) {
        VARIANT_BOOL fullScreen = VARIANT_FALSE;
        if (SUCCEEDED(GetFullScreen(&fullScreen))) {
            m_selector->SetFullScreen(fullScreen == VARIANT_TRUE ? 0 : 1);
            toggled = 1;
        }
        WmpHookRegistry().Update(m_hwnd, [](PlayerHookEntry& e) { e.toggleRequest = 0; });
    }
    if (entry.cursorPoint.x != entry.lastReportedPoint.x || entry.cursorPoint.y != entry.lastReportedPoint.y) {
        if (cursorMoved)
            *cursorMoved = 1;
        WmpHookRegistry().Update(m_hwnd, [&](PlayerHookEntry& e) { e.lastReportedPoint = entry.cursorPoint; });
    }
    return toggled;
}

void CWmpOCX::OnPlayStateChange(long state)
{
    switch (state) {
    case kPlayStopped:
        WmpHookRegistry().Unregister(m_hwnd);
        Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, 0);
        break;
    case kPlayPaused:
        Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_PAUSED, 0);
        break;
    case kPlayPlaying:
        WmpHookRegistry().Register(m_hwnd, this);
        Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, 0);
        break;
    case kPlayBuffering:
        Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_BUFFERING, 0);
        break;
    case kPlayMediaEnded:
        WmpHookRegistry().Unregister(m_hwnd);
        Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, 0);
        break;
    default:
        break;
    }
}

void CWmpOCX::Notify(UINT message, WPARAM wParam, LPARAM lParam)
{
    m_selector->NotifyOwner(PLAYER_WMP, message, wParam, lParam, true);
}

void CWmpOCX::OnEvent(DISPID id, const axhost::EventArgs& args)
{
    switch (id) {
    case DISPID_WMPCOREEVENT_OPENSTATECHANGE: {
        long state = args.Long(0);
        if (state == kOpenMediaConnecting)
            Notify(WM_PLAYER_OPENSTATE, 3, 0);
        else if (state == kOpenMediaOpen)
            Notify(WM_PLAYER_OPENSTATE, 1, 0);
        break;
    }
    case DISPID_WMPCOREEVENT_PLAYSTATECHANGE:
        OnPlayStateChange(args.Long(0));
        break;
    case DISPID_WMPCOREEVENT_STATUSCHANGE:
        Notify(WM_PLAYER_STATUS, 0, 0);
        break;
    case DISPID_WMPCOREEVENT_ERROR:
        SendError();
        break;
    case DISPID_WMPOCXEVENT_CLICK:
        SendMouse(WM_PLAYER_CLICK, args, false);
        break;
    case DISPID_WMPOCXEVENT_DOUBLECLICK:
        SendMouse(WM_PLAYER_DBLCLICK, args, false);
        break;
    case DISPID_WMPOCXEVENT_KEYDOWN:
    case DISPID_WMPOCXEVENT_KEYPRESS:
    case DISPID_WMPOCXEVENT_KEYUP:
        Notify(WM_PLAYER_KEY, static_cast<WPARAM>(static_cast<LONG_PTR>(static_cast<short>(args.Long(0)))), 0);
        break;
    case DISPID_WMPOCXEVENT_MOUSEDOWN:
        SendMouse(WM_PLAYER_MOUSEDOWN, args, true);
        break;
    case DISPID_WMPOCXEVENT_MOUSEMOVE:
        SendMouse(WM_PLAYER_MOUSEMOVE, args, true);
        break;
    case DISPID_WMPOCXEVENT_MOUSEUP:
        SendMouse(WM_PLAYER_MOUSEUP, args, true);
        break;
    default:
        break;
    }
}

void CWmpOCX::SendMouse(UINT message, const axhost::EventArgs& args, bool fullScreenPoint)
{
    WPARAM flags = MouseFlags(args.Long(0), args.Long(1));
    LPARAM point = MousePoint(args.Long(2), args.Long(3));
    VARIANT_BOOL fullScreen = VARIANT_FALSE;
    if (fullScreenPoint && SUCCEEDED(GetFullScreen(&fullScreen)) && fullScreen == VARIANT_TRUE) {
        MakeCursorVisible();
        point = -1;
    }
    Notify(message, flags, point);
}

// The player's error object, its first item: code and description.
void CWmpOCX::SendError()
{
    IDispatch* error = nullptr;
    if (FAILED(GetObject(m_control, L"error", &error)))
        return;
    VARIANT itemValue;
    HRESULT hr = dispatch::Call(error, L"item", {Long(0)}, &itemValue);
    error->Release();
    if (FAILED(hr) || FAILED(VariantChangeType(&itemValue, &itemValue, 0, VT_DISPATCH)) || !itemValue.pdispVal) {
        VariantClear(&itemValue);
        return;
    }
    IDispatch* item = itemValue.pdispVal;
    long code = 0;
    GetNumber(item, L"errorCode", &code);
    VARIANT description;
    if (FAILED(Get(item, L"errorDescription", VT_BSTR, &description))) {
        description.vt = VT_BSTR;
        description.bstrVal = nullptr;
    }
    item->Release();
    Notify(WM_PLAYER_ERROR, static_cast<WPARAM>(static_cast<DWORD>(code)),
           reinterpret_cast<LPARAM>(description.bstrVal));
    VariantClear(&description);   // after the owner had it
}

LRESULT CALLBACK CWmpOCX::MouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    PlayerHookRegistry& registry = WmpHookRegistry();
    HHOOK next = registry.HookOfThread(GetCurrentThreadId());
    auto mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    if (code < 0 || !mouse ||
        (wParam != WM_MOUSEMOVE && wParam != WM_LBUTTONDOWN && wParam != WM_LBUTTONDBLCLK))
        return CallNextHookEx(next, code, wParam, lParam);

    // The window and its ancestors, gathered before the registry's lock.
    std::set<HWND> chain;
    for (HWND window = mouse->hwnd; window && IsWindow(window); window = GetParent(window))
        chain.insert(window);
    bool kxWindow = ClassBeginsWithKx(mouse->hwnd);
    POINT cursor = {0, 0};
    bool haveCursor = wParam == WM_MOUSEMOVE && GetCursorPos(&cursor);

    bool swallow = false;
    auto act = [&](PlayerHookEntry& entry, bool fullScreen) {
        if (wParam == WM_MOUSEMOVE) {
            if (haveCursor)
                entry.cursorPoint = cursor;
        } else if (wParam == WM_LBUTTONDOWN) {
            if (fullScreen && !kxWindow) {
                DWORD now = timeGetTime();
                if (now - entry.lastClickTime < kClickPairMs) {
                    entry.toggleRequest = 1;
                    entry.lastClickTime = 0;
                } else {
                    entry.lastClickTime = now;
                }
                swallow = true;
            }
        } else if (!fullScreen || !kxWindow) {   // WM_LBUTTONDBLCLK
            entry.toggleRequest = 1;
            swallow = true;
        }
    };
    bool found = registry.Update(mouse->hwnd, [&](PlayerHookEntry& entry) { act(entry, false); });
    if (!found) {
        registry.Update([&](HWND, PlayerHookEntry& entry) {
            if (found)
                return;
            if (chain.count(entry.videoWindow)) {
                found = true;
                act(entry, false);
            } else if (entry.host && static_cast<CWmpOCX*>(entry.host)->m_fullScreen) {
                found = true;
                act(entry, true);
            }
        });
    }
    if (swallow)
        return 1;
    return CallNextHookEx(next, code, wParam, lParam);
}
