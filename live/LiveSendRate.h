#pragma once

#include <cstdint>

// The pace at which one session sends blocks to its peer, and how that pace
// follows the loss the peer reports. Each block counts 6,400 bits (800 bytes
// with the transport's share); the send timer fires every `period` whole
// milliseconds and the credit carries the fraction, so the average rate is
// exactly one block per `interval`.
//
// Every 3 s of sending, the averaged loss of the peer's requests decides:
// above 20 % down, at most 5 % up, else hold. The same decision again doubles
// the step (up to 16 x 40 kbit/s); a new one restarts at one step (a hold at
// none). The rate stays within 10 kbit/s .. 12.8 Mbit/s.
class LiveSendRate {
public:
    static constexpr std::uint32_t kLowest = 10000;
    static constexpr std::uint32_t kHighest = 12800000;
    static constexpr std::uint32_t kStep = 40000;
    static constexpr std::int32_t kMostSteps = 16;
    static constexpr std::uint32_t kDecideAfterMs = 3000;
    static constexpr std::uint32_t kDown = 0, kHold = 1, kUp = 2;

    // initialKbit: the engine's setting, taken x 1000 and kept in range.
    explicit LiveSendRate(std::int32_t initialKbit);

    // Interval and period from the rate; the credit starts again at 0.
    void SetSendInterval();
    // One timer period went by: the number of blocks due now.
    std::uint32_t Tick();
    // A request's two loss ratios; true when this changed the rate (and so
    // the interval and period).
    bool AddLossSample(float loss, float secondLoss);
    void UpdateSendRate();
    // Back to the state of a new session at the given rate.
    void Reset(std::int32_t initialKbit);

    std::uint32_t Rate() const { return m_rate; }
    std::uint32_t Period() const { return m_period; }
    float Interval() const { return m_interval; }
    std::uint32_t SendTime() const { return m_sendTime; }
    std::uint32_t Direction() const { return m_direction; }
    std::int32_t Step() const { return m_step; }
    float ReportedLoss() const { return m_reportedLoss; }

private:
    std::uint32_t m_direction = kHold;
    std::int32_t m_step = 0;
    std::uint32_t m_rate;
    std::uint32_t m_period = 1;
    float m_interval = 1;
    float m_credit = 0;
    std::uint32_t m_sendTime = 0;
    float m_lossSum = 0;
    float m_secondLossSum = 0;
    std::uint32_t m_samples = 0;
    float m_reportedLoss = 0;
    float m_secondReportedLoss = 0;
};

// The rate a new session assumes for its peer's sending until the peer's
// first block says otherwise: the engine's setting x 1000, at least 1 kbit/s.
std::uint32_t LiveAssumedPeerRate(std::int32_t kbit);

// Whether `blocks` blocks drain in less than half a second at `rate` bit/s:
// a peer with less than that queued for us may be asked for more.
bool LiveDrainsInHalfSecond(std::uint64_t blocks, std::uint32_t rate);
