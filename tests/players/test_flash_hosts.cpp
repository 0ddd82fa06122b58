// The Flash and FLV hosts over the Flash stand-in: readiness, the FLV
// player's variables, the movie's states, its events and full screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/axhost/AxHost.h"
#include "players/PlayerSelector.h"
#include "players/hooks/FullscreenLock.h"
#include "players/hooks/PlayerHookRegistry.h"
#include "players/hosts/FlashOCX.h"
#include "players/hosts/FlvOCX.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/PlayerTestSupport.h"
#include "tests/players/StandinSelectorTest.h"

namespace {

const wchar_t kMedia[] = L"http://127.0.0.1:9/1.flv";   // never played here

// The stand-in's lines about the player movie's variables, in order.
std::vector<std::wstring> VariableLines(const std::wstring& log)
{
    std::vector<std::wstring> lines;
    size_t at = 0;
    while (at < log.size()) {
        size_t end = log.find(L'\n', at);
        const std::wstring line = log.substr(at, end - at);
        if (line.find(L"Variable(") != std::wstring::npos || line.find(L"full screen") != std::wstring::npos)
            lines.push_back(line.substr(line.find(L'.') + 1));
        at = end == std::wstring::npos ? log.size() : end + 1;
    }
    return lines;
}

VARIANT Text(const wchar_t* text)
{
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT Long(long value)
{
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

// Raises an event at a host's sink, as the control would.
void Raise(IDispatch* sink, DISPID id, std::vector<VARIANT> args)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    for (VARIANT& arg : reversed)
        VariantClear(&arg);
}


// The movie's full-screen window, when it has one.
HWND FullScreenWindow()
{
    return FindWindowExW(nullptr, nullptr, L"MacromediaFlashPlayerActiveX", nullptr);
}

// A program of the tests' own in another process, spoken to by lines.
class Child {
public:
    explicit Child(const wchar_t* program)
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE childIn = nullptr, childOut = nullptr;
        CreatePipe(&childIn, &m_in, &inherit, 0);
        CreatePipe(&m_out, &childOut, &inherit, 0);
        SetHandleInformation(m_in, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(m_out, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW start = {};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = childIn;
        start.hStdOutput = childOut;
        start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::wstring line = std::wstring(L"\"") + program + L"\"";
        PROCESS_INFORMATION made = {};
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                           &made)) {
            m_process = made.hProcess;
            CloseHandle(made.hThread);
        }
        CloseHandle(childIn);
        CloseHandle(childOut);
    }
    ~Child()
    {
        CloseHandle(m_in);   // its stdin ends: it quits
        if (m_process) {
            WaitForSingleObject(m_process, 10000);
            CloseHandle(m_process);
        }
        CloseHandle(m_out);
    }
    bool Running() const { return m_process != nullptr; }
    // One line of its output (bounded by the test's timeout).
    std::string ReadLine()
    {
        std::string line;
        char c;
        DWORD got = 0;
        while (ReadFile(m_out, &c, 1, &got, nullptr) && got == 1 && c != '\n')
            if (c != '\r')   // its stdout is in text mode
                line += c;
        return line;
    }
    void Say(const char* line)
    {
        DWORD written = 0;
        WriteFile(m_in, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    }

private:
    HANDLE m_in = nullptr, m_out = nullptr, m_process = nullptr;
};

class FlashHostTest : public StandinSelectorTest {
protected:
    // An FLV host of its own, beside the selector's.
    int Create(CFlvOCX& host)
    {
        RECT rect = {0, 0, 320, 240};
        return host.Create(nullptr, WS_CHILD | WS_VISIBLE, rect, m_owner.Handle(), 0);
    }

    // The player movie's variable, read straight from the control.
    static std::wstring Variable(HWND host, const wchar_t* name)
    {
        IUnknown* control = nullptr;
        IDispatch* dispatch = nullptr;
        std::wstring value = L"<none>";
        if (SUCCEEDED(axhost::AxGetControl(host, &control)) &&
            SUCCEEDED(control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
            DISPID id = 0;
            LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetVariable")};
            dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
            VARIANT arg = Text(name), result;
            VariantInit(&result);
            DISPPARAMS params = {&arg, nullptr, 1, 0};
            if (SUCCEEDED(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result,
                                           nullptr, nullptr)) && result.vt == VT_BSTR)
                value = result.bstrVal;
            VariantClear(&arg);
            VariantClear(&result);
        }
        if (dispatch)
            dispatch->Release();
        if (control)
            control->Release();
        return value;
    }

    static void SetVariable(HWND host, const wchar_t* name, const wchar_t* value)
    {
        IUnknown* control = nullptr;
        ASSERT_EQ(axhost::AxGetControl(host, &control), S_OK);
        IDispatch* dispatch = nullptr;
        control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"SetVariable")};
        dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        VARIANT args[2] = {Text(value), Text(name)};
        DISPPARAMS params = {args, nullptr, 2, 0};
        dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        VariantClear(&args[0]);
        VariantClear(&args[1]);
        dispatch->Release();
        control->Release();
    }

};

// A control that cannot be created gives each kind its own code.
TEST_F(FlashHostTest, AFailedControlGivesTheKindsCreationCode)
{
    SetStandinKnob(L"FAIL_CREATE", L"Flash");
    EXPECT_EQ(m_selector.Open(L"http://127.0.0.1:9/movie.swf"), E_PLAYER_FLASH_CREATE);
    EXPECT_EQ(m_selector.Open(kMedia), E_PLAYER_FLV_CREATE);
    EXPECT_EQ(m_selector.Kind(), PLAYER_NONE);
    SetStandinKnob(L"FAIL_CREATE", L"Probe");   // another control's refusal is not Flash's
    EXPECT_EQ(m_selector.Open(kMedia), S_OK);
}

// Only ready state 2 or 3 of the loaded movie opens the FLV host to commands.
TEST_F(FlashHostTest, FlvCommandsWaitForReadyState2Or3)
{
    SetStandinKnob(L"FLASH_HOLD_READY", L"1");
    struct Case {
        std::vector<long> states;
        bool ready;
    } cases[] = {{{}, false}, {{4}, false}, {{1, 4}, false}, {{2}, true}, {{4, 3}, true}};
    for (const Case& c : cases) {
        testing::Message raised;
        for (long state : c.states)
            raised << state << " ";
        SCOPED_TRACE(raised);
        CFlvOCX host(&m_selector);
        ASSERT_EQ(Create(host), 1);
        for (long state : c.states)
            Raise(&host, -609, {Long(state)});
        TakeStandinLog();
        int number = 0;
        VARIANT_BOOL flag = VARIANT_FALSE;
        const HRESULT results[] = {
            host.Open(kMedia),         host.Play(),           host.Pause(),
            host.SetVolume(50),        host.GetVolume(&number), host.SetMute(1),
            host.GetMute(&flag),       host.SetFullScreen(VARIANT_TRUE), host.SetOrgSize(1),
            host.Seek(12),             host.PollState(&number), host.Stop(),
        };
        for (size_t i = 0; i < sizeof results / sizeof results[0]; ++i)
            EXPECT_EQ(results[i] == E_FAIL, !c.ready) << "command " << i;
        const std::vector<std::wstring> touched = VariableLines(TakeStandinLog());
        EXPECT_EQ(touched.empty(), !c.ready);
        host.Destroy();
    }
}

TEST_F(FlashHostTest, FlvCreationChecksTheVersionAndSetsTheMovieUp)
{
    // The major version is the value divided by 65,535: 0x7FFF8 (524,280)
    // is version 8 that way, though its high word says 7.
    struct Version {
        const wchar_t* knob;
        HRESULT open;
    } versions[] = {{L"7", E_PLAYER_FLV_CREATE}, {L"0x7FFF7", E_PLAYER_FLV_CREATE},
                    {L"0x7FFF8", S_OK}};
    for (const Version& v : versions) {
        SetStandinKnob(L"FLASH_VERSION", v.knob);
        EXPECT_EQ(m_selector.Open(kMedia), v.open) << std::string(v.knob, v.knob + wcslen(v.knob));
        m_selector.DestroyAll();
    }
    EXPECT_EQ(m_selector.Kind(), PLAYER_NONE);

    SetStandinKnob(L"FLASH_VERSION", L"8");
    TakeStandinLog();
    ASSERT_EQ(m_selector.Open(kMedia), S_OK);
    EXPECT_EQ(m_selector.Kind(), PLAYER_FLV);
    const std::wstring log = TakeStandinLog();
    size_t at = 0;
    for (const wchar_t* step :
         {L"Flash.Menu=0", L"Flash.FlashVersion()", L"Flash.AllowScriptAccess=always",
          L"Flash.AllowFullScreen=-1", L"Flash.BGColor=#000000",
          L"Flash.Movie=http://127.0.0.1/flvplayer2.swf", L"Flash.Play()", L"Flash.Loop=0",
          L"Flash.Menu=0", L"Flash.SetVariable(mediaURL,http://127.0.0.1:9/1.flv)"}) {
        at = log.find(step, at);
        ASSERT_NE(at, std::wstring::npos) << "missing in order: " << std::string(step, step + wcslen(step))
                                          << "\n" << std::string(log.begin(), log.end());
    }
    HWND window = nullptr;
    ASSERT_EQ(m_selector.GetPlayerWindow(&window), S_OK);
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & (WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
              WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    BSTR source = nullptr;
    ASSERT_EQ(m_selector.GetSourceUrl(&source), S_OK);
    EXPECT_STREQ(source, L"http://127.0.0.1/flvplayer2.swf");   // the movie, not the media
    SysFreeString(source);

    // The same movie again changes nothing; another one reloads it.
    m_selector.SetFlvPlayerUrl(L"HTTP://127.0.0.1/FLVPLAYER2.SWF");
    EXPECT_EQ(VariableLines(TakeStandinLog()).size(), 0u);
    m_selector.SetFlvPlayerUrl(L"http://127.0.0.1/other/flvplayer2.swf");
    const std::wstring reload = TakeStandinLog();
    EXPECT_NE(reload.find(L"Flash.Stop()\nFlash.Movie=http://127.0.0.1/other/flvplayer2.swf"),
              std::wstring::npos) << std::string(reload.begin(), reload.end());
}

TEST_F(FlashHostTest, FlvCommandsWriteTheRequestVariablesInOrder)
{
    CFlvOCX host(&m_selector);
    ASSERT_EQ(Create(host), 1);
    struct Case {
        const char* what;
        HRESULT (*call)(CFlvOCX&);
        std::vector<std::wstring> lines;
    } cases[] = {
        {"seek", [](CFlvOCX& h) { return h.Seek(42); },
         {L"SetVariable(rvPosition,42)", L"SetVariable(rvSeek,42)", L"SetVariable(mediaSeek,1)"}},
        {"volume", [](CFlvOCX& h) { return h.SetVolume(35); },
         {L"SetVariable(rvVolume,35)", L"SetVariable(mediaVolume,1)"}},
        {"mute", [](CFlvOCX& h) { return h.SetMute(1); },
         {L"SetVariable(rvSetMute,1)", L"SetVariable(mediaMute,1)", L"GetVariable(rvSetMute)"}},
        {"sound", [](CFlvOCX& h) { return h.SetMute(0); },
         {L"SetVariable(rvSetMute,0)", L"SetVariable(mediaMute,1)", L"GetVariable(rvSetMute)",
          L"GetVariable(rvVolume)", L"SetVariable(rvVolume,35)", L"SetVariable(mediaVolume,1)"}},
        {"size", [](CFlvOCX& h) { return h.SetOrgSize(1); },
         {L"SetVariable(rvOrgSize,1)", L"SetVariable(mediaSize,1)"}},
        {"duration", [](CFlvOCX& h) { double d; return h.GetDuration(&d); },
         {L"SetVariable(mediaDuration,1)", L"GetVariable(rvDuration)"}},
        {"open", [](CFlvOCX& h) { return h.Open(kMedia); },
         {L"SetVariable(mediaURL,http://127.0.0.1:9/1.flv)"}},
    };
    TakeStandinLog();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(host), S_OK);
        EXPECT_EQ(VariableLines(TakeStandinLog()), c.lines);
    }
    VARIANT_BOOL muted = VARIANT_TRUE;
    int volume = 0;
    EXPECT_EQ(host.GetMute(&muted), S_OK);
    EXPECT_EQ(muted, VARIANT_FALSE);
    EXPECT_EQ(host.GetVolume(&volume), S_OK);
    EXPECT_EQ(volume, 35);
}

// A waiting state of the movie reaches the owner once, and the flag is
// always cleared, also for a state the host does not know.
TEST_F(FlashHostTest, PollStatePassesTheMoviesStateOn)
{
    ASSERT_EQ(m_selector.Open(kMedia), S_OK);   // the owner hears the FLV kind
    CFlvOCX host(&m_selector);
    ASSERT_EQ(Create(host), 1);
    struct Case {
        const wchar_t* state;
        int message;   // wParam of WM_PLAYER_PLAYSTATE, 0: none
    } cases[] = {{L"stopped", 1}, {L"paused", 2}, {L"buffering", 5}, {L"seeking", 4},
                 {L"playing", 3}, {L"Playing", 0}, {L"ended", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.state, c.state + wcslen(c.state)));
        m_owner.seen.clear();
        SetVariable(host.Handle(), L"rvNewState", c.state);
        SetVariable(host.Handle(), L"mediaStateChanged", L"1");
        int position = -1;
        EXPECT_EQ(host.PollState(&position), S_OK);
        EXPECT_EQ(position, 0);
        const std::vector<WPARAM> expected =
            c.message ? std::vector<WPARAM>{static_cast<WPARAM>(c.message)} : std::vector<WPARAM>{};
        EXPECT_EQ(m_owner.Params(WM_PLAYER_PLAYSTATE), expected);
        EXPECT_EQ(Variable(host.Handle(), L"mediaStateChanged"), L"0");
        // Nothing waits any more: the next poll is silent.
        host.PollState(&position);
        EXPECT_EQ(m_owner.Params(WM_PLAYER_PLAYSTATE), expected);
    }
}

TEST_F(FlashHostTest, EventsOfTheMovieReachTheOwnerByHost)
{
    // The plain Flash host: its load progress, and nothing of the menu command.
    ASSERT_EQ(m_selector.Open(L"http://127.0.0.1:9/movie.swf"), S_OK);
    EXPECT_EQ(m_owner.Params(WM_PLAYER_PROGRESS).size(), 2u);
    std::vector<LPARAM> progress;
    for (const MSG& m : m_owner.seen)
        if (m.message == WM_PLAYER_PROGRESS)
            progress.push_back(m.lParam);
    EXPECT_EQ(progress, (std::vector<LPARAM>{37, 100}));
    const std::wstring log = TakeStandinLog();
    EXPECT_NE(log.find(L"Flash.Loop=0\nFlash.Menu=0"), std::wstring::npos);
    EXPECT_NE(log.find(L"Flash.BackgroundColor=0"), std::wstring::npos);
    CFlashOCX flash(&m_selector);
    RECT rect = {0, 0, 100, 100};
    ASSERT_EQ(flash.Create(nullptr, WS_CHILD, rect, m_owner.Handle(), CPlayerSelector::kFlashId), 1);
    Raise(&flash, 150, {Text(L"showmenu"), Text(L"")});
    EXPECT_EQ(m_owner.Count(WM_PLAYER_DBLCLICK), 0);
    flash.Destroy();
    m_selector.Close();

    // The FLV host: "ShowMenu" in any case is a double click.
    ASSERT_EQ(m_selector.Open(kMedia), S_OK);
    CFlvOCX host(&m_selector);
    ASSERT_EQ(Create(host), 1);
    m_owner.seen.clear();
    Raise(&host, 150, {Text(L"SHOWMENU"), Text(L"")});
    Raise(&host, 150, {Text(L"showmenus"), Text(L"")});
    Raise(&host, 1958, {Long(64)});
    EXPECT_EQ(m_owner.Count(WM_PLAYER_DBLCLICK), 1);
    ASSERT_EQ(m_owner.Count(WM_PLAYER_PROGRESS), 1);
    EXPECT_EQ(m_owner.seen.back().lParam, 64);
}

// The movie's full-screen text: only "0" is a window.
TEST_F(FlashHostTest, OnlyZeroIsNotFullScreen)
{
    CFlvOCX host(&m_selector);
    ASSERT_EQ(Create(host), 1);
    struct Case {
        const wchar_t* text;
        VARIANT_BOOL full;
    } cases[] = {{L"0", VARIANT_FALSE}, {L"1", VARIANT_TRUE}, {L"", VARIANT_TRUE},
                 {L"yes", VARIANT_TRUE}};
    for (const Case& c : cases) {
        SetVariable(host.Handle(), L"rvFullscreen", c.text);
        VARIANT_BOOL full = 2;
        EXPECT_EQ(host.GetFullScreen(&full), S_OK);
        EXPECT_EQ(full, c.full) << std::string(c.text, c.text + wcslen(c.text));
    }
}

// While registered, the poll reports the cursor the hook recorded, once;
// unregistered, it brings a movie left full screen without media back.
TEST_F(FlashHostTest, PollActivityReportsTheCursorAndBringsTheMovieBack)
{
    CFlvOCX host(&m_selector);
    ASSERT_EQ(Create(host), 1);
    ASSERT_EQ(host.Open(kMedia), S_OK);
    ASSERT_EQ(host.Play(), S_OK);
    PlayerHookEntry entry;
    ASSERT_TRUE(FlvHookRegistry().Find(host.Handle(), &entry));
    FlvHookRegistry().Update(host.Handle(), [](PlayerHookEntry& e) { e.cursorPoint = POINT{17, 29}; });
    int moved = -1;
    EXPECT_EQ(host.PollActivity(&moved), 0);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(host.PollActivity(&moved), 0);
    EXPECT_EQ(moved, 0);
    SetVariable(host.Handle(), L"rvFullscreen", L"1");
    host.PollActivity(&moved);
    ASSERT_TRUE(FlvHookRegistry().Find(host.Handle(), &entry));
    EXPECT_EQ(entry.fullScreen, 1);
    SetVariable(host.Handle(), L"rvFullscreen", L"0");

    // Stopped (media cleared), but the movie went full screen meanwhile.
    ASSERT_EQ(host.Stop(), S_OK);
    EXPECT_FALSE(FlvHookRegistry().Find(host.Handle(), &entry));
    ASSERT_EQ(host.SetFullScreen(VARIANT_TRUE), S_OK);
    ASSERT_NE(FullScreenWindow(), nullptr);
    EXPECT_EQ(host.PollActivity(&moved), 1);
    EXPECT_EQ(FullScreenWindow(), nullptr);
    EXPECT_EQ(host.PollActivity(&moved), 0);   // nothing left to do
}

// Entering clicks the movie; leaving clicks the movie's full-screen window at
// the centre of the screen, and never a window of another program there.
TEST_F(FlashHostTest, FullScreenClicksOnlyTheMoviesOwnWindows)
{
    CFlvOCX host(&m_selector);
    ASSERT_EQ(Create(host), 1);
    VARIANT_BOOL full = VARIANT_TRUE;
    ASSERT_EQ(host.GetFullScreen(&full), S_OK);
    EXPECT_EQ(full, VARIANT_FALSE);

    ASSERT_EQ(host.SetFullScreen(VARIANT_TRUE), S_OK);
    ASSERT_EQ(host.GetFullScreen(&full), S_OK);
    EXPECT_EQ(full, VARIANT_TRUE);
    ASSERT_NE(FullScreenWindow(), nullptr);
    ASSERT_EQ(host.SetFullScreen(VARIANT_FALSE), S_OK);
    ASSERT_EQ(host.GetFullScreen(&full), S_OK);
    EXPECT_EQ(full, VARIANT_FALSE);
    EXPECT_EQ(FullScreenWindow(), nullptr);

    // Full screen again, but another program's window lies over the centre.
    ASSERT_EQ(host.SetFullScreen(VARIANT_TRUE), S_OK);
    HWND movie = FullScreenWindow();
    ASSERT_NE(movie, nullptr);
    ShowWindow(movie, SW_HIDE);
    {
        Child other(CENTREWINDOW_PATH);
        ASSERT_TRUE(other.Running());
        ASSERT_EQ(other.ReadLine(), "ready");
        POINT centre = {GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
        DWORD process = 0;
        GetWindowThreadProcessId(WindowFromPoint(centre), &process);
        ASSERT_NE(process, GetCurrentProcessId());   // the case is set up
        EXPECT_EQ(host.SetFullScreen(VARIANT_FALSE), S_OK);
        other.Say("count\n");
        EXPECT_EQ(other.ReadLine(), "clicks 0");
    }
    ASSERT_EQ(host.GetFullScreen(&full), S_OK);
    EXPECT_EQ(full, VARIANT_TRUE);   // the movie got no click

    // Stop while full screen leaves it first, then clears the media.
    ShowWindow(movie, SW_SHOW);
    TakeStandinLog();
    ASSERT_EQ(host.Stop(), S_OK);
    EXPECT_EQ(VariableLines(TakeStandinLog()),
              (std::vector<std::wstring>{L"GetVariable(rvFullscreen)",
                                         L"SetVariable(mediaFullscreen,1)", L"full screen left",
                                         L"SetVariable(mediaURL,)", L"SetVariable(mediaStop,1)"}));
}

// A locked full-screen movie that is stopped leaves full screen, and the lock
// goes with it: the keyboard reaches other windows again.
TEST_F(FlashHostTest, StoppingALockedFullScreenMovieEndsTheLock)
{
    RecordingOwner other;
    ShowWindow(other.Handle(), SW_SHOW);
    ShowWindow(m_owner.Handle(), SW_SHOW);
    m_selector.SetLockFullscreen(1);
    ASSERT_EQ(m_selector.Open(kMedia), S_OK);
    ASSERT_EQ(m_selector.Kind(), PLAYER_FLV);
    ASSERT_EQ(m_selector.SetFullScreen(1), S_OK);
    int full = 0;
    ASSERT_EQ(m_selector.GetFullScreen(&full), S_OK);
    ASSERT_EQ(full, 1);
    ASSERT_TRUE(IsFullscreenLockHookInstalled());
    SetActiveWindow(other.Handle());
    EXPECT_NE(GetActiveWindow(), other.Handle());

    ASSERT_EQ(m_selector.Stop(), S_OK);
    ASSERT_EQ(m_selector.GetFullScreen(&full), S_OK);
    EXPECT_EQ(full, 0);
    EXPECT_FALSE(IsFullscreenLockHookInstalled());
    SetActiveWindow(other.Handle());
    EXPECT_EQ(GetActiveWindow(), other.Handle());
}

}  // namespace
