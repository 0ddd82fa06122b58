#pragma once

// The live channel's dictionaries of the tracker dialogue: one bencoded
// dictionary POSTed per request, one per reply. Windows-free.
//
//   request   keys
//   reqpeer   msg, cid, peertype, pid, nums
//   peeron    msg, cid, peertype, peer (a list of one string: our 20-byte id)
//
//   reqpeer reply   result "success"; peer: list of entries (pid, wip, wport,
//                   lip, lport, gwtype, nodetype); time: the channel's newest
//                   piece; pwd: an optional password challenge

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "live/LiveCandidate.h"
#include "net/PeerId.h"

const std::int32_t kLivePeersAsked = 50;

std::string BuildLiveReqPeer(std::uint64_t cid, std::int32_t peerType, const PeerId& self,
                             std::int32_t nums = kLivePeersAsked);
std::string BuildLivePeerOn(std::uint64_t cid, std::int32_t peerType, const PeerId& self);

struct LivePeerReply {
    bool success = false;   // a dictionary whose "result" is "success"
    // Usable entries in reply order (all seven keys of the right types);
    // duplicates are kept, the engine's table keeps the last.
    std::vector<LiveCandidate> candidates;
    bool hasTime = false;
    std::uint32_t time = 0;  // "time", the live point
    std::string pwd;
};
// False when the bytes are not one dictionary; a reply that is not a success
// leaves the rest empty.
bool ParseLivePeerReply(const char* bytes, std::size_t length, LivePeerReply& reply);
