#pragma once

#include <cstdint>

// Time credit of a session's send tick. Each tick credits the time that
// really passed since the previous one, so a late or skipped timer wake-up
// loses nothing; a piece is due per exact period of credit, and credit a
// tick could not spend (nothing was ready yet) stays for the next tick.
// Credit never exceeds kMaxPieces periods: after a stall, or while the
// requests ran dry, at most kMaxPieces pieces leave at once.
//
// Times are microseconds of a monotonic clock, passed in by the caller.
class SendPacer {
public:
    static constexpr int kMaxPieces = 8;

    // A new exact period (ms) drops the credit, as a rate change starts anew.
    void SetPeriod(float exactMs);
    // The send timer was made at `nowUs`: its first tick credits from there.
    void Start(std::int64_t nowUs);
    // The tick at `nowUs`: credits the time since the previous tick (or the
    // start) and answers that time in whole ms, unbounded, for the
    // caller's own measure of elapsed time.
    int Tick(std::int64_t nowUs);
    bool Due() const { return m_creditUs >= m_periodUs; }
    // One piece left: its period of credit is spent.
    void Spend() { m_creditUs -= m_periodUs; }

private:
    std::int64_t m_periodUs = 1000;
    std::int64_t m_creditUs = 0;
    std::int64_t m_lastUs = 0;
    std::int64_t m_carryUs = 0;  // elapsed time below one ms not yet answered
};
