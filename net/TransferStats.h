#pragma once

#include <boost/thread/mutex.hpp>

#include "net/BandWidth.h"

// A bandwidth meter with its own lock, for meters that several threads feed.
// Every operation takes the lock, the rate readings too: they advance the slots.
class TransferStats {
public:
    explicit TransferStats(util::BandWidthClock clock = &util::WallClockNow) : m_meter(clock) {}

    void AddReceived(std::uint32_t n) {
        boost::mutex::scoped_lock lock(m_mutex);
        m_meter.AddReceived(n);
    }
    void AddSent(std::uint32_t n) {
        boost::mutex::scoped_lock lock(m_mutex);
        m_meter.AddSent(n);
    }
    std::uint64_t ReceivedTotal() {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_meter.ReceivedTotal();
    }
    std::uint64_t SentTotal() {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_meter.SentTotal();
    }
    std::uint32_t CurrentReceiveRate() {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_meter.CurrentReceiveRate();
    }
    std::uint32_t CurrentSendRate() {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_meter.CurrentSendRate();
    }
    std::uint32_t AverageReceiveRate() {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_meter.AverageReceiveRate();
    }
    std::uint32_t AverageSendRate() {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_meter.AverageSendRate();
    }

private:
    boost::mutex m_mutex;  // guards m_meter
    util::BandWidth m_meter;
};
