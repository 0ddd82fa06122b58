// Two pages on one video, each a control in its own container: a line typed
// in one page's chat reaches the other page through the engines; while the
// other page's chat is hidden its chat button blinks, and opening the chat
// shows the line and ends the blinking.
#include <winsock2.h>
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "control/CCStreamView.h"
#include "control/ControlIds.h"
#include "tests/net/NetTestSupport.h"
#include "tests/platform/StandinSupport.h"
#include "tests/tools/OleTestHost.h"
#include "ui/chat/ChatIds.h"
#include "vod/VodCore.h"

namespace {

const DWORD kBound = 60000;

std::wstring Wide(const char* text)
{
    const std::string bytes = text ? text : "";
    return std::wstring(bytes.begin(), bytes.end());
}

bool PumpUntil(const std::function<bool()>& done, DWORD bound = kBound)
{
    const DWORD begin = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (GetTickCount() - begin >= bound)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

// One page: its window, the container's site and an activated control with
// the page's parameters.
class Page {
public:
    explicit Page(olehost::TextBag& bag)
    {
        window_ = CreateWindowExW(0, L"Static", L"page", WS_POPUP | WS_VISIBLE, 50, 50, 600, 500,
                                  nullptr, nullptr, nullptr, nullptr);
        site_.emplace(window_);
        control_ = new CCStreamView();
        control_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole_));
        IPersistPropertyBag* persist = nullptr;
        control_->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist));
        loaded_ = persist->Load(&bag, nullptr) == S_OK;
        persist->Release();
        RECT place = {0, 0, 400, 300};
        activated_ = ole_->SetClientSite(&*site_) == S_OK &&
                     ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &*site_, 0, window_,
                                  &place) == S_OK;
    }
    ~Page()
    {
        ole_->Close(OLECLOSE_NOSAVE);
        ole_->SetClientSite(nullptr);
        ole_->Release();
        EXPECT_EQ(control_->Release(), 0u);
        site_.reset();
        DestroyWindow(window_);
    }
    bool Ready() const { return loaded_ && activated_ && control_->Window(); }
    CCStreamView& Control() { return *control_; }
    HWND Window() const { return control_->Window(); }
    void Command(int id) { SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool ChatShown() { return control_->Chat().Handle() && IsWindowVisible(control_->Chat().Handle()); }
    std::wstring Log() { return WindowText(control_->Chat().Log().Handle()); }
    void Say(const wchar_t* line)
    {
        SetWindowTextW(control_->Chat().Input().Handle(), line);
        SendMessageW(control_->Chat().Handle(), WM_COMMAND, IDC_CHAT_SEND, 0);
    }

private:
    HWND window_ = nullptr;
    std::optional<olehost::TestSite> site_;
    CCStreamView* control_ = nullptr;
    IOleObject* ole_ = nullptr;
    bool loaded_ = false, activated_ = false;
};

class ControlChat : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    void SetUp() override
    {
        ASSERT_TRUE(tracker_.Ready()) << "run through the play_swarm fixture";
        ASSERT_TRUE(RegisterStandins());
        bag_.values[L"Nat"] =
            L"127.0.0.1:" + std::to_wstring(nettest::FixturePort("TOVRA_NAT_PORT"));
        bag_.values[L"Stun"] = L"127.0.0.1";
        bag_.values[L"Cgi"] = L"http://127.0.0.1:" +
                              std::to_wstring(nettest::FixturePort("TOVRA_TRACKER_PORT")) +
                              L"/cgi-bin/vod.fcgi";
        bag_.values[L"PortRange"] = L"20000:20100";
        bag_.values[L"EnableCacheData"] = L"0";
        bag_.values[L"BufferTime"] = L"2";
    }

    nettest::FixtureControl tracker_{"TOVRA_TRACKER_PORT"};
    olehost::TextBag bag_;
};

TEST_F(ControlChat, ALineTypedInOnePageShowsInTheOther)
{
    bag_.values[L"Action"] = L"cid=" + Wide(std::getenv("TOVRA_SEED_CID")) + L"&hash=" +
                             Wide(std::getenv("TOVRA_SEED_HASH")) + L"&mime=flv&size=" +
                             Wide(std::getenv("TOVRA_SEED_SIZE")) + L"&bitrate=200000";
    // The first viewer plays, and announces itself to the tracker after the
    // seed did: the second one then finds it.
    Page first(bag_);
    ASSERT_TRUE(first.Ready());
    const int announced = tracker_.WaitCount("msg=peeron", 1, 0);
    ASSERT_TRUE(PumpUntil([&] { return tracker_.WaitCount("msg=peeron", announced + 1, 0) > announced; }))
        << tracker_.Get("/_state");
    Page second(bag_);
    ASSERT_TRUE(second.Ready());
    auto connected = [](Page& page) {
        return page.Control().VodEngine() && page.Control().VodEngine()->GetSessionCount() >= 2;
    };
    ASSERT_TRUE(PumpUntil([&] { return connected(first) && connected(second); }))
        << "each viewer holds the seed and the other viewer";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(second.Window(), IDC_CHAT)));

    // The first page's chat button opens its chat; the line goes out.
    first.Command(IDC_CHAT);
    ASSERT_TRUE(first.ChatShown());
    first.Say(L"hello from the first page");
    ASSERT_TRUE(PumpUntil([&] { return !second.Control().Chat().History().empty(); }));
    EXPECT_FALSE(second.ChatShown());

    // Hidden chat: the button blinks, its picture flipping on its timer.
    EXPECT_TRUE(second.Control().ChatButton().blinking);
    const int seen = second.Control().ChatButton().drawnState;
    EXPECT_TRUE(PumpUntil([&] { return second.Control().ChatButton().drawnState != seen; }, 5000));
    EXPECT_TRUE(PumpUntil([&] { return second.Control().ChatButton().drawnState == seen; }, 5000));

    // Opening the chat shows the line and ends the blinking.
    second.Command(IDC_CHAT);
    ASSERT_TRUE(second.ChatShown());
    EXPECT_FALSE(second.Control().ChatButton().blinking);
    EXPECT_NE(second.Log().find(L"hello from the first page"), std::wstring::npos)
        << "log: " << std::string(second.Log().begin(), second.Log().end());

    // With the chat on screen a line goes straight to the log, no blinking;
    // the button hides it again.
    ASSERT_TRUE(PumpUntil([&] { return first.Control().Chat().CanSend(); }, 5000));
    first.Say(L"second line");
    ASSERT_TRUE(PumpUntil([&] { return second.Log().find(L"second line") != std::wstring::npos; }));
    EXPECT_FALSE(second.Control().ChatButton().blinking);
    second.Command(IDC_CHAT);
    EXPECT_FALSE(second.ChatShown());
}

}  // namespace
