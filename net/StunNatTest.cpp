#include "net/StunNatTest.h"

#include <cstring>

StunNatTest::StunNatTest(const StunIPv4Endpoint& server)
    : m_server(server),
      m_testI2Destination(server),
      m_mapped(StunIPv4Endpoint{0, 0}),
      m_answeredI(false),
      m_answeredI2(false),
      m_answeredII(false),
      m_answeredIII(false),
      m_answeredHairpin(false),
      m_sameMapping(true),
      m_timeouts(0) {}

std::vector<StunNatTest::Request> StunNatTest::OnTimeout() {
    ++m_timeouts;
    std::vector<Request> out;
    if (!m_answeredI)
        out.push_back(Request{kStunTestI, 0, m_server});
    if (m_answeredI && !m_answeredI2 && m_testI2Destination.IsSet())
        out.push_back(Request{kStunTestI2, 0, m_testI2Destination});
    if (!m_answeredII)
        out.push_back(Request{kStunTestII, 1, m_server});
    if (!m_answeredIII)
        out.push_back(Request{kStunTestIII, 1, m_server});
    if (m_answeredI && !m_answeredHairpin && m_mapped.IsSet())
        out.push_back(Request{kStunTestHairpin, 0, m_mapped});
    return out;
}

void StunNatTest::RememberRequest(const StunMessageRecord& request) {
    SentId sent;
    std::memcpy(sent.id, request.transactionId, kStunTransactionIdSize);
    m_sent.push_back(sent);
}

int StunNatTest::OnMessage(const StunMessageRecord& message, std::size_t length) {
    if (message.messageType != STUN_BINDING_RESPONSE ||
        std::size_t(message.messageLength) + kStunHeaderSize != length)
        return 0;
    bool known = false;
    for (const SentId& sent : m_sent)
        known = known || std::memcmp(sent.id, message.transactionId, kStunTransactionIdSize) == 0;
    if (!known)
        return 0;

    const int test = message.transactionId[0];
    switch (test) {
    case kStunTestI:
        if (!m_answeredI) {
            m_answeredI = true;
            if (message.hasMappedAddress)
                m_mapped = message.mappedAddress.ipv4;
            // The other address of the server, at the port we already know.
            if (message.hasChangedAddress)
                m_testI2Destination.addr = message.changedAddress.ipv4.addr;
            m_timeouts = 0;
        }
        break;
    case kStunTestI2:
        if (!m_answeredI2) {
            m_answeredI2 = true;
            m_sameMapping = message.hasMappedAddress && message.mappedAddress.ipv4 == m_mapped;
        }
        break;
    case kStunTestII:
        m_answeredII = true;
        break;
    case kStunTestIII:
        m_answeredIII = true;
        break;
    case kStunTestHairpin:
        m_answeredHairpin = true;
        break;
    default:
        return 0;
    }
    return test;
}

bool StunNatTest::Answered(int test) const {
    switch (test) {
    case kStunTestI: return m_answeredI;
    case kStunTestI2: return m_answeredI2;
    case kStunTestII: return m_answeredII;
    case kStunTestIII: return m_answeredIII;
    case kStunTestHairpin: return m_answeredHairpin;
    default: return false;
    }
}

int StunNatTest::Decide(bool mappedIsOwn) const {
    if (!m_answeredI)
        return STUN_BLOCKED;
    if (mappedIsOwn)
        return m_answeredII ? STUN_OPEN : STUN_SYMMETRIC_FIREWALL;
    if (m_answeredII)
        return STUN_FULL_CONE;
    if (!m_sameMapping)
        return STUN_SYMMETRIC;
    return m_answeredIII ? STUN_RESTRICTED_CONE : STUN_PORT_RESTRICTED_CONE;
}
