#pragma once

#include <cstdint>

#include "net/PeerAddress.h"

// One hole-punching session, on either side.
struct UHSession {
    enum State {
        kAsked = 1,       // introduction requested through the NAT server
        kPeerKnown = 2,   // the peer's endpoint is known; punching
        kPunched = 3,
    };
    // Bit 0: this host started the session (only those are retried, reported
    // and failed). Bit 1: set on every session.
    static const std::uint8_t kStartedHere = 0x01;
    static const std::uint8_t kAnySession = 0x02;

    PeerAddress peer;  // first: listeners read the peer through the session pointer
    PeerAddress own;   // the core's address when made; public part refreshed by 20 and 21
    std::uint16_t id;
    int state;
    std::uint8_t flags;
    std::uint16_t one;  // the 1 sent in every message
    int sendCount;
    int tag;
    std::int64_t activityMs;

    bool StartedHere() const { return (flags & kStartedHere) != 0; }
    bool Punched() const { return state == kPunched; }
};
