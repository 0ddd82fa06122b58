#pragma once

#include "net/Ipv4Endpoint.h"
#include "net/PeerAddress.h"

struct UHSession;

namespace uh {

// What the hole-punching table needs from its UH core: the core's address,
// the NAT server's, a way to send, and the listeners to report to.
class PunchHost {
public:
    virtual ~PunchHost() {}

    virtual PeerAddress OwnAddress() const = 0;
    virtual Ipv4Endpoint NatServer() const = 0;
    virtual bool SendDatagram(const char* data, int length, const Ipv4Endpoint& to) = 0;
    virtual void ReportPunchResult(int result, const UHSession& session) = 0;
    virtual void ReportIncomingSession(const PeerAddress& peer) = 0;
};

}  // namespace uh
