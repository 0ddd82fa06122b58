#pragma once

// Building live peer messages for tests, Windows-free.
#include <cstdint>
#include <string>

#include "common/pack/BlockBuffer.h"
#include "live/LiveMessages.h"

inline std::string LivePacked(const LiveMessage& message) {
    nps::DefaultBlockBuffer buffer;
    PackLiveMessage(message, buffer);
    return std::string(buffer.data, buffer.size);
}

// A hello (or reply) of the given flags; with flag bit 0 it shows `bits`
// pieces from `start`.
inline LiveMessage LiveHello(std::uint8_t type, std::uint8_t flags, std::uint64_t channel,
                             std::uint32_t start = 0, std::size_t bits = 0) {
    LiveMessage m;
    m.type = type;
    m.hello.kind = type;
    m.hello.flags = flags;
    m.hello.channel = channel;
    m.hello.start = start;
    m.hello.availability.resize(bits, true);
    return m;
}
