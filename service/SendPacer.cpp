#include "service/SendPacer.h"

#include <algorithm>

void SendPacer::SetPeriod(float exactMs) {
    m_periodUs = std::max<std::int64_t>(1, static_cast<std::int64_t>(exactMs * 1000.0f));
    m_creditUs = 0;
}

void SendPacer::Start(std::int64_t nowUs) {
    m_lastUs = nowUs;
}

int SendPacer::Tick(std::int64_t nowUs) {
    // A clock that went back credits nothing.
    const std::int64_t passed = std::max<std::int64_t>(0, nowUs - m_lastUs);
    m_lastUs = nowUs;
    m_creditUs = std::min(m_creditUs + passed, kMaxPieces * m_periodUs);
    m_carryUs += passed;
    const std::int64_t ms = std::min<std::int64_t>(m_carryUs / 1000, 0x7FFFFFFF);
    m_carryUs -= ms * 1000;
    return static_cast<int>(ms);
}
