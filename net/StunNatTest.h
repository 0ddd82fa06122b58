#pragma once

#include <cstddef>
#include <vector>

#include "net/StunMessage.h"

// Results of the NAT-type test.
enum StunNatResult {
    STUN_OPEN = 1,                // no NAT; the server reached us from another address and port
    STUN_FULL_CONE = 2,
    STUN_RESTRICTED_CONE = 3,
    STUN_PORT_RESTRICTED_CONE = 4,
    STUN_SYMMETRIC = 5,
    STUN_SYMMETRIC_FIREWALL = 6,  // no NAT, but nothing from another address gets in
    STUN_BLOCKED = 7,             // no answer to test I
    STUN_FAILURE = 8,             // local sockets could not be opened, or waiting failed
};

// Test numbers: the first byte of each request's transaction id.
const int kStunTestI = 1;
const int kStunTestII = 2;    // change IP
const int kStunTestIII = 3;   // change port
const int kStunTestI2 = 10;   // test I again, to the server's other address
const int kStunTestHairpin = 11;

// The bookkeeping of one NAT-type test, apart from its sockets: which
// requests go out after each time-out, what each answer teaches, and the
// verdict. StunNatTypeTest runs it over two UDP sockets.
class StunNatTest {
public:
    static const int kTimeouts = 7;

    explicit StunNatTest(const StunIPv4Endpoint& server);

    struct Request {
        int test;
        int socket;  // 0: the first socket (port P); 1: the second (P + 1)
        StunIPv4Endpoint destination;
    };

    bool Running() const { return m_timeouts < kTimeouts; }
    // The wait before the next time-out: none right after the start or an
    // answer to test I, else 150 ms.
    unsigned WaitMs() const { return m_timeouts == 0 ? 0 : 150; }

    // Counts one time-out and answers the requests to send now, in order.
    std::vector<Request> OnTimeout();

    // Every request sent, so that only answers to them count.
    void RememberRequest(const StunMessageRecord& request);

    // One received message. It counts only as a Binding success response whose
    // whole transaction id is one sent for its test: an error response or a
    // stray reply teaches nothing. Answers the test number it answered, or 0.
    int OnMessage(const StunMessageRecord& message, std::size_t length);

    bool Answered(int test) const;
    // Test I's mapped endpoint: the address to ask "is this one of ours?".
    const StunIPv4Endpoint& MappedEndpoint() const { return m_mapped; }

    // mappedIsOwn: the mapped address of test I is one of this host's own.
    int Decide(bool mappedIsOwn) const;

private:
    struct SentId {
        unsigned char id[kStunTransactionIdSize];
    };

    StunIPv4Endpoint m_server;
    StunIPv4Endpoint m_testI2Destination;
    StunIPv4Endpoint m_mapped;
    bool m_answeredI, m_answeredI2, m_answeredII, m_answeredIII, m_answeredHairpin;
    bool m_sameMapping;
    int m_timeouts;
    std::vector<SentId> m_sent;
};
