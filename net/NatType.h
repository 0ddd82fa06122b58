#pragma once

// The stack's NAT type numbers (property 3, and byte 2 of every message to
// the NAT server).
enum NatType {
    NAT_OPEN = 0,
    NAT_FULL_CONE = 1,
    NAT_RESTRICTED_CONE = 2,
    NAT_PORT_RESTRICTED_CONE = 3,
    NAT_SYMMETRIC = 4,
    NAT_SYMMETRIC_FIREWALL = 5,
    NAT_BLOCKED = 6,
    NAT_TEST_FAILED = 7,  // also: the STUN server name does not resolve
    NAT_NOT_TESTED = 8,   // also: any result the STUN test does not define
};

// StunNatTypeTest answers 1 (open) to 8 (failure); the NAT type is one less.
inline int NatTypeFromStunResult(int stunResult) {
    return stunResult >= 1 && stunResult <= 8 ? stunResult - 1 : NAT_NOT_TESTED;
}
