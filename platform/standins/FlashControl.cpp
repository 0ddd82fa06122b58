#include "platform/standins/FlashControl.h"

#include "platform/axhost/PublishedIds.h"
#include "platform/standins/MovieFetch.h"

namespace standins {

namespace {

enum FlashMember : DISPID {
    FLASH_MOVIE = 1,
    FLASH_PLAY,
    FLASH_STOP,
    FLASH_GOTOFRAME,
    FLASH_CURRENTFRAME,
    FLASH_TOTALFRAMES,
    FLASH_PERCENTLOADED,
    FLASH_LOOP,
    FLASH_MENU,
    FLASH_BACKGROUNDCOLOR,
    FLASH_FLASHVERSION,
    FLASH_ALLOWSCRIPTACCESS,
    FLASH_ALLOWFULLSCREEN,
    FLASH_BGCOLOR,
    FLASH_SETVARIABLE,
    FLASH_GETVARIABLE,
    FLASH_READYSTATE,
};

const Member kMembers[] = {
    {L"Movie", FLASH_MOVIE},
    {L"Play", FLASH_PLAY},
    {L"Stop", FLASH_STOP},
    {L"GotoFrame", FLASH_GOTOFRAME},
    {L"CurrentFrame", FLASH_CURRENTFRAME},
    {L"TotalFrames", FLASH_TOTALFRAMES},
    {L"PercentLoaded", FLASH_PERCENTLOADED},
    {L"Loop", FLASH_LOOP},
    {L"Menu", FLASH_MENU},
    {L"BackgroundColor", FLASH_BACKGROUNDCOLOR},
    {L"FlashVersion", FLASH_FLASHVERSION},
    {L"AllowScriptAccess", FLASH_ALLOWSCRIPTACCESS},
    {L"AllowFullScreen", FLASH_ALLOWFULLSCREEN},
    {L"BGColor", FLASH_BGCOLOR},
    {L"SetVariable", FLASH_SETVARIABLE},
    {L"GetVariable", FLASH_GETVARIABLE},
    {L"ReadyState", FLASH_READYSTATE},
};

const wchar_t kVideoClass[] = L"MacromediaFlashPlayerActiveX";

const CStandinControl::Description kDescription = {
    CLSID_ShockwaveFlash, CFlashControl::kName, kMembers, sizeof kMembers / sizeof kMembers[0],
    DIID_IShockwaveFlashEvents, kVideoClass};

const UINT WM_MEDIA_STATE = WM_APP + 1;

bool EndsWith(const std::wstring& text, const wchar_t* end)
{
    const size_t length = wcslen(end);
    return text.size() >= length && _wcsicmp(text.c_str() + text.size() - length, end) == 0;
}

}  // namespace

const wchar_t CFlashControl::kName[] = L"Flash";

CFlashControl::CFlashControl() : CStandinControl(kDescription)
{
    variables_ = {{L"mediaURL", L""},       {L"rvFullscreen", L"0"}, {L"mediaStateChanged", L"0"},
                  {L"rvVolume", L"100"},    {L"rvSetMute", L"0"},    {L"rvPosition", L"0"},
                  {L"rvDuration", L"0"},    {L"rvNewState", L""}};
}

CFlashControl::~CFlashControl()
{
    playback_.reset();
}

void CFlashControl::DestroyControlWindow()
{
    playback_.reset();
    if (fullScreenWindow_)
        DestroyWindow(fullScreenWindow_);
    fullScreenWindow_ = nullptr;
    CStandinControl::DestroyControlWindow();
}

void* CFlashControl::QueryExtra(REFIID iid)
{
    // The dual interface: its dispatch half is all the hosts use.
    return IsEqualIID(iid, IID_IShockwaveFlash) ? static_cast<IDispatch*>(this) : nullptr;
}

bool CFlashControl::FlvMode() const
{
    return EndsWith(movie_, L"flvplayer2.swf");
}

std::wstring CFlashControl::Variable(const std::wstring& name)
{
    std::lock_guard<std::mutex> hold(lock_);
    return variables_[name];
}

void CFlashControl::Put(const std::wstring& name, const std::wstring& value)
{
    std::lock_guard<std::mutex> hold(lock_);
    variables_[name] = value;
}

void CFlashControl::LoadMovie()
{
    playback_.reset();
    readyState_ = 0;
    Log(L"movie read " + FetchMovie(movie_));
    Fire(FLASH_EVENT_READYSTATECHANGE, {LongArg(0)});
    // TOVRA_STANDIN_FLASH_HOLD_READY: the movie never finishes loading, and
    // a test raises the ready states itself.
    if (!KnobSet(L"FLASH_HOLD_READY"))
        Loaded();
}

void CFlashControl::Loaded()
{
    Fire(FLASH_EVENT_PROGRESS, {LongArg(37)});
    readyState_ = 3;
    Fire(FLASH_EVENT_READYSTATECHANGE, {LongArg(3)});
    Fire(FLASH_EVENT_PROGRESS, {LongArg(100)});
    readyState_ = 4;
    Fire(FLASH_EVENT_READYSTATECHANGE, {LongArg(4)});
}

HRESULT CFlashControl::Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result)
{
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    switch (id) {
    case FLASH_MOVIE:
        if (!put) {
            ReturnText(result, movie_);
            return S_OK;
        }
        movie_ = args.Text(0);
        LoadMovie();
        return S_OK;
    case FLASH_PLAY:
    case FLASH_STOP:
    case FLASH_GOTOFRAME:
        return S_OK;
    case FLASH_CURRENTFRAME:
        ReturnLong(result, 0);
        return S_OK;
    case FLASH_TOTALFRAMES:
        ReturnLong(result, 1);
        return S_OK;
    case FLASH_PERCENTLOADED:
        ReturnLong(result, readyState_ >= 3 ? 100 : 0);
        return S_OK;
    case FLASH_LOOP:
    case FLASH_MENU:
        if (put)
            (id == FLASH_LOOP ? loop_ : menu_) = args.Long(0) != 0;
        else if (result) {
            result->vt = VT_BOOL;
            result->boolVal = (id == FLASH_LOOP ? loop_ : menu_) ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return S_OK;
    case FLASH_BACKGROUNDCOLOR:
    case FLASH_ALLOWSCRIPTACCESS:
    case FLASH_ALLOWFULLSCREEN:
    case FLASH_BGCOLOR:
        return put ? S_OK : DISP_E_MEMBERNOTFOUND;
    case FLASH_FLASHVERSION: {
        // A major version, or the whole value in hexadecimal ("0x7FFF8").
        const std::wstring knob = KnobText(L"FLASH_VERSION");
        if (knob.compare(0, 2, L"0x") == 0)
            ReturnLong(result, static_cast<long>(wcstoul(knob.c_str() + 2, nullptr, 16)));
        else
            ReturnLong(result, (knob.empty() ? 10 : _wtol(knob.c_str())) * 65536);
        return S_OK;
    }
    case FLASH_SETVARIABLE:
        return args.Count() == 2 ? SetVariable(args.Text(0), args.Text(1)) : DISP_E_BADPARAMCOUNT;
    case FLASH_GETVARIABLE:
        return args.Count() == 1 ? GetVariable(args.Text(0), result) : DISP_E_BADPARAMCOUNT;
    case FLASH_READYSTATE:
        ReturnLong(result, readyState_);
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT CFlashControl::GetVariable(const std::wstring& name, VARIANT* result)
{
    if (!FlvMode())
        return E_FAIL;
    std::lock_guard<std::mutex> hold(lock_);
    auto found = variables_.find(name);
    if (found == variables_.end())
        return E_FAIL;
    ReturnText(result, found->second);
    return S_OK;
}

HRESULT CFlashControl::SetVariable(const std::wstring& name, const std::wstring& value)
{
    if (!FlvMode())
        return S_OK;   // a movie without the variable ignores it
    Put(name, value);
    if (value == L"1" && name.compare(0, 5, L"media") == 0)
        Act(name);
    else if (name == L"mediaStateChanged" && value == L"0" && playback_)
        playback_->StateTaken(Variable(L"rvNewState"));
    return S_OK;
}

// A trigger of the player movie: acts on the request variables.
void CFlashControl::Act(const std::wstring& trigger)
{
    if (trigger == L"mediaPlay") {
        const std::wstring url = Variable(L"mediaURL");
        if (playback_ && playback_->Running() && playback_->Url() == url) {
            playback_->Resume();
        } else if (!url.empty()) {
            HWND notify = VideoWindow();
            playback_.reset(new FlvPlayback(
                [this, notify](const std::wstring& state) {
                    {
                        std::lock_guard<std::mutex> hold(lock_);
                        variables_[L"rvNewState"] = state;
                        variables_[L"mediaStateChanged"] = L"1";
                    }
                    if (notify)
                        PostMessageW(notify, WM_MEDIA_STATE, 0, 0);
                },
                [this](const std::wstring& line) { Log(line); }));
            playback_->HoldSeekingUntilTaken(KnobSet(L"FLASH_HOLD_SEEKING"));
            playback_->Start(url);
        }
    } else if (trigger == L"mediaPause") {
        if (playback_)
            playback_->Pause();
    } else if (trigger == L"mediaStop") {
        if (playback_)
            playback_->Stop();
    } else if (trigger == L"mediaSeek") {
        if (playback_)
            playback_->Seek(_wtol(Variable(L"rvSeek").c_str()));
    } else if (trigger == L"mediaPosition") {
        Put(L"rvPosition", std::to_wstring(playback_ ? playback_->State().positionSeconds : 0));
    } else if (trigger == L"mediaDuration") {
        Put(L"rvDuration", std::to_wstring(playback_ ? playback_->State().durationSeconds : 0));
    } else if (trigger == L"mediaFullscreen") {
        fullScreenPending_ = true;
    }
    // mediaVolume, mediaMute and mediaSize: the request variables are the state.
}

void CFlashControl::ToggleFullScreen()
{
    fullScreenPending_ = false;
    if (fullScreenWindow_) {
        HWND window = fullScreenWindow_;
        fullScreenWindow_ = nullptr;
        DestroyWindow(window);
        Put(L"rvFullscreen", L"0");
        Log(L"full screen left");
        return;
    }
    fullScreenWindow_ = CreateWindowExW(WS_EX_TOPMOST, kVideoClass, L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                        GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                        com::ModuleInstance(), nullptr);
    if (fullScreenWindow_) {
        SetWindowLongPtrW(fullScreenWindow_, GWLP_USERDATA,
                          GetWindowLongPtrW(VideoWindow(), GWLP_USERDATA));
        Put(L"rvFullscreen", L"1");
        Log(L"full screen entered");
    }
}

LRESULT CFlashControl::VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MEDIA_STATE:
        return 0;   // only wakes the loop: the host polls the state
    case WM_LBUTTONDOWN:
        if (fullScreenPending_)
            ToggleFullScreen();
        return 0;
    case WM_RBUTTONUP:
        if (FlvMode())
            Fire(FLASH_EVENT_FSCOMMAND, {TextArg(L"ShowMenu"), TextArg(L"")});
        return 0;
    case WM_NCDESTROY:
        if (window == fullScreenWindow_)
            fullScreenWindow_ = nullptr;
        break;
    }
    return CStandinControl::VideoMessage(window, message, wParam, lParam);
}

}  // namespace standins
