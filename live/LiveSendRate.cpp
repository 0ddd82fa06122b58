#include "live/LiveSendRate.h"

#include <algorithm>
#include <limits>

namespace {

const float kBlockBitMs = 6.4e6f;  // 6,400 bits per block, in bit x ms
const std::int64_t kLowestPeerRate = 1000;

std::uint32_t ClampRate(std::int64_t rate) {
    return static_cast<std::uint32_t>(std::max<std::int64_t>(
        LiveSendRate::kLowest, std::min<std::int64_t>(LiveSendRate::kHighest, rate)));
}

}  // namespace

LiveSendRate::LiveSendRate(std::int32_t initialKbit) : m_rate(ClampRate(std::int64_t(initialKbit) * 1000)) {
    SetSendInterval();
}

void LiveSendRate::Reset(std::int32_t initialKbit) {
    *this = LiveSendRate(initialKbit);
}

void LiveSendRate::SetSendInterval() {
    m_interval = kBlockBitMs / static_cast<float>(m_rate);
    m_period = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(m_interval));
    m_credit = 0;
}

std::uint32_t LiveSendRate::Tick() {
    m_sendTime += m_period;
    m_credit += static_cast<float>(m_period);
    std::uint32_t due = 0;
    while (m_credit >= m_interval) {
        ++due;
        m_credit -= m_interval;
    }
    return due;
}

bool LiveSendRate::AddLossSample(float loss, float secondLoss) {
    m_lossSum += loss;
    m_secondLossSum += secondLoss;
    ++m_samples;
    if (m_sendTime < kDecideAfterMs)
        return false;
    m_reportedLoss = m_lossSum / static_cast<float>(m_samples);
    m_secondReportedLoss = m_secondLossSum / static_cast<float>(m_samples);
    UpdateSendRate();
    m_lossSum = m_secondLossSum = 0;
    m_samples = 0;
    m_sendTime = 0;
    return true;
}

void LiveSendRate::UpdateSendRate() {
    const std::uint32_t decision = m_reportedLoss > 0.2f ? kDown : (m_reportedLoss <= 0.05f ? kUp : kHold);
    if (decision == m_direction) {
        m_step = std::max(-kMostSteps, std::min(kMostSteps, m_step * 2));
    } else {
        m_direction = decision;
        m_step = static_cast<std::int32_t>(decision) - 1;
    }
    // Signed 64-bit: a step down from a low rate must clamp, not wrap.
    if (m_step <= 0 || m_rate < kHighest)
        m_rate = ClampRate(std::int64_t(m_rate) + std::int64_t(m_step) * kStep);
    SetSendInterval();
}

std::uint32_t LiveAssumedPeerRate(std::int32_t kbit) {
    const std::int64_t rate = std::int64_t(kbit) * 1000;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(
        std::max(rate, kLowestPeerRate), std::numeric_limits<std::uint32_t>::max()));
}

bool LiveDrainsInHalfSecond(std::uint64_t blocks, std::uint32_t rate) {
    return static_cast<double>(blocks) * 6400.0 / static_cast<double>(std::max(rate, 1u)) < 0.5;
}
