// VodPeerSession against a host without a network core: the pacing and its
// rate adaptation, the settling of requests, and the bounds of what a remote
// announces.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include "vod/VodBlockMap.h"
#include "vod/VodPeerSession.h"

namespace {

const std::string kHash = "0123456789abcdef0123456789abcdef";

class Host : public IVodSessionHost {
public:
    ppn::PPNCore* Network() override { return nullptr; }
    CVodBlockMap* BlockMap() override { return map.get(); }
    HWND Window() override { return nullptr; }
    HANDLE TimerQueue() override { return nullptr; }
    const std::string& Hash() override { return hash; }
    const std::string& Referrer() override { return referrer; }
    std::uint32_t UploadRateKbit() override { return upload; }
    std::uint32_t DownloadRateKbit() override { return 400; }
    std::uint64_t ReadPosition() override { return 0; }
    std::uint32_t WindowEnd() override { return 30; }

    std::unique_ptr<CVodBlockMap> map{new CVodBlockMap(5 * 36864, 20)};   // five blocks
    std::string hash = kHash;
    std::string referrer;
    std::uint32_t upload = 400;
};

VodHelloMsg Hello(std::uint8_t version, std::uint8_t availability, std::size_t bits = 0)
{
    VodHelloMsg hello;
    hello.version = version;
    hello.form = VodHelloMsg::kFormStrings;
    hello.hash = kHash;
    hello.flags = VodHelloMsg::kFlagAvailability;
    hello.availability = availability;
    hello.blocks.resize(bits, true);
    return hello;
}

VodRequestMsg Request(std::uint32_t number, std::uint32_t block, std::uint8_t loss)
{
    VodRequestMsg request;
    request.number = number;
    request.blocks[block].resize(48, true);
    request.lossPercent = loss;
    return request;
}

void DropPostedMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

class VodPeerSessionTest : public ::testing::Test {
protected:
    void TearDown() override { DropPostedMessages(); }
    Host m_host;
};

}  // namespace

TEST_F(VodPeerSessionTest, PacingPeriodFollowsTheSendRate)
{
    struct Case {
        std::uint32_t kbit;
        double exact;
    } cases[] = {{400, 16.0}, {12800, 0.5}, {10, 640.0}};
    for (const Case& c : cases) {
        m_host.upload = c.kbit;
        VodPeerSession session(m_host, PeerId::FromBytes("p", 1), false, true);
        EXPECT_DOUBLE_EQ(session.PacingPeriod(), c.exact) << c.kbit;
    }
}

TEST_F(VodPeerSessionTest, ReportedLossLowersTheRateInGrowingStepsThenHolds)
{
    VodPeerSession session(m_host, PeerId::FromBytes("p", 1), false, false);
    session.OnHello(Hello(1, VodHelloMsg::kHoldsNone));
    ASSERT_TRUE(session.IsActive());
    // One request per 3-second window reports its loss; the pacing ticks
    // measure the sending time.
    const struct {
        std::uint8_t loss;
        std::uint32_t rate;
    } windows[] = {{30, 360000}, {30, 280000}, {30, 120000}, {10, 120000}, {0, 160000}};
    std::uint32_t number = 0;
    for (const auto& w : windows) {
        session.OnRequest(Request(++number, 0, w.loss));
        const std::uint32_t period = std::max(1u, static_cast<std::uint32_t>(session.PacingPeriod()));
        for (std::uint32_t ms = 0; ms < 3000; ms += period)
            session.OnPacingTick();
        EXPECT_EQ(session.SendRate(), w.rate) << int(w.loss);
    }
}

TEST_F(VodPeerSessionTest, DoneSettlesEveryRequestUpToItsNumber)
{
    VodPeerSession session(m_host, PeerId::FromBytes("p", 1), true, true);
    VodHelloMsg reply = Hello(1, VodHelloMsg::kHoldsAll);
    reply.flags |= VodHelloMsg::kFlagAccepted;
    session.OnHelloReply(reply);
    for (std::uint32_t block = 0; block < 4; ++block) {
        BlockBitFieldMap wanted;
        wanted[block].resize(48);
        wanted[block][block] = true;   // piece block x 49
        session.SendRequest(wanted);
    }
    session.OnDone(3);
    std::set<std::uint32_t> lost;
    session.TakeLost(lost);
    EXPECT_EQ(lost, (std::set<std::uint32_t>{0, 49, 98}));
    // Request 4 is still outstanding; an ended session hands it over too.
    EXPECT_EQ(session.End(), nullptr);
    lost.clear();
    session.TakeLost(lost);
    EXPECT_EQ(lost, (std::set<std::uint32_t>{147}));
}

TEST_F(VodPeerSessionTest, AvailabilityIsReadOnlyWithinTheFilesBlocks)
{
    struct Case {
        const char* name;
        std::uint8_t availability;
        std::size_t bits;
        bool holds[6];   // blocks 0-4 and block 5, beyond the file
    } cases[] = {
        {"all", VodHelloMsg::kHoldsAll, 0, {true, true, true, true, true, false}},
        {"none", VodHelloMsg::kHoldsNone, 0, {false, false, false, false, false, false}},
        {"long field", VodHelloMsg::kHoldsField, 100000, {true, true, true, true, true, false}},
        {"short field", VodHelloMsg::kHoldsField, 2, {true, true, false, false, false, false}},
    };
    for (const Case& c : cases) {
        VodPeerSession session(m_host, PeerId::FromBytes("p", 1), false, false);
        session.OnHello(Hello(1, c.availability, c.bits));
        for (std::uint32_t b = 0; b < 6; ++b)
            EXPECT_EQ(session.HoldsBlock(b), c.holds[b]) << c.name << " block " << b;
        // A have naming blocks far beyond the file changes nothing there.
        session.OnHave({{2, 1}, {5, 1}, {0xFFFFFFFFu, 1}});
        EXPECT_TRUE(session.HoldsBlock(2)) << c.name;
        EXPECT_FALSE(session.HoldsBlock(5)) << c.name;
        EXPECT_FALSE(session.HoldsBlock(0xFFFFFFFFu)) << c.name;
    }
}

TEST_F(VodPeerSessionTest, RequestsQueueOnlyPiecesOfTheFileUpToTheLimit)
{
    // Blocks beyond the five of the file, up to one whose piece numbers
    // would wrap, queue nothing.
    VodPeerSession session(m_host, PeerId::FromBytes("p", 1), false, false);
    session.OnHello(Hello(1, VodHelloMsg::kHoldsNone));
    VodRequestMsg request = Request(1, 4, 0);
    for (std::uint32_t block : {5u, 89478486u, 0xFFFFFFFFu})
        request.blocks[block].resize(48, true);
    session.OnRequest(request);
    EXPECT_EQ(session.QueuedPieceCount(), 48u);

    // A remote asking for every piece of a long file gets at most the
    // limit queued, however often it asks.
    m_host.map.reset(new CVodBlockMap(300 * 36864, 20));
    VodPeerSession greedy(m_host, PeerId::FromBytes("q", 1), false, false);
    greedy.OnHello(Hello(1, VodHelloMsg::kHoldsNone));
    for (std::uint32_t number = 1; number <= 2; ++number) {
        VodRequestMsg all;
        all.number = number;
        for (std::uint32_t block = 0; block < 300; ++block)
            all.blocks[block].resize(48, true);
        greedy.OnRequest(all);
        EXPECT_EQ(greedy.QueuedPieceCount(), VodPeerSession::kMostQueuedPieces) << number;
    }
}

TEST_F(VodPeerSessionTest, HelloBeforeTheSizeIsKnownReadsNoBlockMap)
{
    m_host.map.reset();
    VodPeerSession session(m_host, PeerId::FromBytes("p", 1), false, false);
    session.OnHello(Hello(1, VodHelloMsg::kHoldsField, 64));
    EXPECT_TRUE(session.IsActive());
    EXPECT_FALSE(session.HoldsBlock(0));
    session.SendHelloReply(true);   // announces nothing, reads no map
    session.OnRequest(Request(1, 0, 0));
    session.OnPacingTick();
}

TEST_F(VodPeerSessionTest, RefusedHelloLeavesTheSessionInactive)
{
    for (const std::string& hash : {kHash, std::string("00000000000000000000000000000000")}) {
        VodPeerSession session(m_host, PeerId::FromBytes("p", 1), false, false);
        VodHelloMsg hello = Hello(hash == kHash ? 2 : 1, VodHelloMsg::kHoldsAll);
        hello.hash = hash;
        session.OnHello(hello);
        EXPECT_FALSE(session.IsActive());
        EXPECT_FALSE(session.HoldsBlock(0));
    }
}
