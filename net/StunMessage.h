#pragma once

#include <cstddef>
#include <cstdint>

// The classic STUN message codec (RFC 3489) as the NAT-type test needs it.
// All numbers on the wire are in network byte order:
//
//   +0   u16  message type
//   +2   u16  message length: bytes after this 20-byte header
//   +4   16   transaction id
//   +20  ...  attributes: u16 type, u16 value length, value (no padding)

const std::uint16_t STUN_BINDING_REQUEST = 0x0001;
const std::uint16_t STUN_BINDING_RESPONSE = 0x0101;
const std::uint16_t STUN_BINDING_ERROR_RESPONSE = 0x0111;

const std::uint16_t STUN_ATTR_MAPPED_ADDRESS = 0x0001;
const std::uint16_t STUN_ATTR_RESPONSE_ADDRESS = 0x0002;
const std::uint16_t STUN_ATTR_CHANGE_REQUEST = 0x0003;
const std::uint16_t STUN_ATTR_SOURCE_ADDRESS = 0x0004;
const std::uint16_t STUN_ATTR_CHANGED_ADDRESS = 0x0005;
const std::uint16_t STUN_ATTR_USERNAME = 0x0006;
const std::uint16_t STUN_ATTR_PASSWORD = 0x0007;
const std::uint16_t STUN_ATTR_MESSAGE_INTEGRITY = 0x0008;
const std::uint16_t STUN_ATTR_ERROR_CODE = 0x0009;
const std::uint16_t STUN_ATTR_UNKNOWN_ATTRIBUTE = 0x000A;
const std::uint16_t STUN_ATTR_REFLECTED_FROM = 0x000B;
const std::uint16_t STUN_ATTR_XOR_MAPPED_ADDRESS = 0x0020;
const std::uint16_t STUN_ATTR_XOR_ONLY = 0x0021;
const std::uint16_t STUN_ATTR_SERVER_NAME = 0x0022;
const std::uint16_t STUN_ATTR_SECONDARY_ADDRESS = 0x0050;

const std::uint32_t STUN_CHANGE_IP = 0x04;
const std::uint32_t STUN_CHANGE_PORT = 0x02;

const std::size_t kStunHeaderSize = 20;
const std::size_t kStunTransactionIdSize = 16;

// Host byte order, both.
struct StunIPv4Endpoint {
    std::uint32_t addr;
    std::uint16_t port;

    bool operator==(const StunIPv4Endpoint& o) const { return addr == o.addr && port == o.port; }
    bool IsSet() const { return addr != 0 && port != 0; }
};

struct StunAddressAttribute {
    std::uint8_t family;
    StunIPv4Endpoint ipv4;
};

// Stored with a NUL after the bytes.
struct StunStringAttribute {
    char value[256];
    std::uint16_t size;
};

struct StunErrorCodeAttribute {
    std::uint8_t errorClass;
    std::uint8_t number;
    char reason[258];
    std::uint16_t sizeReason;
};

struct StunUnknownAttribute {
    std::uint16_t attrTypes[4];
    std::uint16_t count;
};

// One decoded or to-be-encoded message: the header and, per attribute, a
// presence flag and its value.
struct StunMessageRecord {
    std::uint16_t messageType;
    std::uint16_t messageLength;
    unsigned char transactionId[kStunTransactionIdSize];

    bool hasMappedAddress;
    StunAddressAttribute mappedAddress;
    bool hasResponseAddress;
    StunAddressAttribute responseAddress;
    bool hasChangeRequest;
    std::uint32_t changeRequest;
    bool hasSourceAddress;
    StunAddressAttribute sourceAddress;
    bool hasChangedAddress;
    StunAddressAttribute changedAddress;
    bool hasUsername;
    StunStringAttribute username;
    bool hasPassword;
    StunStringAttribute password;
    bool hasMessageIntegrity;
    unsigned char messageIntegrity[20];
    bool hasErrorCode;
    StunErrorCodeAttribute errorCode;
    bool hasUnknownAttributes;
    StunUnknownAttribute unknownAttributes;
    bool hasReflectedFrom;
    StunAddressAttribute reflectedFrom;
    bool hasXorMappedAddress;
    StunAddressAttribute xorMappedAddress;  // as read: no XOR is applied
    bool xorOnly;
    bool hasServerName;
    StunStringAttribute serverName;
    bool hasSecondaryAddress;
    StunAddressAttribute secondaryAddress;
};

// Notes of the codec go to the standard log stream only while verbose (off
// unless a caller turns it on); errors of the client go to standard error.
bool StunVerbose();
void SetStunVerbose(bool verbose);

// Clears the record and decodes. False for a short message, a header length
// that disagrees with the size, an attribute running past the end, an
// attribute value that is not accepted, and an unknown attribute type up to
// 0x7FFF (types from 0x8000 are skipped). The record keeps what was read
// before a failure, the header included once 20 bytes were there.
bool StunParseMessage(const void* bytes, std::size_t length, StunMessageRecord& record);

// Header (its length computed), then the ChangeRequest attribute when present:
// the only attribute this client ever sends. Answers the byte count, 0 when
// the buffer is too small.
std::size_t StunEncodeMessage(const StunMessageRecord& record, void* buffer, std::size_t capacity);

// (rand() << 16) + rand(); the first call of the process seeds rand() with the
// low 32 bits of the processor's time-stamp counter.
std::uint32_t StunRandom();

// An empty Binding Request carrying a ChangeRequest with the flags (0 when
// neither is set). Its transaction id is four StunRandom values, each stored
// least significant byte first, whose first byte is then the test number: the
// answer names the test it belongs to.
void StunBuildBindingRequest(StunMessageRecord& record, std::uint8_t testNumber, bool changeIp,
                             bool changePort);

// ChangeRequest flags by test number: 2 and 4 change IP, 3 changes port, the
// others (1, 5, 10, 11) change nothing.
std::uint32_t StunChangeFlagsForTest(int testNumber);
