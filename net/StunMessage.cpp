#include "net/StunMessage.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <x86intrin.h>

namespace {

bool g_verbose = false;

std::uint16_t Read16(const unsigned char* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

std::uint32_t Read32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

void Write16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

void Write32(unsigned char* p, std::uint32_t v) {
    Write16(p, static_cast<std::uint16_t>(v >> 16));
    Write16(p + 2, static_cast<std::uint16_t>(v));
}

bool ParseAddress(const unsigned char* p, std::uint16_t length, StunAddressAttribute& out) {
    if (length != 8) {
        if (g_verbose)
            std::clog << "hdrLen wrong for Address" << std::endl;
        return false;
    }
    out.family = p[1];
    out.ipv4.port = Read16(p + 2);
    out.ipv4.addr = Read32(p + 4);
    if (out.family == 2) {
        if (g_verbose)
            std::clog << "ipv6 not supported" << std::endl;
        return false;
    }
    if (out.family != 1) {
        if (g_verbose)
            std::clog << "bad address family: " << int(out.family) << std::endl;
        return false;
    }
    return true;
}

bool ParseChangeRequest(const unsigned char* p, std::uint16_t length, std::uint32_t& out) {
    if (length != 4) {
        if (g_verbose) {
            std::clog << "hdr length = " << length << " expecting " << 4 << std::endl;
            std::clog << "Incorrect size for ChangeRequest" << std::endl;
        }
        return false;
    }
    out = Read32(p);
    return true;
}

bool ParseString(const unsigned char* p, std::uint16_t length, StunStringAttribute& out) {
    if (length >= 256) {
        if (g_verbose)
            std::clog << "String is too large" << std::endl;
        return false;
    }
    if (length % 4 != 0) {
        if (g_verbose)
            std::clog << "Bad length string " << length << std::endl;
        return false;
    }
    std::memcpy(out.value, p, length);
    out.value[length] = '\0';
    out.size = length;
    return true;
}

bool ParseIntegrity(const unsigned char* p, std::uint16_t length, unsigned char (&out)[20]) {
    if (length != 20) {
        if (g_verbose)
            std::clog << "MessageIntegrity must be 20 bytes" << std::endl;
        return false;
    }
    std::memcpy(out, p, 20);
    return true;
}

// u16 unused, u8 class, u8 number, then the reason. A value too short for the
// fixed part is refused as well: reading it would run past the attribute.
bool ParseErrorCode(const unsigned char* p, std::uint16_t length, StunErrorCodeAttribute& out) {
    if (length > 261) {
        if (g_verbose)
            std::clog << "head on Error too large" << std::endl;
        return false;
    }
    if (length < 4)
        return false;
    out.errorClass = p[2];
    out.number = p[3];
    out.sizeReason = static_cast<std::uint16_t>(length - 4);
    std::memcpy(out.reason, p + 4, out.sizeReason);
    out.reason[out.sizeReason] = '\0';
    return true;
}

// length / 4 attribute types are read (each is 2 bytes, so at most the first
// half of the list).
bool ParseUnknownAttributes(const unsigned char* p, std::uint16_t length, StunUnknownAttribute& out) {
    if (length > 17 || length % 4 != 0)
        return false;
    out.count = static_cast<std::uint16_t>(length / 4);
    for (std::uint16_t i = 0; i < out.count; ++i)
        out.attrTypes[i] = Read16(p + 2 * i);
    return true;
}

void Problem(const char* name) {
    if (g_verbose)
        std::clog << "problem parsing " << name << std::endl;
}

// One attribute; false rejects the whole message.
bool ParseAttribute(std::uint16_t type, const unsigned char* p, std::uint16_t length, StunMessageRecord& r) {
    switch (type) {
    case STUN_ATTR_MAPPED_ADDRESS:
        r.hasMappedAddress = true;
        if (!ParseAddress(p, length, r.mappedAddress))
            return Problem("MappedAddress"), false;
        return true;
    case STUN_ATTR_RESPONSE_ADDRESS:
        r.hasResponseAddress = true;
        if (!ParseAddress(p, length, r.responseAddress))
            return Problem("ResponseAddress"), false;
        return true;
    case STUN_ATTR_CHANGE_REQUEST:
        r.hasChangeRequest = true;
        if (!ParseChangeRequest(p, length, r.changeRequest))
            return Problem("ChangeRequest"), false;
        return true;
    case STUN_ATTR_SOURCE_ADDRESS:
        r.hasSourceAddress = true;
        if (!ParseAddress(p, length, r.sourceAddress))
            return Problem("SourceAddress"), false;
        return true;
    case STUN_ATTR_CHANGED_ADDRESS:
        r.hasChangedAddress = true;
        if (!ParseAddress(p, length, r.changedAddress))
            return Problem("ChangedAddress"), false;
        return true;
    case STUN_ATTR_USERNAME:
        r.hasUsername = true;
        if (!ParseString(p, length, r.username))
            return Problem("Username"), false;
        return true;
    case STUN_ATTR_PASSWORD:
        r.hasPassword = true;
        if (!ParseString(p, length, r.password))
            return Problem("Password"), false;
        return true;
    case STUN_ATTR_MESSAGE_INTEGRITY:
        r.hasMessageIntegrity = true;
        if (!ParseIntegrity(p, length, r.messageIntegrity))
            return Problem("MessageIntegrity"), false;
        return true;
    case STUN_ATTR_ERROR_CODE:
        r.hasErrorCode = true;
        if (!ParseErrorCode(p, length, r.errorCode))
            return Problem("ErrorCode"), false;
        return true;
    case STUN_ATTR_UNKNOWN_ATTRIBUTE:
        r.hasUnknownAttributes = true;
        if (!ParseUnknownAttributes(p, length, r.unknownAttributes))
            return Problem("UnknownAttribute"), false;
        return true;
    case STUN_ATTR_REFLECTED_FROM:
        r.hasReflectedFrom = true;
        if (!ParseAddress(p, length, r.reflectedFrom))
            return Problem("ReflectedFrom"), false;
        return true;
    case STUN_ATTR_XOR_MAPPED_ADDRESS:
        r.hasXorMappedAddress = true;
        if (!ParseAddress(p, length, r.xorMappedAddress))
            return Problem("XorMappedAddress"), false;
        return true;
    case STUN_ATTR_XOR_ONLY:
        r.xorOnly = true;
        return true;
    case STUN_ATTR_SERVER_NAME:
        r.hasServerName = true;
        if (!ParseString(p, length, r.serverName))
            return Problem("ServerName"), false;
        return true;
    case STUN_ATTR_SECONDARY_ADDRESS:
        r.hasSecondaryAddress = true;
        if (!ParseAddress(p, length, r.secondaryAddress))
            return Problem("secondaryAddress"), false;
        return true;
    default:
        return type > 0x7FFF;
    }
}

}  // namespace

bool StunVerbose() { return g_verbose; }
void SetStunVerbose(bool verbose) { g_verbose = verbose; }

bool StunParseMessage(const void* bytes, std::size_t length, StunMessageRecord& record) {
    std::memset(&record, 0, sizeof record);
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    if (length < kStunHeaderSize) {
        if (g_verbose)
            std::clog << "Bad message" << std::endl;
        return false;
    }
    record.messageType = Read16(p);
    record.messageLength = Read16(p + 2);
    std::memcpy(record.transactionId, p + 4, kStunTransactionIdSize);
    if (std::size_t(record.messageLength) + kStunHeaderSize != length) {
        if (g_verbose)
            std::clog << "Message header length doesn't match message size: " << record.messageLength
                      << " - " << length << std::endl;
        return false;
    }
    std::size_t left = record.messageLength;
    p += kStunHeaderSize;
    while (left > 0) {
        const std::uint16_t type = left >= 4 ? Read16(p) : 0;
        const std::uint16_t attrLength = left >= 4 ? Read16(p + 2) : 0;
        if (left < 4 || std::size_t(attrLength) + 4 > left) {
            if (g_verbose)
                std::clog << "claims attribute is larger than size of message "
                          << "(attribute type=" << type << ")" << std::endl;
            return false;
        }
        if (!ParseAttribute(type, p + 4, attrLength, record))
            return false;
        p += 4 + attrLength;
        left -= 4 + attrLength;
    }
    return true;
}

std::size_t StunEncodeMessage(const StunMessageRecord& record, void* buffer, std::size_t capacity) {
    const std::size_t attributes = record.hasChangeRequest ? 8 : 0;
    if (capacity < kStunHeaderSize + attributes)
        return 0;
    unsigned char* p = static_cast<unsigned char*>(buffer);
    Write16(p, record.messageType);
    Write16(p + 2, static_cast<std::uint16_t>(attributes));
    std::memcpy(p + 4, record.transactionId, kStunTransactionIdSize);
    if (record.hasChangeRequest) {
        Write16(p + 20, STUN_ATTR_CHANGE_REQUEST);
        Write16(p + 22, 4);
        Write32(p + 24, record.changeRequest);
    }
    return kStunHeaderSize + attributes;
}

std::uint32_t StunRandom() {
    static const bool seeded = (std::srand(static_cast<unsigned>(__rdtsc())), true);
    (void)seeded;
    return (std::uint32_t(std::rand()) << 16) + std::uint32_t(std::rand());
}

void StunBuildBindingRequest(StunMessageRecord& record, std::uint8_t testNumber, bool changeIp,
                             bool changePort) {
    std::memset(&record, 0, sizeof record);
    record.messageType = STUN_BINDING_REQUEST;
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t r = StunRandom();
        for (int b = 0; b < 4; ++b)
            record.transactionId[4 * i + b] = static_cast<unsigned char>(r >> (8 * b));
    }
    record.transactionId[0] = testNumber;
    record.hasChangeRequest = true;
    record.changeRequest = (changeIp ? STUN_CHANGE_IP : 0) | (changePort ? STUN_CHANGE_PORT : 0);
}

std::uint32_t StunChangeFlagsForTest(int testNumber) {
    switch (testNumber) {
    case 2:
    case 4:
        return STUN_CHANGE_IP;
    case 3:
        return STUN_CHANGE_PORT;
    default:
        return 0;
    }
}
