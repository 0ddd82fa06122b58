#include <gtest/gtest.h>

#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "players/DShowPlayer.h"
#include "players/PlayerSelector.h"
#include "tests/players/PlayerTestSupport.h"
#include "tests/vod/http/FileReaderHost.h"
#include "vod/reader/PlayUrl.h"
#include "vod/reader/ReaderHostRegistry.h"

namespace {

const DWORD kPlayMs = 20000;   // bound on a 3-second clip reaching its end

// Registers a codec file the way the library does: its own entry point.
bool RegisterServer(const wchar_t* path)
{
    HMODULE module = LoadLibraryW(path);
    if (!module)
        return false;
    typedef HRESULT(STDAPICALLTYPE * Entry)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    bool ok = entry && SUCCEEDED(entry());
    FreeLibrary(module);
    return ok;
}

std::string Media(const wchar_t* name)
{
    std::string bytes;
    FileReaderHost::LoadFile(std::wstring(MEDIA_DIR) + L"/" + name, &bytes);
    return bytes;
}

// An engine's reader host over a media file, registered as a running one.
class RunningHost {
public:
    explicit RunningHost(const wchar_t* file) : host(Media(file))
    {
        inf::RegisterReaderHost(&host);
    }
    ~RunningHost() { inf::UnregisterReaderHost(&host); }
    std::wstring Url(const wchar_t* type)
    {
        return vod::FormatPlayUrl(type, static_cast<inf::IReaderHost*>(&host), 0);
    }
    FileReaderHost host;
};

std::set<std::wstring> FilterNames(IGraphBuilder* graph)
{
    std::set<std::wstring> names;
    IEnumFilters* filters = nullptr;
    if (!graph || FAILED(graph->EnumFilters(&filters)))
        return names;
    IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == S_OK) {
        FILTER_INFO info = {};
        if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
            names.insert(info.achName);
            if (info.pGraph)
                info.pGraph->Release();
        }
        filter->Release();
    }
    filters->Release();
    return names;
}

long GraphVolume(IGraphBuilder* graph)
{
    IBasicAudio* audio = nullptr;
    long volume = 1;
    if (SUCCEEDED(graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio)))) {
        audio->get_Volume(&volume);
        audio->Release();
    }
    return volume;
}

class DShowPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);
        ASSERT_TRUE(RegisterServer(ASYNCFLT_PATH));
        ASSERT_TRUE(RegisterServer(REALMEDIA_PATH));
        // Wine's VMR-9 cannot present under the null display driver (it takes
        // compressed video and fails when run): these graphs draw with the
        // plain video renderer, which offers the graph's video window.
        CDShowPlayer::UseVideoRenderer(CLSID_VideoRenderer);
    }
    void SetUp() override
    {
        CoInitialize(nullptr);
        m_selector.m_owner = m_owner.Handle();
        m_selector.SetParentWindow(m_owner.Handle());
        m_selector.SetRect(RECT{0, 0, 320, 240}, FALSE);
        ShowWindow(m_owner.Handle(), SW_SHOW);
    }
    void TearDown() override
    {
        m_selector.DestroyAll();
        CoUninitialize();
    }
    IGraphBuilder* Graph() { return m_selector.DShowHost()->Graph(); }
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
    {
        DWORD start = GetTickCount();
        for (;;) {
            PumpMessages();
            if (done())
                return true;
            DWORD spent = GetTickCount() - start;
            if (spent >= timeoutMs)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - spent, 50),
                                      QS_ALLINPUT);
        }
    }

    // Declared first: the engine outlives the graph that reads it.
    std::unique_ptr<RunningHost> m_engine;
    RecordingOwner m_owner;
    CPlayerSelector m_selector;
};

TEST_F(DShowPlayerTest, ARealMediaFilePlaysThroughTheEnginesReaderToItsEnd)
{
    m_engine.reset(new RunningHost(L"clip.rm"));
    RunningHost& engine = *m_engine;
    ASSERT_EQ(S_OK, m_selector.Open(engine.Url(L"rm").c_str()));
    ASSERT_EQ(PLAYER_DSHOW, m_selector.Kind());
    std::set<std::wstring> names = FilterNames(Graph());
    for (const wchar_t* name : {L"VUZizAvezid", L"KELO RealMedia Splitter", L"KELO RealAudio Decoder",
                                L"KELO RealVideo Decoder", L"DirectSound"})
        EXPECT_EQ(1u, names.count(name)) << std::string(name, name + wcslen(name));
    double duration = 0;
    EXPECT_EQ(S_OK, m_selector.GetDuration(&duration));
    EXPECT_EQ(3.0, duration);

    ASSERT_TRUE(SUCCEEDED(m_selector.Play()));
    double position = 0;
    EXPECT_TRUE(PumpUntil([&] { return SUCCEEDED(m_selector.GetPosition(&position)) && position >= 1; },
                          kPlayMs));
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, kPlayMs));
    EXPECT_EQ((std::vector<WPARAM>{PLAYSTATE_PLAYING, PLAYSTATE_STOPPED}),
              m_owner.Params(WM_PLAYER_PLAYSTATE));
    // Read from the start, once.
    EXPECT_EQ((std::vector<std::uint64_t>{0}), engine.host.Opens());
}

TEST_F(DShowPlayerTest, ASeekOpensTheReaderAgainWhereThePlayerGoes)
{
    m_engine.reset(new RunningHost(L"clip.rm"));
    RunningHost& engine = *m_engine;
    ASSERT_EQ(S_OK, m_selector.Open(engine.Url(L"rm").c_str()));
    ASSERT_EQ(S_OK, m_selector.SeekPermille(600));
    ASSERT_TRUE(SUCCEEDED(m_selector.Play()));
    ASSERT_TRUE(engine.host.WaitForOpens(2, 5000));
    std::vector<std::uint64_t> opens = engine.host.Opens();
    EXPECT_EQ(0u, opens[0]);
    EXPECT_GT(opens[1], Media(L"clip.rm").size() / 3);
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, kPlayMs));
}

TEST_F(DShowPlayerTest, VolumeMapsToTheGraphsHundredthsOfADecibel)
{
    m_engine.reset(new RunningHost(L"clip.rm"));
    RunningHost& engine = *m_engine;
    ASSERT_EQ(S_OK, m_selector.Open(engine.Url(L"rm").c_str()));
    struct Case {
        int volume;
        long graph;
    };
    for (const Case& c : {Case{0, -10000}, Case{1, -2970}, Case{50, -1500}, Case{100, 0}}) {
        EXPECT_EQ(S_OK, m_selector.SetVolume(c.volume));
        EXPECT_EQ(c.graph, GraphVolume(Graph())) << c.volume;
    }
    // A volume set while muted is heard at once, and unmuting keeps it.
    EXPECT_EQ(S_OK, m_selector.SetMute(1));
    EXPECT_EQ(-10000, GraphVolume(Graph()));
    EXPECT_EQ(S_OK, m_selector.SetVolume(80));
    EXPECT_EQ(-600, GraphVolume(Graph()));
    EXPECT_EQ(S_OK, m_selector.SetMute(1));
    EXPECT_EQ(S_OK, m_selector.SetMute(0));
    EXPECT_EQ(-600, GraphVolume(Graph()));
}

TEST_F(DShowPlayerTest, AStreamNoDecoderTakesRendersPartlyAndItsFiltersGo)
{
    m_engine.reset(new RunningHost(L"clip_rv10.rm"));
    RunningHost& engine = *m_engine;
    ASSERT_EQ(S_FALSE, m_selector.Open(engine.Url(L"rm").c_str()));
    std::set<std::wstring> names = FilterNames(Graph());
    EXPECT_EQ(1u, names.count(L"KELO RealAudio Decoder"));
    EXPECT_EQ(0u, names.count(L"KELO RealVideo Decoder"));
    EXPECT_EQ(0u, names.count(L"VideoRender"));
    ASSERT_TRUE(SUCCEEDED(m_selector.Play()));
    EXPECT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, kPlayMs));
}

} // namespace
