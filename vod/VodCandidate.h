#pragma once

#include <cstdint>
#include <map>

#include "net/PeerAddress.h"
#include "net/PeerId.h"

// One peer known from the tracker.
struct VodCandidate {
    static constexpr std::uint8_t kNodeSeed = 1;

    PeerAddress address;
    std::uint8_t gatewayType = 0;
    std::uint8_t nodeType = 0;       // kNodeSeed: a service holding the whole video
    std::uint8_t tries = 0;
    std::uint32_t failureTime = 0;   // timeGetTime of the last failure

    bool IsSeed() const { return nodeType == kNodeSeed; }
};

typedef std::map<PeerId, VodCandidate, PeerIdLess> VodCandidateTable;
