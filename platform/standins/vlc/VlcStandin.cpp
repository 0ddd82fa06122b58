#include "platform/standins/vlc/VlcStandin.h"

#include <memory>

#include "platform/axhost/PublishedIds.h"
#include "platform/standins/vlc/TsStreamReader.h"

namespace standins {

namespace {

enum ControlMember : DISPID {
    C_AUTO_PLAY = 1, C_AUTO_LOOP, C_VISIBLE, C_VOLUME, C_PLAY, C_PAUSE, C_STOP, C_PLAYING,
    C_START_TIME, C_PLAYLIST, C_INPUT, C_VIDEO, C_AUDIO,
    P_IS_PLAYING = 100, P_ITEM_COUNT, P_ADD, P_PLAY, P_PLAY_ITEM, P_TOGGLE_PAUSE, P_STOP, P_CLEAR,
    I_STATE = 200, I_TIME, I_LENGTH,
    V_FULLSCREEN = 300, V_WIDTH, V_HEIGHT,
    A_MUTE = 400, A_VOLUME,
};

// IVLCControl: the members the base dispatch answers.
const Member kMembers[] = {
    {L"AutoPlay", C_AUTO_PLAY}, {L"AutoLoop", C_AUTO_LOOP}, {L"Visible", C_VISIBLE},
    {L"Volume", C_VOLUME},      {L"play", C_PLAY},          {L"pause", C_PAUSE},
    {L"stop", C_STOP},          {L"Playing", C_PLAYING},
};

const Member kControl2Members[] = {
    {L"AutoPlay", C_AUTO_PLAY}, {L"AutoLoop", C_AUTO_LOOP}, {L"Visible", C_VISIBLE},
    {L"Volume", C_VOLUME},      {L"StartTime", C_START_TIME}, {L"playlist", C_PLAYLIST},
    {L"input", C_INPUT},        {L"video", C_VIDEO},        {L"audio", C_AUDIO},
};
const Member kPlaylistMembers[] = {
    {L"isPlaying", P_IS_PLAYING}, {L"itemCount", P_ITEM_COUNT}, {L"add", P_ADD},
    {L"play", P_PLAY},            {L"playItem", P_PLAY_ITEM},   {L"togglePause", P_TOGGLE_PAUSE},
    {L"stop", P_STOP},            {L"clear", P_CLEAR},
};
const Member kInputMembers[] = {{L"state", I_STATE}, {L"time", I_TIME}, {L"length", I_LENGTH}};
const Member kVideoMembers[] = {
    {L"fullscreen", V_FULLSCREEN}, {L"width", V_WIDTH}, {L"height", V_HEIGHT}};
const Member kAudioMembers[] = {{L"mute", A_MUTE}, {L"volume", A_VOLUME}};

struct PartTable {
    const wchar_t* name;
    const Member* members;
    size_t count;
};
const PartTable kParts[] = {
    {L"control2", kControl2Members, sizeof kControl2Members / sizeof kControl2Members[0]},
    {L"playlist", kPlaylistMembers, sizeof kPlaylistMembers / sizeof kPlaylistMembers[0]},
    {L"input", kInputMembers, sizeof kInputMembers / sizeof kInputMembers[0]},
    {L"video", kVideoMembers, sizeof kVideoMembers / sizeof kVideoMembers[0]},
    {L"audio", kAudioMembers, sizeof kAudioMembers / sizeof kAudioMembers[0]},
};

// The control's own window; the picture is its first child.
const CStandinControl::Description kDescription = {
    CLSID_VLCPlugin, CVlcStandin::kName, kMembers, sizeof kMembers / sizeof kMembers[0],
    DIID_DVLCEvents, L"TovraVlcStandinFrame"};

const wchar_t kPictureClass[] = L"VLC DirectX video";
const UINT_PTR kClockTimer = 1;
const UINT kClockMs = 100;

bool Put(WORD flags)
{
    return (flags & DISPATCH_PROPERTYPUT) != 0;
}

StreamPlayback::Feed TransportStreamFeed()
{
    auto reader = std::make_shared<ts::StreamReader>();
    return [reader](const std::uint8_t* data, std::size_t size, StreamFacts& facts) {
        ts::StreamReader::State state = reader->Feed(data, size);
        facts.bad = state == ts::StreamReader::State::Bad;
        facts.headers = facts.headers || state == ts::StreamReader::State::Packets;
        facts.bufferedMs = reader->ElapsedMs();
        facts.width = reader->Width();
        facts.height = reader->Height();
    };
}

}  // namespace

STDMETHODIMP CVlcPart::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IDispatch) ||
        (kind_ == CONTROL2 && IsEqualIID(iid, IID_IVLCControl2))) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    // One identity: everything else is the control's.
    return static_cast<IDispatch*>(owner_)->QueryInterface(iid, object);
}

STDMETHODIMP_(ULONG) CVlcPart::AddRef()
{
    return static_cast<IDispatch*>(owner_)->AddRef();
}

STDMETHODIMP_(ULONG) CVlcPart::Release()
{
    return static_cast<IDispatch*>(owner_)->Release();
}

STDMETHODIMP CVlcPart::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CVlcPart::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    if (!names || !ids || count != 1)
        return E_INVALIDARG;
    ids[0] = CVlcStandin::PartMember(kind_, names[0]);
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
}

STDMETHODIMP CVlcPart::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO*, UINT*)
{
    const DISPPARAMS* given = InvokeParams(params);
    if (!given)
        return E_INVALIDARG;
    if (result)
        VariantInit(result);
    return owner_->PartCall(kind_, id, flags, CallArgs(*given), result);
}

const wchar_t CVlcStandin::kName[] = L"VLC";

CVlcStandin::CVlcStandin() : CStandinControl(kDescription) {}

CVlcStandin::~CVlcStandin()
{
    playback_.Stop();
}

void* CVlcStandin::QueryExtra(REFIID iid)
{
    if (IsEqualIID(iid, IID_IVLCControl))
        return static_cast<IDispatch*>(this);
    if (IsEqualIID(iid, IID_IVLCControl2) && !KnobSet(L"NO_VLCCONTROL2"))
        return static_cast<IDispatch*>(&control2_);
    return nullptr;
}

DISPID CVlcStandin::PartMember(CVlcPart::Kind kind, const wchar_t* name)
{
    const PartTable& table = kParts[kind];
    for (size_t m = 0; m < table.count; ++m) {
        if (lstrcmpiW(name, table.members[m].name) == 0)
            return table.members[m].id;
    }
    return DISPID_UNKNOWN;
}

HWND CVlcStandin::CreateControlWindow(HWND parent, const RECT& position)
{
    HWND frame = CStandinControl::CreateControlWindow(parent, position);
    if (!frame)
        return nullptr;
    EnsureWindowClass(kPictureClass, CS_DBLCLKS, PictureProc);
    RECT client;
    GetClientRect(frame, &client);
    picture_ = CreateWindowExW(0, kPictureClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, client.right,
                               client.bottom, frame, nullptr, com::ModuleInstance(), this);
    Log(picture_ ? L"picture window created" : L"picture window failed");
    return frame;
}

LRESULT CALLBACK CVlcStandin::PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto control = reinterpret_cast<CVlcStandin*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (control && message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        control->picture_ = nullptr;
    } else if (control && message == WM_LBUTTONDBLCLK) {
        StreamFacts facts = control->playback_.Facts();
        if (facts.width > 0 && facts.height > 0) {
            control->fullScreen_ = !control->fullScreen_;
            control->Log(control->fullScreen_ ? L"double click: full screen" : L"double click: windowed");
        } else {
            control->Log(L"double click: no picture");
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CVlcStandin::VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == kClockTimer) {
        StreamPlayback::State state = playback_.Tick();
        if (state == StreamPlayback::State::Ended || state == StreamPlayback::State::Error)
            KillTimer(window, kClockTimer);
        return 0;
    }
    if (message == WM_SIZE && picture_)
        MoveWindow(picture_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
    return CStandinControl::VideoMessage(window, message, wParam, lParam);
}

bool CVlcStandin::IsPlaying() const
{
    StreamPlayback::State state = playback_.Current();
    return state == StreamPlayback::State::Connecting || state == StreamPlayback::State::Buffering ||
           state == StreamPlayback::State::Playing;
}

// libvlc's input states: idle, opening, buffering, playing, paused,
// stopping, ended, error.
int CVlcStandin::InputState() const
{
    switch (playback_.Current()) {
    case StreamPlayback::State::Idle: return 0;
    case StreamPlayback::State::Connecting: return 1;
    case StreamPlayback::State::Buffering: return 2;
    case StreamPlayback::State::Playing: return 3;
    case StreamPlayback::State::Paused: return 4;
    case StreamPlayback::State::Stopped: return 5;
    case StreamPlayback::State::Ended: return 6;
    default: return 7;
    }
}

HRESULT CVlcStandin::PlayItem(long item)
{
    if (item < 0 || static_cast<size_t>(item) >= items_.size())
        return E_INVALIDARG;
    if (!ControlWindow())
        return E_UNEXPECTED;
    current_ = item;
    playback_.Start(items_[item], TransportStreamFeed());
    SetTimer(ControlWindow(), kClockTimer, kClockMs, nullptr);
    return S_OK;
}

void CVlcStandin::Play()
{
    if (playback_.Resume()) {
        SetTimer(ControlWindow(), kClockTimer, kClockMs, nullptr);
        return;
    }
    if (!IsPlaying() && current_ >= 0)
        PlayItem(current_);
}

void CVlcStandin::Stop()
{
    if (ControlWindow())
        KillTimer(ControlWindow(), kClockTimer);
    if (playback_.Current() != StreamPlayback::State::Idle)
        playback_.Stop();
}

HRESULT CVlcStandin::Part(CVlcPart::Kind kind, VARIANT* result)
{
    CVlcPart* parts[] = {&control2_, &playlist_, &input_, &video_, &audio_};
    if (result) {
        result->vt = VT_DISPATCH;
        result->pdispVal = parts[kind];
        parts[kind]->AddRef();
    }
    return S_OK;
}

HRESULT CVlcStandin::Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result)
{
    switch (id) {
    case C_AUTO_PLAY:
        if (Put(flags))
            autoPlay_ = args.Long(0) != 0;
        ReturnBool(result, autoPlay_);
        return S_OK;
    case C_AUTO_LOOP:
        if (Put(flags))
            autoLoop_ = args.Long(0) != 0;
        ReturnBool(result, autoLoop_);
        return S_OK;
    case C_VISIBLE:
        if (Put(flags))
            visible_ = args.Long(0) != 0;
        ReturnBool(result, visible_);
        return S_OK;
    case C_VOLUME:
        if (Put(flags))
            volume_ = args.Long(0);
        ReturnLong(result, volume_);
        return S_OK;
    case C_PLAY: Play(); return S_OK;
    case C_PAUSE: playback_.Pause(); return S_OK;
    case C_STOP: Stop(); return S_OK;
    case C_PLAYING: ReturnBool(result, IsPlaying()); return S_OK;
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT CVlcStandin::PlaylistCall(DISPID id, const CallArgs& args, VARIANT* result)
{
    switch (id) {
    case P_IS_PLAYING: ReturnBool(result, IsPlaying()); return S_OK;
    case P_ITEM_COUNT: ReturnLong(result, static_cast<long>(items_.size())); return S_OK;
    case P_ADD:
        if (args.Count() < 1)
            return DISP_E_BADPARAMCOUNT;
        items_.push_back(args.Text(0));
        ReturnLong(result, static_cast<long>(items_.size() - 1));
        return S_OK;
    case P_PLAY: Play(); return S_OK;
    case P_PLAY_ITEM: return PlayItem(args.Long(0, -1));
    case P_TOGGLE_PAUSE:
        if (playback_.Current() == StreamPlayback::State::Paused)
            Play();
        else
            playback_.Pause();
        return S_OK;
    case P_STOP: Stop(); return S_OK;
    case P_CLEAR:
        Stop();
        items_.clear();
        current_ = -1;
        return S_OK;
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT CVlcStandin::PartCall(CVlcPart::Kind kind, DISPID id, WORD flags, const CallArgs& args,
                              VARIANT* result)
{
    const PartTable& table = kParts[kind];
    const wchar_t* member = L"?";
    for (size_t m = 0; m < table.count; ++m) {
        if (table.members[m].id == id)
            member = table.members[m].name;
    }
    Log(CallLine(std::wstring(table.name) + L"." + member, flags, args));

    StreamFacts facts = playback_.Facts();
    switch (id) {
    case C_START_TIME:
        if (Put(flags))
            startTime_ = args.Long(0);
        ReturnLong(result, startTime_);
        return S_OK;
    case C_PLAYLIST: return Part(CVlcPart::PLAYLIST, result);
    case C_INPUT: return Part(CVlcPart::INPUT, result);
    case C_VIDEO: return Part(CVlcPart::VIDEO, result);
    case C_AUDIO: return Part(CVlcPart::AUDIO, result);
    case I_STATE: ReturnLong(result, InputState()); return S_OK;
    case I_TIME:
        if (Put(flags)) {
            playback_.SetPositionMs(static_cast<std::uint32_t>(args.Long(0)));
            return S_OK;
        }
        ReturnDouble(result, playback_.PositionMs());
        return S_OK;
    case I_LENGTH:
        ReturnDouble(result, facts.lengthMs);
        return S_OK;
    case V_FULLSCREEN:
        if (Put(flags))
            fullScreen_ = args.Long(0) != 0;
        ReturnBool(result, fullScreen_);
        return S_OK;
    case V_WIDTH: ReturnLong(result, facts.width); return S_OK;
    case V_HEIGHT: ReturnLong(result, facts.height); return S_OK;
    case A_MUTE:
        if (Put(flags))
            mute_ = args.Long(0) != 0;
        ReturnBool(result, mute_);
        return S_OK;
    case A_VOLUME:
        if (Put(flags))
            volume_ = args.Long(0);
        ReturnLong(result, volume_);
        return S_OK;
    default:
        if (kind == CVlcPart::PLAYLIST)
            return PlaylistCall(id, args, result);
        return Call(id, flags, args, result);   // IVLCControl2 repeats IVLCControl's settings
    }
}

}  // namespace standins
