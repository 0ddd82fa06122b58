// Two pages on one video, each a control in its own container: a line typed
// in one page's chat reaches the other page through the engines; while the
// other page's chat is hidden its chat button blinks, and opening the chat
// shows the line and ends the blinking.
#include "tests/control/ControlPage.h"

#include <richedit.h>

#include <gtest/gtest.h>

#include <string>

#include "control/ControlIds.h"
#include "tests/platform/StandinSupport.h"
#include "ui/chat/ChatIds.h"
#include "vod/VodCore.h"

namespace {

using namespace controltest;

using Page = ControlPage;

// Two pages of the test's own; the fixture's page stays unused.
class ControlChat : public ControlPageTest {
protected:
    void SetUp() override
    {
        ControlPageTest::SetUp();
        ASSERT_TRUE(tracker_.Ready()) << "run through the play_swarm fixture";
        ASSERT_TRUE(RegisterStandins());
        bag_.values[L"BufferTime"] = L"2";
    }

    nettest::FixtureControl tracker_{"TOVRA_TRACKER_PORT"};
};

TEST_F(ControlChat, ALineTypedInOnePageShowsInTheOther)
{
    bag_.values[L"Action"] = SeedAction();
    // The first viewer plays, and announces itself to the tracker after the
    // seed did: the second one then finds it.
    Page first;
    ASSERT_TRUE(first.Open(bag_));
    const int announced = tracker_.WaitCount("msg=peeron", 1, 0);
    ASSERT_TRUE(PumpUntil(
        [&] { return tracker_.WaitCount("msg=peeron", announced + 1, 0) > announced; }, kPlayBound))
        << tracker_.Get("/_state");
    Page second;
    ASSERT_TRUE(second.Open(bag_));
    auto connected = [](Page& page) {
        return page.Control().VodEngine() && page.Control().VodEngine()->GetSessionCount() >= 2;
    };
    ASSERT_TRUE(PumpUntil([&] { return connected(first) && connected(second); }, kPlayBound))
        << "each viewer holds the seed and the other viewer";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(second.Window(), IDC_CHAT)));

    // The first page's chat button opens its chat; the line goes out.
    first.Command(IDC_CHAT);
    ASSERT_TRUE(first.ChatShown());
    first.Say(L"hello from the first page");
    ASSERT_TRUE(
        PumpUntil([&] { return !second.Control().Chat().History().empty(); }, kPlayBound));
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
    ASSERT_TRUE(PumpUntil(
        [&] { return second.Log().find(L"second line") != std::wstring::npos; }, kPlayBound));
    EXPECT_FALSE(second.Control().ChatButton().blinking);
    second.Command(IDC_CHAT);
    EXPECT_FALSE(second.ChatShown());
}

}  // namespace
