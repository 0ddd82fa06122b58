#include "players/hosts/FlvOCX.h"

#include <cwchar>

#include "platform/axhost/AxHost.h"
#include "platform/axhost/PublishedIds.h"
#include "players/PlayerKind.h"
#include "players/PlayerSelector.h"
#include "players/hooks/PlayerHookRegistry.h"
#include "players/hosts/DispatchByName.h"

namespace {

const axhost::EventEntry kFlvEvents[] = {
    {FLASH_EVENT_FSCOMMAND, 2},
    {FLASH_EVENT_READYSTATECHANGE, 1},
    {FLASH_EVENT_PROGRESS, 1},
    {FLASH_EVENT_FLASHCALL, 1},
};

// The player movie until the control's FlvPlayer property names another.
const wchar_t kDefaultMovie[] = L"http://127.0.0.1/flvplayer2.swf";

// The movie's play states and the owner's.
const struct {
    const wchar_t* text;
    WPARAM state;
} kStates[] = {
    {L"stopped", PLAYSTATE_STOPPED}, {L"paused", PLAYSTATE_PAUSED},
    {L"buffering", PLAYSTATE_BUFFERING}, {L"seeking", PLAYSTATE_SEEKING},
    {L"playing", PLAYSTATE_PLAYING},
};

// Sends the three clicks a Flash movie takes as the user's input.
void ClickCentre(HWND target)
{
    RECT box;
    if (!GetWindowRect(target, &box))
        return;
    const LPARAM centre = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    SendMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, centre);
    SendMessageW(target, WM_LBUTTONUP, 0, centre);
    SendMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, centre);
}

}  // namespace

CFlvOCX::CFlvOCX(CPlayerSelector* selector)
    : CAdvisedAxHost(kFlvEvents, sizeof kFlvEvents / sizeof kFlvEvents[0],
                     DIID_IShockwaveFlashEvents),
      m_selector(selector),
      m_movie(kDefaultMovie)
{
}

CFlvOCX::~CFlvOCX()
{
    FlvHookRegistry().Unregister(m_hwnd);
}

int CFlvOCX::Create(const wchar_t*, DWORD style, const RECT& rect, HWND parent, UINT)
{
    if (!CreateControl(CLSID_ShockwaveFlash, IID_IShockwaveFlash,
                       style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, rect, parent, 0))
        return 0;

    HRESULT hr = dispatch::Put(m_control, L"Menu", dispatch::Bool(false));
    if (SUCCEEDED(hr)) {
        // The version's major part, divided as the player has always done.
        VARIANT version;
        long value = 0;
        hr = dispatch::Call(m_control, L"FlashVersion", {}, &version);
        if (SUCCEEDED(hr) && (!dispatch::TakeLong(version, &value) || value / 65535 <= 7))
            hr = E_FAIL;
    }
    if (SUCCEEDED(hr))
        hr = dispatch::Put(m_control, L"AllowScriptAccess", dispatch::Text(L"always"));
    DISPID allowFullScreen = DISPID_UNKNOWN;
    if (SUCCEEDED(hr) && SUCCEEDED(dispatch::IdOf(m_control, L"AllowFullScreen", &allowFullScreen)))
        hr = dispatch::Put(m_control, L"AllowFullScreen", dispatch::Bool(true));
    if (SUCCEEDED(hr))
        hr = dispatch::Put(m_control, L"BGColor", dispatch::Text(L"#000000"));
    if (SUCCEEDED(hr))
        hr = dispatch::Put(m_control, L"Movie", dispatch::Text(m_movie.c_str()));
    if (SUCCEEDED(hr))
        hr = dispatch::Call(m_control, L"Play", {});
    if (FAILED(hr)) {
        Destroy();
        return 0;
    }
    return 1;
}

void CFlvOCX::OnDestroy()
{
    FlvHookRegistry().Unregister(m_hwnd);
    m_ready = 0;
}

HRESULT CFlvOCX::SetVariable(const wchar_t* name, const wchar_t* value)
{
    return dispatch::Call(m_control, L"SetVariable",
                          {dispatch::Text(name), dispatch::Text(value)});
}

HRESULT CFlvOCX::GetVariable(const wchar_t* name, std::wstring* value)
{
    VARIANT result;
    HRESULT hr = dispatch::Call(m_control, L"GetVariable", {dispatch::Text(name)}, &result);
    value->clear();
    if (SUCCEEDED(hr) && !dispatch::TakeText(result, value))
        hr = DISP_E_TYPEMISMATCH;
    return hr;
}

HRESULT CFlvOCX::LoadMovie()
{
    m_ready = 0;
    HRESULT hr = dispatch::Put(m_control, L"Movie", dispatch::Text(m_movie.c_str()));
    if (FAILED(hr))
        return hr;
    return dispatch::Call(m_control, L"Play", {});
}

HRESULT CFlvOCX::SetMovieUrl(const wchar_t* movie)
{
    m_movie = movie ? movie : L"";
    if (!m_hwnd || !m_control)
        return S_OK;
    VARIANT current;
    std::wstring loaded;
    if (SUCCEEDED(dispatch::Get(m_control, L"Movie", &current)))
        dispatch::TakeText(current, &loaded);
    if (_wcsicmp(loaded.c_str(), m_movie.c_str()) != 0)
        dispatch::Call(m_control, L"Stop", {});
    else if (m_ready)
        return S_OK;
    return LoadMovie();
}

HRESULT CFlvOCX::Open(const wchar_t* address)
{
    if (!m_ready)
        return E_FAIL;
    SetLoop(false);
    SetVariable(L"mediaURL", address ? address : L"");
    return S_OK;
}

HRESULT CFlvOCX::Play()
{
    if (!m_ready)
        return E_FAIL;
    HRESULT hr = SetVariable(L"mediaPlay", L"1");
    FlvHookRegistry().Register(m_hwnd, this);
    return hr;
}

HRESULT CFlvOCX::Pause()
{
    return m_ready ? SetVariable(L"mediaPause", L"1") : E_FAIL;
}

HRESULT CFlvOCX::Stop()
{
    if (!m_ready)
        return E_FAIL;
    VARIANT_BOOL fullScreen = VARIANT_FALSE;
    if (SUCCEEDED(GetFullScreen(&fullScreen)) && fullScreen)
        SetFullScreen(VARIANT_FALSE);
    SetVariable(L"mediaURL", L"");
    HRESULT hr = SetVariable(L"mediaStop", L"1");
    FlvHookRegistry().Unregister(m_hwnd);
    return hr;
}

HRESULT CFlvOCX::Close()
{
    FlvHookRegistry().Unregister(m_hwnd);
    return S_OK;
}

HRESULT CFlvOCX::SetVolume(int volume)
{
    if (!m_ready)
        return E_FAIL;
    SetVariable(L"rvVolume", std::to_wstring(volume).c_str());
    return SetVariable(L"mediaVolume", L"1");
}

HRESULT CFlvOCX::GetVolume(int* volume)
{
    if (!m_ready)
        return E_FAIL;
    std::wstring text;
    HRESULT hr = GetVariable(L"rvVolume", &text);
    if (SUCCEEDED(hr) && volume)
        *volume = _wtoi(text.c_str());
    return hr;
}

HRESULT CFlvOCX::SetMute(int mute)
{
    if (!m_ready)
        return E_FAIL;
    SetVariable(L"rvSetMute", mute ? L"1" : L"0");
    HRESULT hr = SetVariable(L"mediaMute", L"1");
    VARIANT_BOOL muted;
    GetMute(&muted);
    if (!mute) {
        int volume = 0;
        if (SUCCEEDED(GetVolume(&volume)))
            SetVolume(volume);
    }
    return hr;
}

HRESULT CFlvOCX::GetMute(VARIANT_BOOL* mute)
{
    if (!m_ready)
        return E_FAIL;
    std::wstring text;
    HRESULT hr = GetVariable(L"rvSetMute", &text);
    if (SUCCEEDED(hr) && mute)
        *mute = _wcsicmp(text.c_str(), L"1") == 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
}

HRESULT CFlvOCX::GetFullScreen(VARIANT_BOOL* fullScreen)
{
    std::wstring text;
    HRESULT hr = GetVariable(L"rvFullscreen", &text);
    if (SUCCEEDED(hr) && fullScreen)
        *fullScreen = _wcsicmp(text.c_str(), L"0") == 0 ? VARIANT_FALSE : VARIANT_TRUE;
    return hr;
}

HRESULT CFlvOCX::SetFullScreen(VARIANT_BOOL fullScreen)
{
    if (!m_ready)
        return E_FAIL;
    HRESULT hr = SetVariable(L"mediaFullscreen", L"1");
    HWND target = nullptr;
    if (fullScreen) {
        target = GetWindow(m_hwnd, GW_CHILD);
    } else {
        POINT centre = {GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
        target = WindowFromPoint(centre);
        // Only the movie's own full-screen window is clicked: whatever else
        // lies at the centre of the screen (another program's window) never
        // gets a click from us.
        DWORD process = 0;
        if (target && (!GetWindowThreadProcessId(target, &process) ||
                       process != GetCurrentProcessId()))
            target = nullptr;
    }
    if (target)
        ClickCentre(target);
    return hr;
}

HRESULT CFlvOCX::SetOrgSize(int orgSize)
{
    if (!m_ready)
        return E_FAIL;
    SetVariable(L"rvOrgSize", orgSize ? L"1" : L"0");
    return SetVariable(L"mediaSize", L"1");
}

HRESULT CFlvOCX::Seek(long long target)
{
    if (!m_ready)
        return E_FAIL;
    const std::wstring text = std::to_wstring(target);
    SetVariable(L"rvPosition", text.c_str());
    SetVariable(L"rvSeek", text.c_str());
    return SetVariable(L"mediaSeek", L"1");
}

HRESULT CFlvOCX::PollState(int* position)
{
    if (!m_ready)
        return E_FAIL;
    SetVariable(L"mediaPosition", L"1");
    std::wstring text;
    HRESULT hr = GetVariable(L"rvPosition", &text);
    int out = _wtoi(text.c_str());
    std::wstring changed;
    if (SUCCEEDED(GetVariable(L"mediaStateChanged", &changed)) && changed == L"1") {
        std::wstring state;
        GetVariable(L"rvNewState", &state);
        for (const auto& known : kStates) {
            if (state != known.text)
                continue;
            if (known.state == PLAYSTATE_STOPPED)
                out = 0;
            m_selector->NotifyOwner(PLAYER_FLV, WM_PLAYER_PLAYSTATE, known.state, 0, true);
        }
        SetVariable(L"mediaStateChanged", L"0");
    }
    if (position)
        *position = out;
    return hr;
}

HRESULT CFlvOCX::GetPosition(double* position)
{
    int seconds = 0;
    HRESULT hr = PollState(&seconds);
    if (SUCCEEDED(hr) && position)
        *position = seconds;
    return hr;
}

HRESULT CFlvOCX::GetDuration(double* duration)
{
    if (!m_ready)
        return E_FAIL;
    SetVariable(L"mediaDuration", L"1");
    std::wstring text;
    HRESULT hr = GetVariable(L"rvDuration", &text);
    if (SUCCEEDED(hr) && duration)
        *duration = _wtoi(text.c_str());
    return hr;
}

HRESULT CFlvOCX::GetBufferingPercent(int* percent)
{
    VARIANT result;
    long value = 0;
    HRESULT hr = dispatch::Call(m_control, L"PercentLoaded", {}, &result);
    if (SUCCEEDED(hr) && !dispatch::TakeLong(result, &value))
        hr = DISP_E_TYPEMISMATCH;
    if (SUCCEEDED(hr) && percent)
        *percent = static_cast<int>(value);
    return hr;
}

HRESULT CFlvOCX::GetSourceUrl(BSTR* url)
{
    if (!url)
        return E_POINTER;
    *url = nullptr;
    VARIANT result;
    std::wstring movie;
    HRESULT hr = dispatch::Get(m_control, L"Movie", &result);
    if (SUCCEEDED(hr) && dispatch::TakeText(result, &movie)) {
        *url = SysAllocStringLen(movie.data(), static_cast<UINT>(movie.size()));
        if (!*url)
            hr = E_OUTOFMEMORY;
    }
    return hr;
}

HRESULT CFlvOCX::SetLoop(bool loop)
{
    return dispatch::Put(m_control, L"Loop", dispatch::Bool(loop));
}

HRESULT CFlvOCX::SetMenu(bool menu)
{
    return dispatch::Put(m_control, L"Menu", dispatch::Bool(menu));
}

int CFlvOCX::PollActivity(int* cursorMoved)
{
    if (!m_control)
        return 0;
    if (cursorMoved)
        *cursorMoved = 0;
    PlayerHookEntry entry;
    if (FlvHookRegistry().Find(m_hwnd, &entry)) {
        VARIANT_BOOL fullScreen = VARIANT_FALSE;
        const bool known = SUCCEEDED(GetFullScreen(&fullScreen));
        FlvHookRegistry().Update(m_hwnd, [&](PlayerHookEntry& e) {
            if (e.cursorPoint.x != e.lastReportedPoint.x || e.cursorPoint.y != e.lastReportedPoint.y) {
                if (cursorMoved)
                    *cursorMoved = 1;
                e.lastReportedPoint = e.cursorPoint;
            }
            if (known)
                e.fullScreen = fullScreen ? 1 : 0;
        });
        return 0;
    }
    VARIANT_BOOL fullScreen = VARIANT_FALSE;
    if (FAILED(GetFullScreen(&fullScreen)) || !fullScreen)
        return 0;
    std::wstring media;
    if (SUCCEEDED(GetVariable(L"mediaURL", &media)) && !media.empty())
        return 0;
    SetFullScreen(VARIANT_FALSE);
    return SUCCEEDED(GetFullScreen(&fullScreen)) && !fullScreen ? 1 : 0;
}

void CFlvOCX::OnEvent(DISPID id, const axhost::EventArgs& args)
{
    switch (id) {
    case FLASH_EVENT_FSCOMMAND:
        if (_wcsicmp(args.Text(0).c_str(), L"showmenu") == 0)
            m_selector->NotifyOwner(PLAYER_FLV, WM_PLAYER_DBLCLICK, 0, 0, true);
        break;
    case FLASH_EVENT_READYSTATECHANGE: {
        const long state = args.Long(0);
        if (state == 2 || state == 3)
            m_ready = 1;
        break;
    }
    case FLASH_EVENT_PROGRESS:
        m_selector->NotifyOwner(PLAYER_FLV, WM_PLAYER_PROGRESS, 0, args.Long(0), true);
        break;
    default:
        break;   // FlashCall
    }
}
