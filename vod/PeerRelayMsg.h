#pragma once

#include <cstdint>
#include <string>

#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"
#include "net/PeerId.h"

// A text flooded among the peers of one video (message 9) or live channel
// (message 0x2B):
//
//   +--------------+----------+---------+--------+--------------+
//   | str16 origin | u32 seq  | u8 kind | u8 hop | str16 text   |
//   | (20 bytes)   |          |         |        | (opaque)     |
//   +--------------+----------+---------+--------+--------------+
//
// The sequence counts up per origin from 1; each forwarding peer lowers the
// hop count, and a peer that receives it at 1 shows it without forwarding.
struct PeerRelayMsg {
    // Kind of a text for the owner window (a chat record); other kinds are
    // flooded but not shown.
    static constexpr std::uint8_t kKindText = 1;
    static constexpr std::uint8_t kFirstHopCount = 5;

    PeerId origin = PeerId::FromBytes("", 0);
    std::uint32_t sequence = 0;
    std::uint8_t kind = 0;
    std::uint8_t hops = kFirstHopCount;
    std::string text;

    // A chat text of this peer's own, as it starts its flood.
    static PeerRelayMsg OwnText(const PeerId& self, std::uint32_t sequence, const std::string& text) {
        PeerRelayMsg message;
        message.origin = self;
        message.sequence = sequence;
        message.kind = kKindText;
        message.hops = kFirstHopCount;
        message.text = text;
        return message;
    }

    void Pack(nps::Pack& pack) const;

    // An origin that is not exactly 20 bytes makes the message malformed
    // (nps::unpack_error): it names no peer, and the relay table is keyed by
    // whole ids.
    void Unpack(nps::Unpack& unpack);
};
