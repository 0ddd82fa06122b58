#include "net/BandWidth.h"

#include <chrono>
#include <cstring>

namespace util {

namespace {

// Milliseconds from a to b; 0 when b lies before a (the clock was set back).
std::uint64_t ElapsedMs(const BandWidthTime& a, const BandWidthTime& b) {
    const std::int64_t ms = (b.seconds - a.seconds) * 1000 + std::int64_t(b.milliseconds) -
                            std::int64_t(a.milliseconds);
    return ms > 0 ? std::uint64_t(ms) : 0;
}

}  // namespace

BandWidthTime WallClockNow() {
    const std::int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    BandWidthTime t;
    t.seconds = ms / 1000;
    t.milliseconds = static_cast<unsigned>(ms % 1000);
    return t;
}

BandWidth::BandWidth(BandWidthClock clock)
    : m_clock(clock), m_receivedTotal(0), m_sentTotal(0) {
    m_start = m_clock();
    std::memset(m_received.slots, 0, sizeof m_received.slots);
    std::memset(m_sent.slots, 0, sizeof m_sent.slots);
    m_received.index = m_sent.index = 0;
    m_received.lastAdvance = m_sent.lastAdvance = m_start;
}

BandWidth::~BandWidth() = default;

void BandWidth::Add(Direction& d, std::uint32_t n) {
    const BandWidthTime now = m_clock();
    std::uint64_t k = ElapsedMs(d.lastAdvance, now) / kSlotMs;
    if (k > 0) {
        // Past five slots every slot is cleared; more turns change nothing.
        if (k > kSlots)
            k = kSlots + (k - kSlots) % kSlots;
        for (std::uint64_t i = 0; i < k; ++i) {
            d.index = (d.index + 1) % kSlots;
            d.slots[d.index] = 0;
        }
        d.lastAdvance = now;
    }
    d.slots[d.index] += n;
}

std::uint32_t BandWidth::CurrentRate(Direction& d) {
    Add(d, 0);
    std::uint64_t sum = 0;
    for (unsigned i = 0; i < kSlots; ++i)
        sum += d.slots[i];
    return static_cast<std::uint32_t>(sum / kSlots);
}

std::uint32_t BandWidth::AverageRate(std::uint64_t total) const {
    std::uint64_t slots = ElapsedMs(m_start, m_clock()) / kSlotMs;
    if (slots == 0)
        slots = 1;
    return static_cast<std::uint32_t>(total / slots);
}

void BandWidth::AddReceived(std::uint32_t n) {
    m_receivedTotal += n;
    Add(m_received, n);
}

void BandWidth::AddSent(std::uint32_t n) {
    m_sentTotal += n;
    Add(m_sent, n);
}

std::uint32_t BandWidth::CurrentReceiveRate() { return CurrentRate(m_received); }
std::uint32_t BandWidth::CurrentSendRate() { return CurrentRate(m_sent); }
std::uint32_t BandWidth::AverageReceiveRate() const { return AverageRate(m_receivedTotal); }
std::uint32_t BandWidth::AverageSendRate() const { return AverageRate(m_sentTotal); }

}  // namespace util
