#include <gtest/gtest.h>

#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "platform/dshow/Filter.h"
#include "players/DShowPlayer.h"
#include "players/PlayerSelector.h"
#include "vod/reader/ReaderHostRegistry.h"
#include "tests/players/GraphTestSupport.h"
#include "tests/players/PlayerTestSupport.h"

namespace {

const DWORD kPlayMs = 20000;   // bound on a 3-second clip reaching its end

class DShowPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);
        ASSERT_TRUE(RegisterServer(ASYNCFLT_PATH));
        ASSERT_TRUE(RegisterServer(REALMEDIA_PATH));
        ASSERT_TRUE(RegisterServer(WMFDEMUX_PATH));
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

// A filter without pins that reports through the graph's event sink, as a
// network source does while it fills its buffer.
class BufferingFilter : public CFilter {
public:
    BufferingFilter() : CFilter(GUID_NULL) {}

protected:
    std::vector<CPin*> PinList() override { return {}; }
};

TEST_F(DShowPlayerTest, AFiltersBufferingReportsReachTheOwnerInOrder)
{
    m_engine.reset(new RunningHost(L"clip.rm"));
    ASSERT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    auto* filter = new BufferingFilter;
    ASSERT_EQ(S_OK, Graph()->AddFilter(filter, L"Buffering"));
    ASSERT_TRUE(SUCCEEDED(m_selector.Play()));
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, kPlayMs));
    m_owner.seen.clear();
    filter->NotifyEvent(EC_BUFFERING_DATA, TRUE, 0);
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_BUFFERING, kPlayMs));
    filter->NotifyEvent(EC_BUFFERING_DATA, FALSE, 0);
    ASSERT_TRUE(m_owner.WaitFor(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, kPlayMs));
    EXPECT_EQ((std::vector<WPARAM>{PLAYSTATE_BUFFERING, PLAYSTATE_PLAYING}),
              m_owner.Params(WM_PLAYER_PLAYSTATE));
    filter->Release();
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

TEST_F(DShowPlayerTest, EachAddressGetsItsOwnFilters)
{
    RunningHost rm(L"clip.rm"), wmv(L"clip.wmv");
    struct Case {
        std::wstring address;
        int kind;
        int opens;   // -1: up to Wine's own decoders
        std::set<std::wstring> present, absent;
    };
    const std::wstring splitter = L"KELO RealMedia Splitter";
    const Case cases[] = {
        // Only ".rm" brings the RealMedia filters; ".rmvb" is left to the graph.
        {rm.Url(L"rmvb"), 0, 0, {L"VUZizAvezid", L"DirectSound", L"VideoRender"}, {splitter}},
        {wmv.Url(L"wmv"), 0, -1, {L"VUZizAvezid", L"GDCL WMV/WMA Parser"}, {splitter}},
        // Nothing listens there: the reader cannot load it.
        {L"http://127.0.0.1:9/clip.wmv", PLAYER_DSHOW, 0, {L"WMAsfReader"}, {L"VUZizAvezid"}},
    };
    for (const Case& c : cases) {
        std::string what(c.address.begin(), c.address.end());
        HRESULT hr = m_selector.Open(c.address.c_str(), c.kind);
        EXPECT_EQ(PLAYER_DSHOW, m_selector.Kind()) << what;
        if (c.opens >= 0)
            EXPECT_EQ(c.opens != 0, SUCCEEDED(hr)) << what << " " << std::hex << hr;
        std::set<std::wstring> names = FilterNames(Graph());
        for (const std::wstring& name : c.present)
            EXPECT_EQ(1u, names.count(name)) << what << ": " << std::string(name.begin(), name.end());
        for (const std::wstring& name : c.absent)
            EXPECT_EQ(0u, names.count(name)) << what << ": " << std::string(name.begin(), name.end());
        m_selector.Close();
    }
}

TEST_F(DShowPlayerTest, AddressesWithoutAGraphFail)
{
    // No source for the scheme: the graph stays empty.
    EXPECT_EQ(E_FAIL, m_selector.Open(L"rtsp://127.0.0.1/clip.rm", PLAYER_DSHOW));
    ASSERT_TRUE(Graph());
    EXPECT_TRUE(FilterNames(Graph()).empty());
    // A number that is no running engine's reader host is never called.
    RunningHost engine(L"clip.rm");
    std::wstring stopped = engine.Url(L"rm");
    inf::UnregisterReaderHost(&engine.host);
    for (const std::wstring& address : {stopped, std::wstring(L"zaror://0x00000010/1.rm"),
                                        std::wstring(L"zaror://0x/1.rm")}) {
        EXPECT_EQ(E_FAIL, m_selector.Open(address.c_str()));
        EXPECT_EQ(nullptr, Graph());
    }
    EXPECT_TRUE(engine.host.Opens().empty());
}

TEST_F(DShowPlayerTest, AMissingGraphRegistrationIsRepairedOnce)
{
    // The filter graph's class loses its server; the player registers the
    // system's DirectShow runtime again and goes on.
    const wchar_t kGraphServer[] = L"CLSID\\{E436EBB3-524F-11CE-9F53-0020AF0BA770}\\InprocServer32";
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, kGraphServer));
    IGraphBuilder* graph = nullptr;
    ASSERT_TRUE(FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IGraphBuilder, reinterpret_cast<void**>(&graph))));
    m_engine.reset(new RunningHost(L"clip.rm"));
    EXPECT_EQ(S_OK, m_selector.Open(m_engine->Url(L"rm").c_str()));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, kGraphServer, 0, KEY_READ, &key));
    RegCloseKey(key);
}

} // namespace
