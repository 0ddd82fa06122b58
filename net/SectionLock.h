#pragma once

#include <windows.h>

// A critical section that spins a while before it waits, and its scoped
// holder. For the locks on the path of every datagram: Wine waits on a
// contended critical section inside the process (a futex), where Boost's
// win32 mutex waits on an event, each wait and wake a wineserver round trip.
class SectionLock {
public:
    SectionLock() { InitializeCriticalSectionAndSpinCount(&m_section, kSpins); }
    ~SectionLock() { DeleteCriticalSection(&m_section); }
    SectionLock(const SectionLock&) = delete;
    SectionLock& operator=(const SectionLock&) = delete;

    void Lock() { EnterCriticalSection(&m_section); }
    void Unlock() { LeaveCriticalSection(&m_section); }

private:
    static const DWORD kSpins = 4000;
    CRITICAL_SECTION m_section;
};

class SectionHolder {
public:
    explicit SectionHolder(SectionLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~SectionHolder() { m_lock.Unlock(); }
    SectionHolder(const SectionHolder&) = delete;
    SectionHolder& operator=(const SectionHolder&) = delete;

private:
    SectionLock& m_lock;
};
