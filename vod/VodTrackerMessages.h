#pragma once

// The dictionaries of the tracker dialogue: one bencoded dictionary POSTed per
// request, one bencoded dictionary per reply. Windows-free.
//
//   request       keys
//   reqfileinfo   msg, hash
//   reqpeer       msg, cid, pid, hash, nums
//   peeron        msg, cid, pid, hash
//   peeroff       msg, cid, pid, hash
//
// "pid" is the 20 raw bytes of a peer id, "cid" the 64-bit content id.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/PeerId.h"
#include "vod/VodCandidate.h"

// Sizes beyond this are taken for a broken reply: the block map keeps one
// record per block of the file.
const std::int64_t kVodMaxFileSize = std::int64_t(16) << 30;
// At most this many "peer" entries of one reply are looked at.
const std::size_t kVodMaxTrackerPeers = 1024;

std::string BuildReqFileInfo(const std::string& hash);
std::string BuildReqPeer(std::int64_t cid, const PeerId& self, const std::string& hash,
                         std::int32_t nums);
std::string BuildPeerOn(std::int64_t cid, const PeerId& self, const std::string& hash);
std::string BuildPeerOff(std::int64_t cid, const PeerId& self, const std::string& hash);

// The reply to "reqfileinfo". True only for a dictionary whose "result" is
// "success" with integer "size" (1 to kVodMaxFileSize, or 0) and "bitrate";
// the bit rate keeps its low 32 bits.
struct VodFileInfo {
    std::int64_t size = 0;
    std::uint32_t bitRate = 0;
};
bool ParseFileInfoReply(const char* bytes, std::size_t length, VodFileInfo& info);

// The reply to "reqpeer".
struct VodPeerReply {
    bool success = false;        // a dictionary whose "result" is "success"
    bool hasPeerList = false;    // it held a "peer" key
    // The usable entries in reply order (each with all seven keys of the
    // right types); duplicates are kept, the caller's table keeps the last.
    std::vector<VodCandidate> candidates;
    std::string pwd;             // "pwd", read only beside a "peer" key
    std::string redirect;        // "redirect", read only without a "peer" key
};
// False when the bytes are not one dictionary.
bool ParsePeerReply(const char* bytes, std::size_t length, VodPeerReply& reply);

// Dotted IPv4 text to the address in network order as stored in a
// PeerEndpoint; 0xFFFFFFFF (INADDR_NONE) for anything but four numbers of
// 0 to 255.
std::uint32_t ParseDottedIpv4(const std::string& text);
