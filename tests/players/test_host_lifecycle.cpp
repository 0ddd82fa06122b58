// The lifecycle every ActiveX player host shares, over the stand-in
// controls: one window and one advised sink from Create to Destroy, undone
// once and sink first, and nothing left behind by a creation that failed.
#include <gtest/gtest.h>

#include <windows.h>
#include <ocidl.h>

#include <vector>

#include "platform/axhost/AxHost.h"
#include "players/DShowPlayer.h"
#include "players/PlayerSelector.h"
#include "players/hooks/FullscreenLock.h"
#include "players/hooks/PlayerHooks.h"
#include "players/hosts/FlashOCX.h"
#include "players/hosts/FlvOCX.h"
#include "players/hosts/RealOCX.h"
#include "players/hosts/VLCOCX.h"
#include "players/hosts/WmpOCX.h"
#include "tests/platform/StandinSupport.h"
#include "tests/players/PlayerTestSupport.h"
#include "tests/players/StandinSelectorTest.h"

namespace {

// Each host's stand-in, by the name the stand-in knobs know it by, and a
// knob with its value that makes the host refuse a control it could make
// (null: none).
struct Standin {
    const wchar_t* name;
    const wchar_t* refusal;
    const wchar_t* refusalValue;
};
Standin StandinOf(const CRealOCX*) { return {L"Real", nullptr, nullptr}; }
Standin StandinOf(const CVLCOCX*) { return {L"VLC", nullptr, nullptr}; }
Standin StandinOf(const CFlashOCX*) { return {L"Flash", nullptr, nullptr}; }
Standin StandinOf(const CFlvOCX*) { return {L"Flash", L"FLASH_VERSION", L"7"}; }
Standin StandinOf(const CWmpOCX*) { return {L"WMP", L"NO_WMPCONTROLS", L"1"}; }

// The sinks advised at the control's connection point for `events`; -1
// when the control has no such point.
int Connections(IUnknown* control, REFIID events)
{
    IConnectionPointContainer* container = nullptr;
    if (FAILED(control->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(&container))))
        return -1;
    IConnectionPoint* point = nullptr;
    HRESULT hr = container->FindConnectionPoint(events, &point);
    container->Release();
    if (FAILED(hr))
        return -1;
    int count = 0;
    IEnumConnections* connections = nullptr;
    if (SUCCEEDED(point->EnumConnections(&connections))) {
        CONNECTDATA data;
        while (connections->Next(1, &data, nullptr) == S_OK) {
            ++count;
            data.pUnk->Release();
        }
        connections->Release();
    }
    point->Release();
    return count;
}

// The owner's host windows: those of the control-host class among its children.
int HostWindows(HWND owner)
{
    int count = 0;
    for (HWND child = GetWindow(owner, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        GetClassNameW(child, name, 32);
        count += lstrcmpW(name, L"AtlAxWin71") == 0;
    }
    return count;
}

int ChildWindows(HWND owner)
{
    int count = 0;
    for (HWND child = GetWindow(owner, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        ++count;
    return count;
}

template <class Host>
class HostLifecycleTest : public StandinSelectorTest {
protected:
    int Create(Host& host)
    {
        RECT rect = {0, 0, 320, 240};
        return host.Create(nullptr, WS_CHILD | WS_VISIBLE, rect, m_owner.Handle(), 0);
    }

    // The control inside the host's window, held for the caller.
    static IUnknown* ControlOf(const Host& host)
    {
        IUnknown* control = nullptr;
        axhost::AxGetControl(host.Handle(), &control);
        return control;
    }

};

using Hosts = ::testing::Types<CRealOCX, CVLCOCX, CFlashOCX, CFlvOCX, CWmpOCX>;
TYPED_TEST_SUITE(HostLifecycleTest, Hosts);

// Create and Destroy each happen once: a second Create keeps the first
// control, a second Destroy does nothing, and a destroyed host can be made
// again.
TYPED_TEST(HostLifecycleTest, DestroyUnadvisesBeforeTheControlGoesAndForgetsTheWindow)
{
    TypeParam host(&this->m_selector);
    ASSERT_EQ(1, this->Create(host));
    const HWND window = host.Handle();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(this->m_owner.Handle(), GetParent(window));
    IUnknown* control = this->ControlOf(host);
    ASSERT_NE(nullptr, control);
    EXPECT_TRUE(host.IsAdvised());
    EXPECT_EQ(1, Connections(control, host.EventInterface()));

    EXPECT_EQ(0, this->Create(host));
    EXPECT_EQ(window, host.Handle());
    EXPECT_EQ(1, Connections(control, host.EventInterface()));

    EXPECT_EQ(1, host.Destroy());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, host.Handle());
    EXPECT_FALSE(host.IsAdvised());
    // The control outlives the window only through this test's reference:
    // no sink of the host is left at it.
    EXPECT_EQ(0, Connections(control, host.EventInterface()));
    control->Release();
    EXPECT_EQ(0, host.Destroy());

    ASSERT_EQ(1, this->Create(host));
    EXPECT_TRUE(IsWindow(host.Handle()));
    EXPECT_TRUE(host.IsAdvised());
    EXPECT_EQ(1, host.Destroy());
    EXPECT_EQ(0, HostWindows(this->m_owner.Handle()));
}

// A host that ends without Destroy leaves its window to the parent, but
// unadvises and lets the control go.
TYPED_TEST(HostLifecycleTest, AHostEndingWithoutDestroyUnadvisesAndLeavesTheWindow)
{
    auto* host = new TypeParam(&this->m_selector);
    ASSERT_EQ(1, this->Create(*host));
    const HWND window = host->Handle();
    IUnknown* control = this->ControlOf(*host);
    ASSERT_NE(nullptr, control);
    const IID events = host->EventInterface();
    delete host;
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(0, Connections(control, events));
    control->Release();
    DestroyWindow(window);
}

// A control that cannot be made, or that the host refuses once made, leaves
// no window and no advised sink behind, and the host can try again.
TYPED_TEST(HostLifecycleTest, AFailedCreationLeavesNothingBehind)
{
    const Standin standin = StandinOf(static_cast<const TypeParam*>(nullptr));
    struct Case {
        const wchar_t* knob;
        const wchar_t* value;
    } cases[] = {{L"FAIL_CREATE", standin.name}, {standin.refusal, standin.refusalValue}};
    for (const Case& c : cases) {
        if (!c.knob)
            continue;
        SCOPED_TRACE(testing::Message() << "knob " << c.knob);
        TypeParam host(&this->m_selector);
        SetStandinKnob(c.knob, c.value);
        EXPECT_EQ(0, this->Create(host));
        EXPECT_EQ(nullptr, host.Handle());
        EXPECT_FALSE(host.IsAdvised());
        EXPECT_EQ(0, host.Destroy());
        EXPECT_EQ(0, HostWindows(this->m_owner.Handle()));
        SetStandinKnob(c.knob, nullptr);
        EXPECT_EQ(1, this->Create(host));
        EXPECT_EQ(1, host.Destroy());
    }
}

// Creating a host that exists keeps it: no second window or control, and
// the hosts the selector counts are gone with DestroyAll, hooks with them.
TEST_F(StandinSelectorTest, CreatingAHostThatExistsKeepsIt)
{
    struct Case {
        const char* what;
        int (*create)(CPlayerSelector&);
    };
    const Case cases[] = {
        {"Real", [](CPlayerSelector& s) { return s.CreateRealHost(); }},
        {"Flash", [](CPlayerSelector& s) { return s.CreateFlashHost(); }},
        {"FLV", [](CPlayerSelector& s) { return s.CreateFlvHost(L"movie.swf"); }},
        {"WMP", [](CPlayerSelector& s) { return s.CreateWmpHost(); }},
        {"DirectShow", [](CPlayerSelector& s) { return s.CreateDShowHost(); }},
        {"VLC", [](CPlayerSelector& s) { return s.CreateVlcHost(); }},
    };
    const HWND owner = m_owner.Handle();
    int made = 0;
    for (const Case& c : cases) {
        ASSERT_EQ(1, c.create(m_selector)) << c.what;
        ++made;
        EXPECT_EQ(made, ChildWindows(owner)) << c.what;
        EXPECT_EQ(1, c.create(m_selector)) << c.what;
        EXPECT_EQ(made, ChildWindows(owner)) << c.what << " made a second host";
    }
    // A full-screen lock hook stays only while a host is alive.
    InstallFullscreenLockHook();
    ASSERT_TRUE(IsFullscreenLockHookInstalled());
    m_selector.DestroyAll();
    EXPECT_EQ(0, ChildWindows(owner));
    EXPECT_FALSE(PlayerHooksInstalled());
}

// A new parent takes every host window that exists but the DirectShow
// host's, which stays where it was made.
TEST_F(StandinSelectorTest, ANewParentTakesTheHostWindowsButTheDirectShowOne)
{
    ASSERT_EQ(1, m_selector.CreateRealHost());
    ASSERT_EQ(1, m_selector.CreateFlvHost(L""));
    ASSERT_EQ(1, m_selector.CreateDShowHost());
    ASSERT_EQ(1, m_selector.CreateVlcHost());
    const HWND owner = m_owner.Handle();
    std::vector<HWND> hosts;
    for (HWND child = GetWindow(owner, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        hosts.push_back(child);
    ASSERT_EQ(4u, hosts.size());
    const HWND dshow = m_selector.DShowHost()->Handle();

    RecordingOwner other;
    m_selector.SetParentWindow(other.Handle());
    for (HWND host : hosts)
        EXPECT_EQ(host == dshow ? owner : other.Handle(), GetParent(host)) << host;
    // Hosts made from now on are made there.
    ASSERT_EQ(1, m_selector.CreateWmpHost());
    ASSERT_EQ(1, m_selector.CreateFlashHost());
    EXPECT_EQ(5, ChildWindows(other.Handle()));
    m_selector.SetParentWindow(owner);
    EXPECT_EQ(6, ChildWindows(owner));
    EXPECT_EQ(0, ChildWindows(other.Handle()));
}

}  // namespace
