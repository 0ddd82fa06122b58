#pragma once

#include <cstdint>

namespace util {

// A wall-clock reading: whole seconds and the milliseconds within them.
struct BandWidthTime {
    std::int64_t seconds;
    unsigned milliseconds;
};

typedef BandWidthTime (*BandWidthClock)();

BandWidthTime WallClockNow();

// Counts bytes in each direction and answers the total, the current rate (the
// last five one-second slots, divided by five) and the average since the meter
// was made. No lock: the owner calls it under its own mutex (TransferStats
// adds one). Reading a current rate advances the slots, so it writes too.
class BandWidth {
public:
    static const unsigned kSlotMs = 1000;
    static const unsigned kSlots = 5;

    // The clock is for tests; the meter reads the wall clock otherwise.
    explicit BandWidth(BandWidthClock clock = &WallClockNow);
    virtual ~BandWidth();

    void AddReceived(std::uint32_t n);
    void AddSent(std::uint32_t n);

    std::uint64_t ReceivedTotal() const { return m_receivedTotal; }
    std::uint64_t SentTotal() const { return m_sentTotal; }

    std::uint32_t CurrentReceiveRate();
    std::uint32_t CurrentSendRate();

    std::uint32_t AverageReceiveRate() const;
    std::uint32_t AverageSendRate() const;

private:
    struct Direction {
        std::uint32_t slots[kSlots];
        unsigned index;
        BandWidthTime lastAdvance;
    };

    void Add(Direction& d, std::uint32_t n);
    std::uint32_t CurrentRate(Direction& d);
    std::uint32_t AverageRate(std::uint64_t total) const;

    BandWidthClock m_clock;
    Direction m_received;
    Direction m_sent;
    BandWidthTime m_start;
    std::uint64_t m_receivedTotal;
    std::uint64_t m_sentTotal;
};

}  // namespace util
