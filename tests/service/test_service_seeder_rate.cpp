// The pacing of a serving session as a requester sees it: the rate each
// piece reports follows the loss the requester reports, window by window,
// and the seeder's upload limit caps both the rate and what leaves.
#include "tests/service/SeederTestBase.h"

#include <functional>

using seedtest::kWaitMs;

namespace {

// The distinct rates the pieces reported, in order.
std::vector<int> RateSteps(const std::vector<vodwire::Piece>& pieces) {
    std::vector<int> steps;
    for (const vodwire::Piece& p : pieces)
        if (steps.empty() || steps.back() != p.rate)
            steps.push_back(p.rate);
    return steps;
}

bool Seen(VodRequester& r, int rate) {
    for (const vodwire::Piece& p : r.Pieces())
        if (p.rate == rate)
            return true;
    return false;
}

class SeederRate : public seedtest::SeederTest {
protected:
    // Asks for one whole block of A after another, each once the previous
    // one is confirmed, reporting `loss` percent, until `enough` holds
    // (checked after each done) or `most` requests were made. The number of
    // requests made.
    std::uint32_t Drive(VodRequester& r, std::uint8_t loss, const std::function<bool()>& enough,
                        std::uint32_t most) {
        const std::uint32_t blocks[] = {0, 1, 3};
        std::uint32_t n = 0;
        while (n < most) {
            ++n;
            if (!r.Send(vodwire::RequestBlocks(n, {blocks[n % 3]}, loss)) ||
                !r.WaitDone(n, kWaitMs)) {
                ADD_FAILURE() << "request " << n << " was not confirmed";
                break;
            }
            if (enough())
                break;
        }
        return n;
    }

    VodRequester& Serving(int uploadLimit) {
        VodRequester& r = Connect(StartSeeder(uploadLimit));
        EXPECT_TRUE(r.Send(vodwire::Hello(1, pairs::kA, "")));
        EXPECT_TRUE(r.WaitHelloReplies(1, kWaitMs));
        return r;
    }
};

TEST_F(SeederRate, FallsWindowByWindowWhileThePeerReportsLoss) {
    VodRequester& r = Serving(0);
    Drive(r, 100, [&] { return Seen(r, 520); }, 200);
    EXPECT_EQ(RateSteps(r.Pieces()), (std::vector<int>{800, 760, 680, 520}));
    // Without an upload limit every piece of every request leaves.
    const std::vector<VodRequester::Done> dones = r.Dones();
    for (std::size_t i = 0; i < dones.size(); ++i)
        EXPECT_EQ(dones[i].piecesBefore, 48 * (i + 1)) << "request " << dones[i].number;
    EXPECT_EQ(m_seeder->GetPiecesRefused(), 0u);
    EXPECT_EQ(m_seeder->GetPiecesPassed(), r.PieceCount());
}

TEST_F(SeederRate, RisesWindowByWindowWithoutLoss) {
    VodRequester& r = Serving(0);
    Drive(r, 0, [&] { return Seen(r, 1080); }, 400);
    EXPECT_EQ(RateSteps(r.Pieces()), (std::vector<int>{800, 840, 920, 1080}));
}

TEST_F(SeederRate, TheUploadLimitCapsTheRateAndDropsWhatDoesNotFit) {
    // 40 kB/s: the rate is held at 320 kbit/s from the first adjustment on,
    // and while the meter's average is above 40,000 bytes a second, pieces
    // are not sent (the start rate of 800 kbit/s exceeds it).
    VodRequester& r = Serving(40);
    std::uint32_t settled = 0;
    const std::uint32_t made = Drive(r, 0, [&] { return Seen(r, 320) && ++settled > 3; }, 400);
    EXPECT_EQ(RateSteps(r.Pieces()), (std::vector<int>{800, 320}));
    EXPECT_LT(r.PieceCount(), 48u * made);
    std::size_t short_requests = 0, before = 0;
    for (const VodRequester::Done& d : r.Dones()) {
        short_requests += d.piecesBefore - before < 48 ? 1 : 0;
        before = d.piecesBefore;
    }
    EXPECT_GT(short_requests, 0u);
    EXPECT_GT(m_seeder->GetPiecesRefused(), 0u);
    EXPECT_EQ(m_seeder->GetPiecesPassed(), r.PieceCount());
}

}  // namespace
