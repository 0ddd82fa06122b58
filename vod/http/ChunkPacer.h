#pragma once

#include <cstdint>

// Keeps full data chunks at most one per period, by deadline: the wait before
// a chunk is measured from the previous chunk's deadline, not from the end of
// the work after it, so the time spent reading and sending (and a sleep that
// wakes late) does not stretch the period. A connection that fell more than a
// period behind (a client that stopped reading) starts a new cadence instead
// of catching up, so no burst beyond one chunk of credit follows a stall.
// Windows-free: the caller gives the time.
class ChunkPacer {
public:
    explicit ChunkPacer(std::uint64_t periodUs) : m_periodUs(periodUs) {}

    // How long to wait, in microseconds, before the full chunk that is ready
    // at nowUs goes out; the chunk counts as sent at the end of that wait.
    std::uint64_t WaitBefore(std::uint64_t nowUs);

private:
    const std::uint64_t m_periodUs;
    bool m_started = false;
    std::uint64_t m_deadlineUs = 0;
};
