#include "platform/standins/WmpControl.h"

#include <wmp.h>
#include <wmpids.h>

#include <cwchar>

#include "platform/axhost/PublishedIds.h"

namespace standins {

namespace {

// Members of the player and of the objects it hands out (all itself).
enum WmpMember : DISPID {
    WMP_URL = 1,
    WMP_CLOSE,
    WMP_CONTROLS,
    WMP_SETTINGS,
    WMP_NETWORK,
    WMP_ERROR,
    WMP_CURRENT_ITEM,
    WMP_FULL_SCREEN,
    WMP_UI_MODE,
    WMP_ENABLE_CONTEXT_MENU,
    WMP_STRETCH_TO_FIT,
    WMP_WINDOWLESS_VIDEO,
    WMP_OPEN_STATE,
    WMP_PLAY_STATE,
    WMP_PLAY,           // controls
    WMP_PAUSE,
    WMP_STOP,
    WMP_CURRENT_POSITION,
    WMP_VOLUME,         // settings
    WMP_MUTE,
    WMP_AUTO_START,
    WMP_ENABLE_ERROR_DIALOGS,
    WMP_BUFFERING_TIME,     // network
    WMP_BUFFERING_PROGRESS,
    WMP_DURATION,       // media
    WMP_IMAGE_WIDTH,
    WMP_IMAGE_HEIGHT,
    WMP_SOURCE_URL,
    WMP_ITEM,           // error
    WMP_ERROR_CODE,
    WMP_ERROR_DESCRIPTION,
};

const Member kMembers[] = {
    {L"URL", WMP_URL},
    {L"close", WMP_CLOSE},
    {L"controls", WMP_CONTROLS},
    {L"settings", WMP_SETTINGS},
    {L"network", WMP_NETWORK},
    {L"error", WMP_ERROR},
    {L"currentMedia", WMP_CURRENT_ITEM},
    {L"currentItem", WMP_CURRENT_ITEM},
    {L"fullScreen", WMP_FULL_SCREEN},
    {L"uiMode", WMP_UI_MODE},
    {L"enableContextMenu", WMP_ENABLE_CONTEXT_MENU},
    {L"stretchToFit", WMP_STRETCH_TO_FIT},
    {L"windowlessVideo", WMP_WINDOWLESS_VIDEO},
    {L"openState", WMP_OPEN_STATE},
    {L"playState", WMP_PLAY_STATE},
    {L"play", WMP_PLAY},
    {L"pause", WMP_PAUSE},
    {L"stop", WMP_STOP},
    {L"currentPosition", WMP_CURRENT_POSITION},
    {L"volume", WMP_VOLUME},
    {L"mute", WMP_MUTE},
    {L"autoStart", WMP_AUTO_START},
    {L"enableErrorDialogs", WMP_ENABLE_ERROR_DIALOGS},
    {L"bufferingTime", WMP_BUFFERING_TIME},
    {L"bufferingProgress", WMP_BUFFERING_PROGRESS},
    {L"duration", WMP_DURATION},
    {L"imageSourceWidth", WMP_IMAGE_WIDTH},
    {L"imageSourceHeight", WMP_IMAGE_HEIGHT},
    {L"sourceURL", WMP_SOURCE_URL},
    {L"item", WMP_ITEM},
    {L"errorCode", WMP_ERROR_CODE},
    {L"errorDescription", WMP_ERROR_DESCRIPTION},
};

const CStandinControl::Description kDescription = {
    __uuidof(WindowsMediaPlayer), CWmpControl::kName, kMembers, sizeof kMembers / sizeof kMembers[0],
    __uuidof(_WMPOCXEvents), L"WMPVideoWindow"};

const wchar_t kFullScreenClass[] = L"TovraStandinFullScreen";

// Open and play states as the player reports them.
const long kOpenConnecting = 10;
const long kOpenMediaOpen = 13;
const long kPlayStopped = 1;
const long kPlayPaused = 2;
const long kPlayPlaying = 3;
const long kPlayBuffering = 6;
const long kPlayMediaEnded = 8;

VARIANT ShortArg(long value)
{
    VARIANT out;
    VariantInit(&out);
    out.vt = VT_I2;
    out.iVal = static_cast<SHORT>(value);
    return out;
}

bool ArgBool(const CallArgs& args)
{
    return args.Long(0) != 0;
}

long ShiftState(WPARAM keys)
{
    return (keys & MK_SHIFT ? 1 : 0) | (keys & MK_CONTROL ? 2 : 0);
}

long KeyShiftState()
{
    return (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
           (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

}  // namespace

const wchar_t CWmpControl::kName[] = L"WMP";

CWmpControl::CWmpControl() : CStandinControl(kDescription) {}

CWmpControl::~CWmpControl()
{
    reader_.Stop();
    SetFullScreen(false);
}

void* CWmpControl::QueryExtra(REFIID iid)
{
    if (IsEqualIID(iid, __uuidof(IWMPControls)) && KnobSet(L"NO_WMPCONTROLS"))
        return nullptr;
    if (IsEqualIID(iid, __uuidof(IWMPPlayer)) || IsEqualIID(iid, __uuidof(IWMPCore)) ||
        IsEqualIID(iid, IID_IWMPPlayer2) || IsEqualIID(iid, __uuidof(IWMPControls)) ||
        IsEqualIID(iid, __uuidof(IWMPSettings)))
        return static_cast<IDispatch*>(this);   // only the dispatch slots are ours
    return nullptr;
}

HRESULT CWmpControl::Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result)
{
    switch (id) {
    case WMP_PLAY:
        if (url_.empty())
            return E_FAIL;
        if (playState_ == kPlayPaused) {   // the stream went on meanwhile
            FirePlayState(kPlayPlaying);
            return S_OK;
        }
        if (playState_ != kPlayPlaying && playState_ != kPlayBuffering) {
            if (openState_ == 0) {   // stopped: connect again
                StartReader();
                FireOpenState(kOpenConnecting);
            }
            FirePlayState(kPlayBuffering);
            reader_.Play();
        }
        return S_OK;
    case WMP_PAUSE:
        if (playState_ != kPlayPlaying)
            return S_OK;
        pausedAt_ = reader_.PositionSeconds();
        FirePlayState(kPlayPaused);
        return S_OK;
    case WMP_STOP:
        reader_.Stop();
        openState_ = 0;
        if (playState_ != kPlayStopped && playState_ != 0)
            FirePlayState(kPlayStopped);
        return S_OK;
    case WMP_CLOSE:
        reader_.Stop();
        openState_ = 0;
        playState_ = 0;
        SetFullScreen(false);
        return S_OK;
    case WMP_CONTROLS:
    case WMP_SETTINGS:
    case WMP_NETWORK:
    case WMP_ERROR:
    case WMP_CURRENT_ITEM:
    case WMP_ITEM:
        if (result) {
            result->vt = VT_DISPATCH;
            result->pdispVal = static_cast<IDispatch*>(this);
            AddRef();
        }
        return S_OK;
    default:
        return Property(id, flags, args, result);
    }
}

HRESULT CWmpControl::Property(DISPID id, WORD flags, const CallArgs& args, VARIANT* result)
{
    bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    if (put && args.Count() < 1)
        return DISP_E_BADPARAMCOUNT;
    switch (id) {
    case WMP_URL:
        if (!put) {
            ReturnText(result, url_);
            return S_OK;
        }
        if (!VideoWindow())
            return E_UNEXPECTED;   // not active
        url_ = args.Text(0);
        reader_.Stop();
        playState_ = 0;
        openState_ = 0;
        if (!StartReader())
            return E_INVALIDARG;
        FireOpenState(kOpenConnecting);
        return S_OK;
    case WMP_FULL_SCREEN:
        if (!put) {
            ReturnBool(result, fullScreen_);
            return S_OK;
        }
        if (ArgBool(args) && playState_ != kPlayPlaying && playState_ != kPlayPaused)
            return E_FAIL;   // nothing to show
        SetFullScreen(ArgBool(args));
        return S_OK;
    case WMP_CURRENT_POSITION:
        if (put)
            return S_OK;   // a live stream cannot seek
        ReturnDouble(result, playState_ == kPlayPaused ? pausedAt_ : reader_.PositionSeconds());
        return S_OK;
    case WMP_OPEN_STATE:
        ReturnLong(result, openState_);
        return S_OK;
    case WMP_PLAY_STATE:
        ReturnLong(result, playState_);
        return S_OK;
    case WMP_BUFFERING_PROGRESS:
        ReturnLong(result, playState_ == kPlayPlaying || playState_ == kPlayPaused ? 100 : 0);
        return S_OK;
    case WMP_DURATION:
        ReturnDouble(result, reader_.DurationSeconds());
        return S_OK;
    case WMP_IMAGE_WIDTH:
        ReturnLong(result, reader_.VideoWidth());
        return S_OK;
    case WMP_IMAGE_HEIGHT:
        ReturnLong(result, reader_.VideoHeight());
        return S_OK;
    case WMP_SOURCE_URL:
        ReturnText(result, url_);
        return S_OK;
    case WMP_ERROR_CODE:
        ReturnLong(result, reader_.ErrorCode());
        return S_OK;
    case WMP_ERROR_DESCRIPTION:
        ReturnText(result, reader_.ErrorText());
        return S_OK;
    default:
        break;
    }
    // Plain stored settings.
    struct Stored {
        DISPID id;
        bool* flag;
        long* number;
    };
    const Stored stored[] = {
        {WMP_ENABLE_CONTEXT_MENU, &contextMenu_, nullptr}, {WMP_STRETCH_TO_FIT, &stretchToFit_, nullptr},
        {WMP_WINDOWLESS_VIDEO, &windowlessVideo_, nullptr}, {WMP_MUTE, &mute_, nullptr},
        {WMP_AUTO_START, &autoStart_, nullptr},          {WMP_ENABLE_ERROR_DIALOGS, &errorDialogs_, nullptr},
        {WMP_VOLUME, nullptr, &volume_},                  {WMP_BUFFERING_TIME, nullptr, &bufferingTime_},
    };
    for (const Stored& s : stored) {
        if (s.id != id)
            continue;
        if (s.flag) {
            if (put)
                *s.flag = ArgBool(args);
            else
                ReturnBool(result, *s.flag);
        } else {
            if (put)
                *s.number = args.Long(0);
            else
                ReturnLong(result, *s.number);
        }
        return S_OK;
    }
    if (id == WMP_UI_MODE) {
        if (put)
            uiMode_ = args.Text(0);
        else
            ReturnText(result, uiMode_);
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

bool CWmpControl::StartReader()
{
    reader_.DamageDataPacket(std::wcstol(KnobText(L"WMP_DAMAGE_AT").c_str(), nullptr, 10));
    return reader_.Start(url_, VideoWindow());
}

void CWmpControl::FirePlayState(long state)
{
    playState_ = state;
    Fire(DISPID_WMPCOREEVENT_PLAYSTATECHANGE, {LongArg(state)});
}

void CWmpControl::FireOpenState(long state)
{
    openState_ = state;
    Fire(DISPID_WMPCOREEVENT_OPENSTATECHANGE, {LongArg(state)});
}

void CWmpControl::FireMouse(DISPID id, UINT message, WPARAM wParam, LPARAM lParam)
{
    long button = 0;
    switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: button = 1; break;
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: button = 2; break;
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: button = 4; break;
    default:   // a move: the buttons held
        button = (wParam & MK_LBUTTON ? 1 : 0) | (wParam & MK_RBUTTON ? 2 : 0) | (wParam & MK_MBUTTON ? 4 : 0);
        break;
    }
    Fire(id, {ShortArg(button), ShortArg(ShiftState(wParam)), LongArg(static_cast<short>(LOWORD(lParam))),
              LongArg(static_cast<short>(HIWORD(lParam)))});
}

LRESULT CWmpControl::VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case CWmspReader::kHeaderMessage:
        FireOpenState(kOpenMediaOpen);
        return 0;
    case CWmspReader::kPlayingMessage:
        if (playState_ == kPlayBuffering)
            FirePlayState(kPlayPlaying);
        return 0;
    case CWmspReader::kFailedMessage:
        Log(L"error " + std::to_wstring(reader_.ErrorCode()) + L" " + reader_.ErrorText());
        Fire(DISPID_WMPCOREEVENT_ERROR, {});
        return 0;
    case CWmspReader::kEndedMessage:
        FirePlayState(kPlayMediaEnded);
        return 0;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
        FireMouse(DISPID_WMPOCXEVENT_MOUSEDOWN, message, wParam, lParam);
        return 0;
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
        FireMouse(DISPID_WMPOCXEVENT_MOUSEUP, message, wParam, lParam);
        FireMouse(DISPID_WMPOCXEVENT_CLICK, message, wParam, lParam);
        return 0;
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
        FireMouse(DISPID_WMPOCXEVENT_DOUBLECLICK, message, wParam, lParam);
        return 0;
    case WM_MOUSEMOVE:
        FireMouse(DISPID_WMPOCXEVENT_MOUSEMOVE, message, wParam, lParam);
        return 0;
    case WM_KEYDOWN:
        Fire(DISPID_WMPOCXEVENT_KEYDOWN, {ShortArg(static_cast<long>(wParam)), ShortArg(KeyShiftState())});
        return 0;
    case WM_KEYUP:
        Fire(DISPID_WMPOCXEVENT_KEYUP, {ShortArg(static_cast<long>(wParam)), ShortArg(KeyShiftState())});
        return 0;
    case WM_CHAR:
        Fire(DISPID_WMPOCXEVENT_KEYPRESS, {ShortArg(static_cast<long>(wParam))});
        return 0;
    default:
        return CStandinControl::VideoMessage(window, message, wParam, lParam);
    }
}

// Full screen shows the video in a popup over the whole screen, on the
// control's thread; its mouse input raises the same events.
void CWmpControl::SetFullScreen(bool on)
{
    fullScreen_ = on;
    if (!on) {
        if (fullScreenWindow_)
            DestroyWindow(fullScreenWindow_);
        fullScreenWindow_ = nullptr;
        return;
    }
    if (fullScreenWindow_)
        return;
    // No double clicks: two quick clicks come as two button-downs.
    EnsureWindowClass(kFullScreenClass, 0, FullScreenProc);
    fullScreenWindow_ = CreateWindowExW(WS_EX_TOPMOST, kFullScreenClass, L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                        nullptr, nullptr, com::ModuleInstance(), this);
    Log(fullScreenWindow_ ? L"full screen shown" : L"full screen failed");
}

LRESULT CALLBACK CWmpControl::FullScreenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto control = reinterpret_cast<CWmpControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY)
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (control && ((message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_KEYDOWN ||
                    message == WM_KEYUP || message == WM_CHAR))
        return control->VideoMessage(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace standins
