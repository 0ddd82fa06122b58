// The STUN message codec and the bookkeeping of the NAT-type test.
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/StunMessage.h"
#include "net/StunNatTest.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<unsigned char>(v >> 8));
    b.push_back(static_cast<unsigned char>(v));
}

void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, static_cast<std::uint16_t>(v >> 16));
    Put16(b, static_cast<std::uint16_t>(v));
}

// A message of the given type and transaction id around the attributes.
Bytes Message(std::uint16_t type, const Bytes& attributes, unsigned char test = 1, unsigned char salt = 0) {
    Bytes b;
    Put16(b, type);
    Put16(b, static_cast<std::uint16_t>(attributes.size()));
    for (int i = 0; i < 16; ++i)
        b.push_back(static_cast<unsigned char>(i == 0 ? test : i + salt));
    b.insert(b.end(), attributes.begin(), attributes.end());
    return b;
}

Bytes Attribute(std::uint16_t type, const Bytes& value) {
    Bytes b;
    Put16(b, type);
    Put16(b, static_cast<std::uint16_t>(value.size()));
    b.insert(b.end(), value.begin(), value.end());
    return b;
}

Bytes AddressValue(std::uint32_t addr, std::uint16_t port, unsigned char family = 1) {
    Bytes v = {0, family};
    Put16(v, port);
    Put32(v, addr);
    return v;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

bool Parse(const Bytes& b, StunMessageRecord& r) { return StunParseMessage(b.data(), b.size(), r); }

// ------------------------------------------------------------------ requests

TEST(StunRequest, BindingRequestIs28BytesWithChangeRequest) {
    struct Case {
        int test;
        std::uint32_t flags;
    } cases[] = {{1, 0}, {2, 0x04}, {3, 0x02}, {4, 0x04}, {5, 0}, {10, 0}, {11, 0}};
    for (const Case& c : cases) {
        const std::uint32_t flags = StunChangeFlagsForTest(c.test);
        EXPECT_EQ(flags, c.flags) << "test " << c.test;
        StunMessageRecord r;
        StunBuildBindingRequest(r, static_cast<std::uint8_t>(c.test), (flags & 4) != 0, (flags & 2) != 0);
        unsigned char out[2048];
        ASSERT_EQ(StunEncodeMessage(r, out, sizeof out), 28u);
        const Bytes expectedHead = {0x00, 0x01, 0x00, 0x08, static_cast<unsigned char>(c.test)};
        EXPECT_EQ(Bytes(out, out + 5), expectedHead) << "test " << c.test;
        Bytes tail;
        Put16(tail, 0x0003);
        Put16(tail, 4);
        Put32(tail, c.flags);
        EXPECT_EQ(Bytes(out + 20, out + 28), tail) << "test " << c.test;
        EXPECT_EQ(std::memcmp(out + 4, r.transactionId, 16), 0);
    }
}

TEST(StunRequest, TransactionIdsDifferBeyondTheTestNumber) {
    StunMessageRecord a, b;
    StunBuildBindingRequest(a, 1, false, false);
    StunBuildBindingRequest(b, 1, false, false);
    EXPECT_EQ(a.transactionId[0], 1);
    EXPECT_NE(std::memcmp(a.transactionId, b.transactionId, 16), 0);
}

TEST(StunRequest, EncodeRefusesASmallBuffer) {
    StunMessageRecord r;
    StunBuildBindingRequest(r, 1, false, false);
    unsigned char out[27];
    EXPECT_EQ(StunEncodeMessage(r, out, sizeof out), 0u);
}

// ------------------------------------------------------------------ parsing

TEST(StunParse, ReadsTheAttributesOfAnAnswer) {
    const Bytes m = Message(0x0101, Cat({Attribute(0x0001, AddressValue(0xC0000202, 40000)),
                                         Attribute(0x0004, AddressValue(0x7F000001, 3478)),
                                         Attribute(0x0005, AddressValue(0x7F000002, 3479)),
                                         Attribute(0x0009, Cat({{0, 0, 4, 20}, Bytes(8, 'x')})),
                                         Attribute(0x000A, {0x00, 0x30, 0x00, 0x31, 0, 0, 0, 0}),
                                         Attribute(0x0006, Bytes(8, 'u')), Attribute(0x0021, {}),
                                         Attribute(0x0020, AddressValue(0x01020304, 5))}),
                            1, 9);
    StunMessageRecord r;
    ASSERT_TRUE(Parse(m, r));
    EXPECT_EQ(r.messageType, 0x0101);
    EXPECT_EQ(r.transactionId[0], 1);
    EXPECT_EQ(r.transactionId[15], 15 + 9);
    ASSERT_TRUE(r.hasMappedAddress);
    EXPECT_EQ(r.mappedAddress.ipv4.addr, 0xC0000202u);
    EXPECT_EQ(r.mappedAddress.ipv4.port, 40000);
    ASSERT_TRUE(r.hasChangedAddress);
    EXPECT_EQ(r.changedAddress.ipv4.addr, 0x7F000002u);
    ASSERT_TRUE(r.hasErrorCode);
    EXPECT_EQ(r.errorCode.errorClass, 4);
    EXPECT_EQ(r.errorCode.number, 20);
    EXPECT_EQ(std::string(r.errorCode.reason), "xxxxxxxx");
    ASSERT_TRUE(r.hasUnknownAttributes);
    EXPECT_EQ(r.unknownAttributes.count, 2);
    EXPECT_EQ(r.unknownAttributes.attrTypes[1], 0x0031);
    EXPECT_EQ(std::string(r.username.value), "uuuuuuuu");
    EXPECT_TRUE(r.xorOnly);
    EXPECT_EQ(r.xorMappedAddress.ipv4.addr, 0x01020304u);  // stored as read, no XOR
}

TEST(StunParse, AcceptanceTable) {
    struct Case {
        const char* name;
        Bytes bytes;
        bool ok;
    };
    const Bytes mapped = AddressValue(1, 2);
    const std::vector<Case> cases = {
        {"19 bytes", Bytes(19, 0), false},
        {"bare header", Message(0x0101, {}), true},
        {"length field too large", [] { Bytes b = Message(0x0101, {}); b[3] = 4; return b; }(), false},
        {"one address", Message(0x0101, Attribute(0x0001, mapped)), true},
        {"attribute claims 12 of 8", [&] { Bytes b = Message(0x0101, Attribute(0x0001, mapped)); b[23] = 12; return b; }(), false},
        {"three stray bytes", Message(0x0101, {0, 1, 0}), false},
        {"unknown 0x0030", Message(0x0101, Attribute(0x0030, {1, 2, 3, 4})), false},
        {"optional 0x8030", Message(0x0101, Attribute(0x8030, {1, 2, 3})), true},
        {"address of 7 bytes", Message(0x0101, Attribute(0x0001, Bytes(mapped.begin(), mapped.end() - 1))), false},
        {"IPv6 family", Message(0x0101, Attribute(0x0005, AddressValue(1, 2, 2))), false},
        {"family 3", Message(0x0101, Attribute(0x0050, AddressValue(1, 2, 3))), false},
        {"change request of 8", Message(0x0001, Attribute(0x0003, Bytes(8, 0))), false},
        {"username of 5", Message(0x0101, Attribute(0x0006, Bytes(5, 'u'))), false},
        {"username of 256", Message(0x0101, Attribute(0x0006, Bytes(256, 'u'))), false},
        {"server name of 252", Message(0x0101, Attribute(0x0022, Bytes(252, 's'))), true},
        {"integrity of 19", Message(0x0101, Attribute(0x0008, Bytes(19, 0))), false},
        {"integrity of 20", Message(0x0101, Attribute(0x0008, Bytes(20, 0))), true},
        {"error code of 262", Message(0x0111, Attribute(0x0009, Bytes(262, 0))), false},
        {"error code of 261", Message(0x0111, Attribute(0x0009, Bytes(261, 0))), true},
        {"error code of 3", Message(0x0111, Attribute(0x0009, Bytes(3, 0))), false},
        {"unknown attributes of 16", Message(0x0111, Attribute(0x000A, Bytes(16, 0))), true},
        {"unknown attributes of 20", Message(0x0111, Attribute(0x000A, Bytes(20, 0))), false},
        {"unknown attributes of 6", Message(0x0111, Attribute(0x000A, Bytes(6, 0))), false},
    };
    for (const Case& c : cases) {
        StunMessageRecord r;
        EXPECT_EQ(Parse(c.bytes, r), c.ok) << c.name;
    }
}

TEST(StunParse, VerboseNotesGoToTheLogStream) {
    std::ostringstream captured;
    std::streambuf* old = std::clog.rdbuf(captured.rdbuf());
    StunMessageRecord r;
    StunParseMessage("0123456789012345678", 19, r);  // quiet by default
    SetStunVerbose(true);
    StunParseMessage("0123456789012345678", 19, r);
    Parse(Message(0x0101, Attribute(0x0001, AddressValue(1, 2, 2))), r);
    SetStunVerbose(false);
    std::clog.rdbuf(old);
    EXPECT_EQ(captured.str(), "Bad message\nipv6 not supported\nproblem parsing MappedAddress\n");
}

// ------------------------------------------------------------------ the NAT-type test's bookkeeping

const StunIPv4Endpoint kServer = {0x7F000001, 3478};

// The answer a server gives to a request, with the mapped and changed addresses.
StunMessageRecord AnswerTo(const StunMessageRecord& request, StunIPv4Endpoint mapped,
                           std::uint16_t type = STUN_BINDING_RESPONSE) {
    StunMessageRecord a;
    std::memset(&a, 0, sizeof a);
    a.messageType = type;
    a.messageLength = 24;
    std::memcpy(a.transactionId, request.transactionId, 16);
    a.hasMappedAddress = true;
    a.mappedAddress.family = 1;
    a.mappedAddress.ipv4 = mapped;
    a.hasChangedAddress = true;
    a.changedAddress.family = 1;
    a.changedAddress.ipv4 = StunIPv4Endpoint{0x7F000002, 3479};
    return a;
}

// Sends what a time-out asks for and answers the tests listed.
std::vector<StunNatTest::Request> Timeout(StunNatTest& t, std::vector<StunMessageRecord>& sent) {
    std::vector<StunNatTest::Request> requests = t.OnTimeout();
    for (const StunNatTest::Request& r : requests) {
        StunMessageRecord m;
        StunBuildBindingRequest(m, static_cast<std::uint8_t>(r.test), false, false);
        t.RememberRequest(m);
        sent.push_back(m);
    }
    return requests;
}

const StunMessageRecord* Sent(const std::vector<StunMessageRecord>& sent, int test) {
    for (const StunMessageRecord& m : sent)
        if (m.transactionId[0] == test)
            return &m;
    return nullptr;
}

TEST(StunNatTest, UnansweredServerGetsSevenRoundsOfTestsOneTwoThree) {
    StunNatTest t(kServer);
    std::vector<StunMessageRecord> sent;
    EXPECT_EQ(t.WaitMs(), 0u);
    int rounds = 0;
    while (t.Running()) {
        const std::vector<StunNatTest::Request> r = Timeout(t, sent);
        ASSERT_EQ(r.size(), 3u);
        EXPECT_EQ(r[0].test, 1);
        EXPECT_EQ(r[0].socket, 0);
        EXPECT_EQ(r[1].test, 2);
        EXPECT_EQ(r[1].socket, 1);
        EXPECT_EQ(r[2].test, 3);
        EXPECT_TRUE(r[2].destination == kServer);
        EXPECT_EQ(t.WaitMs(), 150u);
        ++rounds;
    }
    EXPECT_EQ(rounds, 7);
    EXPECT_EQ(t.Decide(false), STUN_BLOCKED);
}

TEST(StunNatTest, AnswerToTestOneStartsTestsTenAndElevenAndRestartsTheCount) {
    StunNatTest t(kServer);
    std::vector<StunMessageRecord> sent;
    Timeout(t, sent);
    Timeout(t, sent);
    const StunIPv4Endpoint mapped = {0x7F000009, 40000};
    EXPECT_EQ(t.OnMessage(AnswerTo(*Sent(sent, 1), mapped), 44), 1);
    EXPECT_EQ(t.WaitMs(), 0u);
    const std::vector<StunNatTest::Request> r = Timeout(t, sent);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].test, 10);
    EXPECT_EQ(r[0].destination.addr, 0x7F000002u);  // the changed address...
    EXPECT_EQ(r[0].destination.port, 3478);        // ...at the server's own port
    EXPECT_EQ(r[3].test, 11);
    EXPECT_TRUE(r[3].destination == mapped);
    // A second answer to test 1 changes nothing.
    EXPECT_EQ(t.OnMessage(AnswerTo(*Sent(sent, 1), StunIPv4Endpoint{1, 1}), 44), 1);
    EXPECT_TRUE(t.MappedEndpoint() == mapped);
}

// Only a Binding success response with the whole id of a request sent counts.
TEST(StunNatTest, ErrorResponsesAndStrayRepliesTeachNothing) {
    StunNatTest t(kServer);
    std::vector<StunMessageRecord> sent;
    Timeout(t, sent);
    const StunIPv4Endpoint mapped = {0x7F000001, 40000};

    StunMessageRecord error = AnswerTo(*Sent(sent, 1), mapped, STUN_BINDING_ERROR_RESPONSE);
    StunMessageRecord wrongId = AnswerTo(*Sent(sent, 1), mapped);
    wrongId.transactionId[15] ^= 0xFF;
    StunMessageRecord neverSent;
    StunBuildBindingRequest(neverSent, 2, false, false);
    const StunMessageRecord stray = AnswerTo(neverSent, mapped);
    const StunMessageRecord good = AnswerTo(*Sent(sent, 1), mapped);

    EXPECT_EQ(t.OnMessage(error, 44), 0);
    EXPECT_EQ(t.OnMessage(wrongId, 44), 0);
    EXPECT_EQ(t.OnMessage(stray, 44), 0);
    EXPECT_EQ(t.OnMessage(good, 45), 0);  // a length that disagrees with the header
    EXPECT_FALSE(t.Answered(1));
    EXPECT_FALSE(t.Answered(2));
    EXPECT_EQ(t.OnMessage(good, 44), 1);
    EXPECT_TRUE(t.Answered(1));
}

TEST(StunNatTest, DecisionTable) {
    // answers: which of tests 2 and 3 are answered; i2Port: the port test 10 reports.
    struct Case {
        const char* name;
        bool answerI, answerII, answerIII;
        std::uint16_t i2Port;
        bool mappedIsOwn;
        int expected;
    } cases[] = {
        {"no answer", false, false, false, 0, false, STUN_BLOCKED},
        {"own address, II answered", true, true, false, 40000, true, STUN_OPEN},
        {"own address, II silent", true, false, true, 40000, true, STUN_SYMMETRIC_FIREWALL},
        {"NAT, II answered", true, true, true, 40000, false, STUN_FULL_CONE},
        {"NAT, other port to the other address", true, false, true, 40001, false, STUN_SYMMETRIC},
        {"NAT, same mapping, III answered", true, false, true, 40000, false, STUN_RESTRICTED_CONE},
        {"NAT, same mapping, III silent", true, false, false, 40000, false, STUN_PORT_RESTRICTED_CONE},
    };
    for (const Case& c : cases) {
        StunNatTest t(kServer);
        std::vector<StunMessageRecord> sent;
        Timeout(t, sent);
        const StunIPv4Endpoint mapped = {0x7F000009, 40000};
        if (c.answerI)
            t.OnMessage(AnswerTo(*Sent(sent, 1), mapped), 44);
        if (c.answerII)
            t.OnMessage(AnswerTo(*Sent(sent, 2), mapped), 44);
        if (c.answerIII)
            t.OnMessage(AnswerTo(*Sent(sent, 3), mapped), 44);
        if (c.answerI) {
            Timeout(t, sent);
            t.OnMessage(AnswerTo(*Sent(sent, 10), StunIPv4Endpoint{mapped.addr, c.i2Port}), 44);
        }
        EXPECT_EQ(t.Decide(c.mappedIsOwn), c.expected) << c.name;
    }
}

}  // namespace
