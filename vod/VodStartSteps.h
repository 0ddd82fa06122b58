#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

// The steps from the engine's Start to the first byte a reader got, each the
// first time it was reached, in milliseconds after Start began (-1: not yet).
// Written on the engine thread, read by drivers and benchmarks on theirs, to
// show where the time to the first byte goes.
enum VodStartStep {
    VOD_STEP_STARTED,        // Start returned
    VOD_STEP_SIZE_KNOWN,     // the tracker told the size (when it was asked)
    VOD_STEP_PEERS_ASKED,    // "reqpeer" sent
    VOD_STEP_PEERS_FOUND,    // its reply named candidates
    VOD_STEP_CONNECTED,      // a connection came up (punched, connect accepted)
    VOD_STEP_ACCEPTED,       // a hello reply accepted: playback started
    VOD_STEP_REQUESTED,      // the first request for pieces sent
    VOD_STEP_FIRST_PIECE,    // the first piece arrived
    VOD_STEP_FIRST_READ,     // a reader's read first answered bytes
    VOD_STEP_COUNT
};

class VodStartSteps {
public:
    VodStartSteps() { Begin(); }

    void Begin()
    {
        m_begin = timeGetTime();
        for (std::atomic<int>& ms : m_ms)
            ms = -1;
    }

    void Mark(VodStartStep step)
    {
        int unset = -1;
        m_ms[step].compare_exchange_strong(unset, static_cast<int>(timeGetTime() - m_begin));
    }

    int Get(VodStartStep step) const { return m_ms[step]; }

    static const char* Name(VodStartStep step)
    {
        static const char* const names[VOD_STEP_COUNT] = {"started", "size", "asked", "found", "connected",
                                                           "accepted", "requested", "piece", "read"};
        return names[step];
    }

private:
    DWORD m_begin = 0;
    std::atomic<int> m_ms[VOD_STEP_COUNT];
};
