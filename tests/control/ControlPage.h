#pragma once
// The control on a page of the tests: a window of the test's, the
// container's site over it, and the control loaded from a property bag,
// its events recorded and activated in place. Beside it, the parameters
// that lead the control to the swarm fixture's servers and the pump that
// waits on the page's thread with a bound.
#include <winsock2.h>
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/CCStreamView.h"
#include "tests/common/MessagePump.h"
#include "ui/chat/ChatIds.h"
#include "tests/net/NetTestSupport.h"
#include "tests/tools/OleTestHost.h"

namespace controltest {

// A wait on the fixture's servers; a wait through the engines until a
// video plays takes the longer one.
const DWORD kBound = 15000;
const DWORD kPlayBound = 60000;

// A video that no seed holds: the engine opens it and finds no data.
const wchar_t kHash[] = L"0123456789abcdef0123456789abcdef";

inline std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// ASCII as it is, anything else as '?': for failure messages.
inline std::string Narrow(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text)
        bytes += c < 128 ? static_cast<char>(c) : '?';
    return bytes;
}

// Pumps the page's thread until done() holds or the bound passed.
inline bool PumpUntil(const std::function<bool()>& done, DWORD bound = kBound)
{
    return PumpMessagesUntil(done, bound);
}

inline std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

// The message boxes this thread shows while it lives: caption and text
// recorded, each ended at once with the given answer.
class AnsweredBoxes {
public:
    struct Box {
        std::wstring caption, text;
    };
    explicit AnsweredBoxes(WPARAM answer = IDOK)
    {
        seen_.clear();
        answer_ = answer;
        hook_ = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    }
    ~AnsweredBoxes() { UnhookWindowsHookEx(hook_); }
    AnsweredBoxes(const AnsweredBoxes&) = delete;
    AnsweredBoxes& operator=(const AnsweredBoxes&) = delete;

    const std::vector<Box>& Seen() const { return seen_; }

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_ACTIVATE) {
            HWND box = reinterpret_cast<HWND>(wParam);
            wchar_t name[32] = {}, caption[256] = {}, text[512] = {};
            GetClassNameW(box, name, 32);
            if (std::wstring(name) == L"#32770") {
                GetWindowTextW(box, caption, 256);
                GetDlgItemTextW(box, 0xFFFF, text, 512);
                seen_.push_back({caption, text});
                PostMessageW(box, WM_COMMAND, answer_, 0);
            }
        }
        return CallNextHookEx(hook_, code, wParam, lParam);
    }
    static inline std::vector<Box> seen_;
    static inline WPARAM answer_ = IDOK;
    static inline HHOOK hook_ = nullptr;
};

// An environment variable the fixture sets, empty when it is missing.
inline std::wstring FixtureText(const char* name)
{
    const char* value = std::getenv(name);
    return Wide(value ? value : "");
}

// The Action of the one FLV that the play_swarm fixture's seed holds.
inline std::wstring SeedAction()
{
    return L"cid=" + FixtureText("TOVRA_SEED_CID") + L"&hash=" + FixtureText("TOVRA_SEED_HASH") +
           L"&mime=flv&size=" + FixtureText("TOVRA_SEED_SIZE") + L"&bitrate=200000";
}

// The page's parameters: the swarm fixture's NAT server and tracker, a video
// of kHash, ports of the tests' own range, nothing cached on disk.
inline void PointAtSwarm(olehost::TextBag& bag)
{
    bag.values[L"Nat"] = L"127.0.0.1:" + std::to_wstring(nettest::FixturePort("TOVRA_NAT_PORT"));
    bag.values[L"Stun"] = L"127.0.0.1";
    bag.values[L"Cgi"] = Wide(nettest::FixtureUrl("TOVRA_TRACKER_PORT", "/cgi-bin/vod.fcgi"));
    bag.values[L"Action"] = std::wstring(L"cid=4242&hash=") + kHash + L"&mime=flv";
    bag.values[L"PortRange"] = L"20000:20100";
    bag.values[L"EnableCacheData"] = L"0";
}

// One page with one control on it. Close (or the destructor) takes it off
// again and fails the test if anything still holds the control.
class ControlPage {
public:
    ControlPage() = default;
    ControlPage(const ControlPage&) = delete;
    ControlPage& operator=(const ControlPage&) = delete;
    ~ControlPage() { Close(); }

    // The page's window, the control loaded from the bag with the sink
    // advised, then activated in place. With a browser, the site hands it
    // out as the page's top-level one (the caller keeps its reference).
    ::testing::AssertionResult Open(olehost::TextBag& bag, IUnknown* topBrowser = nullptr)
    {
        return Make(&bag, topBrowser);
    }
    // A page that gives the control no parameters: it is never loaded.
    ::testing::AssertionResult Open() { return Make(nullptr, nullptr); }

    void Close()
    {
        if (!control_)
            return;
        EXPECT_EQ(LetGo(), 0u);
        site_.reset();
        DestroyWindow(page_);
        page_ = nullptr;
    }

    CCStreamView& Control() { return *control_; }
    HWND Window() const { return control_->Window(); }

    // The viewer's hand: a button of the control pressed, a chat line sent.
    void Command(int id) { SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool ChatShown() { return control_->Chat().Handle() && IsWindowVisible(control_->Chat().Handle()); }
    std::wstring Log() { return WindowText(control_->Chat().Log().Handle()); }
    void Say(const wchar_t* line)
    {
        SetWindowTextW(control_->Chat().Input().Handle(), line);
        SendMessageW(control_->Chat().Handle(), WM_COMMAND, IDC_CHAT_SEND, 0);
    }

protected:
    // The page lets go of the control as a browser does: its sink unadvised,
    // the object closed, its site taken and every reference released. The
    // control's own count after the last.
    ULONG LetGo()
    {
        if (point_) {
            point_->Unadvise(cookie_);
            point_->Release();
            point_ = nullptr;
        }
        ole_->Close(OLECLOSE_NOSAVE);
        ole_->SetClientSite(nullptr);
        ole_->Release();
        ole_ = nullptr;
        dispatch_->Release();
        dispatch_ = nullptr;
        const ULONG left = control_->Release();
        control_ = nullptr;
        return left;
    }

    HWND page_ = nullptr;
    std::optional<olehost::TestSite> site_;
    CCStreamView* control_ = nullptr;
    IDispatch* dispatch_ = nullptr;
    IOleObject* ole_ = nullptr;
    olehost::EventSink sink_;
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;

private:
    ::testing::AssertionResult Make(olehost::TextBag* bag, IUnknown* topBrowser)
    {
        page_ = CreateWindowExW(0, L"Static", L"page", WS_POPUP | WS_VISIBLE, 50, 50, 600, 500,
                                nullptr, nullptr, nullptr, nullptr);
        site_.emplace(page_);
        site_->topBrowser = topBrowser;
        control_ = new CCStreamView();
        control_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
        control_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole_));
        if (bag) {
            IPersistPropertyBag* persist = nullptr;
            control_->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist));
            const HRESULT loaded = persist->Load(bag, nullptr);
            persist->Release();
            if (loaded != S_OK)
                return ::testing::AssertionFailure() << "Load gave " << std::hex << loaded;
        }
        IConnectionPointContainer* container = nullptr;
        control_->QueryInterface(IID_IConnectionPointContainer,
                                 reinterpret_cast<void**>(&container));
        container->FindConnectionPoint(DIID__IVodEvents, &point_);
        container->Release();
        if (!point_ || point_->Advise(&sink_, &cookie_) != S_OK)
            return ::testing::AssertionFailure() << "the event sink was not advised";
        if (ole_->SetClientSite(&*site_) != S_OK)
            return ::testing::AssertionFailure() << "SetClientSite failed";
        RECT place = {0, 0, 400, 300};
        const HRESULT active =
            ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &*site_, 0, page_, &place);
        if (active != S_OK)
            return ::testing::AssertionFailure() << "DoVerb gave " << std::hex << active;
        if (!control_->Window())
            return ::testing::AssertionFailure() << "the control made no window";
        return ::testing::AssertionSuccess();
    }
};

// A test suite's fixture with one page of its own: bag_ holds the swarm's
// parameters for the test to change before Activate.
class ControlPageTest : public ::testing::Test, protected ControlPage {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    void SetUp() override { PointAtSwarm(bag_); }
    void TearDown() override { Close(); }

    void Activate(IUnknown* topBrowser = nullptr) { ASSERT_TRUE(Open(bag_, topBrowser)); }

    olehost::TextBag bag_;
};

}  // namespace controltest
