#include "platform/standins/real/RealStandin.h"

#include <windowsx.h>

#include <cwchar>
#include <memory>

#include "platform/axhost/PublishedIds.h"
#include "platform/standins/StandinKnobs.h"
#include "platform/standins/real/RmStreamReader.h"

namespace standins {

namespace {

enum RealMember : DISPID {
    M_SET_SOURCE = 1, M_GET_SOURCE, M_DO_PLAY, M_DO_PAUSE, M_DO_STOP, M_SET_VOLUME, M_GET_VOLUME,
    M_SET_MUTE, M_GET_MUTE, M_GET_FULLSCREEN, M_SET_FULLSCREEN, M_SET_ORIGINAL_SIZE,
    M_GET_POSITION, M_GET_LENGTH, M_SET_POSITION, M_GET_CLIP_WIDTH, M_GET_CLIP_HEIGHT,
    M_GET_BUFFERING_ELAPSED, M_GET_BUFFERING_REMAINING, M_GET_PLAY_STATE, M_SET_CONTROLS,
    M_SET_CONSOLE, M_SET_AUTO_START, M_SET_NO_LABELS, M_SET_NO_LOGO, M_SET_IMAGE_STATUS,
    M_SET_ENABLE_CONTEXT_MENU, M_SET_MAINTAIN_ASPECT, M_SET_CENTER, M_SET_WANT_MOUSE_EVENTS,
    M_SET_WANT_KEYBOARD_EVENTS, M_TEST_RAISE_EVENT,
};

const Member kMembers[] = {
    {L"SetSource", M_SET_SOURCE},
    {L"GetSource", M_GET_SOURCE},
    {L"DoPlay", M_DO_PLAY},
    {L"DoPause", M_DO_PAUSE},
    {L"DoStop", M_DO_STOP},
    {L"SetVolume", M_SET_VOLUME},
    {L"GetVolume", M_GET_VOLUME},
    {L"SetMute", M_SET_MUTE},
    {L"GetMute", M_GET_MUTE},
    {L"GetFullScreen", M_GET_FULLSCREEN},
    {L"SetFullScreen", M_SET_FULLSCREEN},
    {L"SetOriginalSize", M_SET_ORIGINAL_SIZE},
    {L"GetPosition", M_GET_POSITION},
    {L"GetLength", M_GET_LENGTH},
    {L"SetPosition", M_SET_POSITION},
    {L"GetClipWidth", M_GET_CLIP_WIDTH},
    {L"GetClipHeight", M_GET_CLIP_HEIGHT},
    {L"GetBufferingTimeElapsed", M_GET_BUFFERING_ELAPSED},
    {L"GetBufferingTimeRemaining", M_GET_BUFFERING_REMAINING},
    {L"GetPlayState", M_GET_PLAY_STATE},
    {L"SetControls", M_SET_CONTROLS},
    {L"SetConsole", M_SET_CONSOLE},
    {L"SetAutoStart", M_SET_AUTO_START},
    {L"SetNoLabels", M_SET_NO_LABELS},
    {L"SetNoLogo", M_SET_NO_LOGO},
    {L"SetImageStatus", M_SET_IMAGE_STATUS},
    {L"SetEnableContextMenu", M_SET_ENABLE_CONTEXT_MENU},
    {L"SetMaintainAspect", M_SET_MAINTAIN_ASPECT},
    {L"SetCenter", M_SET_CENTER},
    {L"SetWantMouseEvents", M_SET_WANT_MOUSE_EVENTS},
    {L"SetWantKeyboardEvents", M_SET_WANT_KEYBOARD_EVENTS},
    {L"TestRaiseEvent", M_TEST_RAISE_EVENT},
};

const CStandinControl::Description kDescription = {
    CLSID_RealAudio, CRealStandin::kName, kMembers, sizeof kMembers / sizeof kMembers[0],
    DIID_DRealAudioEvents, L"PNGUIClass"};

const UINT_PTR kClockTimer = 1;
const UINT kClockMs = 100;

// The control's play states.
enum RealState { STOPPED = 0, CONTACTING = 1, BUFFERING = 2, PLAYING = 3, PAUSED = 4 };

// Feeds a RealMedia reader owned by the reading thread.
StreamPlayback::Feed RealMediaFeed()
{
    auto reader = std::make_shared<rm::StreamReader>();
    return [reader](const std::uint8_t* data, std::size_t size, StreamFacts& facts) {
        rm::StreamReader::State state = reader->Feed(data, size);
        facts.bad = state == rm::StreamReader::State::Bad;
        facts.headers = state != rm::StreamReader::State::Headers && !facts.bad;
        facts.ended = facts.ended || state == rm::StreamReader::State::Ended;
        if (reader->PacketCount())
            facts.bufferedMs = reader->LastTimeMs() - reader->FirstTimeMs();
        facts.lengthMs = reader->Info().durationMs;
        facts.width = reader->Width();
        facts.height = reader->Height();
    };
}

}  // namespace

const wchar_t CRealStandin::kName[] = L"Real";

CRealStandin::CRealStandin() : CStandinControl(kDescription) {}

CRealStandin::~CRealStandin()
{
    playback_.Stop();
}

void* CRealStandin::QueryExtra(REFIID iid)
{
    return IsEqualIID(iid, IID_IRealAudio) ? static_cast<IDispatch*>(this) : nullptr;
}

HRESULT CRealStandin::Call(DISPID id, WORD, const CallArgs& args, VARIANT* result)
{
    StreamFacts facts = playback_.Facts();
    switch (id) {
    case M_SET_SOURCE: source_ = args.Text(0); return S_OK;
    case M_GET_SOURCE:
        ReturnText(result, source_);
        return S_OK;
    case M_DO_PLAY: return Play();
    case M_DO_PAUSE:
        playback_.Pause();
        if (playback_.Current() == StreamPlayback::State::Paused)
            ReportState(PAUSED);
        return S_OK;
    case M_DO_STOP: Stop(); return S_OK;
    case M_SET_VOLUME: volume_ = args.Long(0); return S_OK;
    case M_GET_VOLUME: ReturnLong(result, volume_); return S_OK;
    case M_SET_MUTE: mute_ = args.Long(0) != 0; return S_OK;
    case M_GET_MUTE: ReturnBool(result, mute_); return S_OK;
    case M_GET_FULLSCREEN: ReturnBool(result, fullScreen_); return S_OK;
    case M_SET_FULLSCREEN: fullScreen_ = true; return S_OK;
    case M_SET_ORIGINAL_SIZE: fullScreen_ = false; return S_OK;
    case M_GET_POSITION: ReturnLong(result, static_cast<long>(playback_.PositionMs())); return S_OK;
    case M_GET_LENGTH: ReturnLong(result, static_cast<long>(facts.lengthMs)); return S_OK;
    case M_SET_POSITION:
        playback_.SetPositionMs(static_cast<std::uint32_t>(args.Long(0)));
        return S_OK;
    case M_GET_CLIP_WIDTH: ReturnLong(result, facts.width); return S_OK;
    case M_GET_CLIP_HEIGHT: ReturnLong(result, facts.height); return S_OK;
    case M_GET_BUFFERING_ELAPSED:
    case M_GET_BUFFERING_REMAINING: {
        long given[2] = {};
        const std::wstring knob = KnobText(L"REAL_BUFFERING");
        if (std::swscanf(knob.c_str(), L"%ld,%ld", &given[0], &given[1]) == 2) {
            ReturnLong(result, given[id == M_GET_BUFFERING_ELAPSED ? 0 : 1]);
            return S_OK;
        }
        // Buffering counts the media time ahead of the clock against the preroll.
        std::uint32_t ahead = facts.bufferedMs > playback_.PositionMs()
                                  ? facts.bufferedMs - playback_.PositionMs() : 0;
        if (ahead > StreamPlayback::kPrerollMs)
            ahead = StreamPlayback::kPrerollMs;
        ReturnLong(result, static_cast<long>(id == M_GET_BUFFERING_ELAPSED
                                              ? ahead : StreamPlayback::kPrerollMs - ahead));
        return S_OK;
    }
    case M_GET_PLAY_STATE: ReturnLong(result, state_); return S_OK;
    case M_SET_WANT_MOUSE_EVENTS: wantMouse_ = args.Long(0) != 0; return S_OK;
    case M_SET_WANT_KEYBOARD_EVENTS: wantKeys_ = args.Long(0) != 0; return S_OK;
    case M_SET_CONTROLS:
    case M_SET_CONSOLE:
    case M_SET_AUTO_START:
    case M_SET_NO_LABELS:
    case M_SET_NO_LOGO:
    case M_SET_IMAGE_STATUS:
    case M_SET_ENABLE_CONTEXT_MENU:
    case M_SET_MAINTAIN_ASPECT:
    case M_SET_CENTER:
        return S_OK;   // the log is their record
    case M_TEST_RAISE_EVENT: {
        std::vector<VARIANT> copies(args.Count() > 0 ? args.Count() - 1 : 0);
        for (UINT i = 1; i < args.Count(); ++i) {
            VariantInit(&copies[i - 1]);
            VariantCopy(&copies[i - 1], const_cast<VARIANT*>(&args[i]));
        }
        return Fire(args.Long(0), copies);
    }
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT CRealStandin::Play()
{
    if (!VideoWindow())
        return E_UNEXPECTED;
    if (playback_.Resume()) {
        ReportState(BUFFERING);
    } else if (playback_.Current() != StreamPlayback::State::Playing &&
               playback_.Current() != StreamPlayback::State::Buffering &&
               playback_.Current() != StreamPlayback::State::Connecting) {
        opened_ = false;
        lastPositionEvent_ = 0xFFFFFFFF;
        playback_.Start(source_, RealMediaFeed());
        ReportState(CONTACTING);
    }
    SetTimer(VideoWindow(), kClockTimer, kClockMs, nullptr);
    return S_OK;
}

void CRealStandin::Stop()
{
    if (VideoWindow())
        KillTimer(VideoWindow(), kClockTimer);
    bool wasOpen = playback_.Current() != StreamPlayback::State::Idle &&
                   playback_.Current() != StreamPlayback::State::Stopped;
    playback_.Stop();
    if (wasOpen) {
        ReportState(STOPPED);
        Fire(REAL_EVENT_CLOSED, {});
    }
}

void CRealStandin::ReportState(int state)
{
    if (state == state_)
        return;
    state_ = state;
    Fire(REAL_EVENT_STATE, {LongArg(state)});
}

// One clock step: the play state, the opening, buffering and position events.
void CRealStandin::Tick()
{
    StreamPlayback::State state = playback_.Tick();
    StreamFacts facts = playback_.Facts();
    if (facts.headers && !opened_) {
        opened_ = true;
        Fire(REAL_EVENT_OPENED, {LongArg(1), TextArg(source_.c_str())});
    }
    switch (state) {
    case StreamPlayback::State::Buffering: {
        ReportState(BUFFERING);
        long percent = static_cast<long>(
            (facts.bufferedMs > playback_.PositionMs() ? facts.bufferedMs - playback_.PositionMs() : 0) *
            100 / StreamPlayback::kPrerollMs);
        Fire(REAL_EVENT_BUFFERING, {LongArg(0), LongArg(percent > 100 ? 100 : percent)});
        break;
    }
    case StreamPlayback::State::Playing: ReportState(PLAYING); break;
    case StreamPlayback::State::Ended:
        KillTimer(VideoWindow(), kClockTimer);
        ReportState(STOPPED);
        break;
    case StreamPlayback::State::Error:
        KillTimer(VideoWindow(), kClockTimer);
        Fire(REAL_EVENT_ERROR, {LongArg(2), LongArg(0x80040005), LongArg(0), TextArg(L"no RealMedia"),
                                TextArg(L""), TextArg(source_.c_str())});
        ReportState(STOPPED);
        return;
    default: break;
    }
    // One position event each second of media time.
    std::uint32_t second = playback_.PositionMs() / 1000;
    if (state == StreamPlayback::State::Playing && second != lastPositionEvent_) {
        lastPositionEvent_ = second;
        Fire(REAL_EVENT_POSITION, {LongArg(static_cast<long>(playback_.PositionMs())),
                                   LongArg(static_cast<long>(facts.lengthMs))});
    }
}

void CRealStandin::MouseEvent(DISPID id, WPARAM wParam, LPARAM lParam)
{
    if (wantMouse_)
        Fire(id, {LongArg(static_cast<long>(wParam)), LongArg(GET_X_LPARAM(lParam)),
                  LongArg(GET_Y_LPARAM(lParam))});
}

LRESULT CRealStandin::VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == kClockTimer) {
            Tick();
            return 0;
        }
        break;
    case WM_MOUSEMOVE: MouseEvent(REAL_EVENT_MOUSEMOVE, wParam, lParam); return 0;
    case WM_LBUTTONDOWN: MouseEvent(REAL_EVENT_LBUTTONDOWN, wParam, lParam); return 0;
    case WM_LBUTTONUP: MouseEvent(REAL_EVENT_LBUTTONUP, wParam, lParam); return 0;
    case WM_RBUTTONDOWN: MouseEvent(REAL_EVENT_RBUTTONDOWN, wParam, lParam); return 0;
    case WM_RBUTTONUP: MouseEvent(REAL_EVENT_RBUTTONUP, wParam, lParam); return 0;
    case WM_LBUTTONDBLCLK: Log(L"video double click"); return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        if (wantKeys_) {
            DISPID id = message == WM_KEYDOWN ? REAL_EVENT_KEYDOWN
                        : message == WM_KEYUP ? REAL_EVENT_KEYUP : REAL_EVENT_KEYPRESS;
            Fire(id, {LongArg(0), LongArg(static_cast<long>(wParam))});
        }
        return 0;
    default: break;
    }
    return CStandinControl::VideoMessage(window, message, wParam, lParam);
}

}  // namespace standins
