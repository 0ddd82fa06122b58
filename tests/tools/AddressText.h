#pragma once

// Peer addresses as the drivers print and read them: the packed address in
// lower-case hexadecimal text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"
#include "common/text/HexText.h"
#include "net/PeerAddress.h"

// The bytes of hexadecimal text, two digits a byte (an odd last digit is
// dropped).
inline std::string BytesFromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
    return bytes;
}

inline std::string AddressHex(const PeerAddress& address) {
    nps::DefaultBlockBuffer buffer;
    nps::Pack pack(buffer);
    PackPeerAddress(pack, address);
    return LowerHex(buffer.data, buffer.size);
}

// True when the text is exactly one packed address.
inline bool ParseAddressHex(const std::string& hex, PeerAddress& address) {
    const std::string bytes = BytesFromHex(hex);
    try {
        nps::Unpack unpack(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        UnpackPeerAddress(unpack, address);
        return unpack.left == 0;
    } catch (const nps::base_pack_error&) {
        return false;
    }
}
