// What the stack tells others about this machine, as Wine reports it.
#include "net/Winsock.h"

#include <cctype>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "net/ByteOrder.h"
#include "net/HostIdentity.h"
#include "net/MakePeerId.h"
#include "net/PeerEndpoint.h"
#include "tests/net/NetTestSupport.h"

namespace {

std::uint32_t Dotted(const char* text) { return inet_addr(text); }

TEST(HostIdentity, AdapterAddressIsTwelveUpperCaseHexDigits) {
    std::string mac = "unchanged";
    ASSERT_TRUE(GetAdapterMacHex(mac, 0));
    ASSERT_EQ(mac.size(), 12u);
    for (char c : mac)
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')) << mac;
}

TEST(HostIdentity, PeerIdStartsWithTheAdapterAddressAndThePort) {
    std::string mac;
    ASSERT_TRUE(GetAdapterMacHex(mac, 0));
    const PeerId id = MakePeerId(5123);
    const std::string text(reinterpret_cast<const char*>(id.bytes), PeerId::kSize);
    EXPECT_EQ(text.substr(0, 17), mac + "@5123");
    for (char c : text.substr(17))
        EXPECT_TRUE(c >= 'A' && c <= 'Y') << text;
}

TEST(HostIdentity, LocalAddressIsTheHostNamesOnlyAddressAndIsCached) {
    char name[1024];
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    const hostent* host = gethostbyname(name);
    ASSERT_NE(host, nullptr);
    std::uint32_t address = 0;
    ASSERT_TRUE(GetLocalIPv4(address));
    if (host->h_addr_list[0] && !host->h_addr_list[1]) {
        std::uint32_t only;
        std::memcpy(&only, host->h_addr_list[0], 4);
        EXPECT_EQ(address, only);
    }
    std::uint32_t again = 0;
    ASSERT_TRUE(GetLocalIPv4(again));
    EXPECT_EQ(again, address);
    EXPECT_TRUE(IsOwnIPv4Address(address));
}

TEST(HostIdentity, OwnAddressesAreThoseOfTheInterfaces) {
    EXPECT_TRUE(IsOwnIPv4Address(Dotted("127.0.0.1")));
    // Wine binds any address; that must not make it ours.
    EXPECT_FALSE(IsOwnIPv4Address(Dotted("127.0.0.9")));
    EXPECT_FALSE(IsOwnIPv4Address(Dotted("198.51.100.1")));
    EXPECT_FALSE(IsOwnIPv4Address(0));
}

TEST(PeerEndpoint, DottedSettersStoreNetworkOrder) {
    PeerEndpoint e;
    std::memset(&e, 0, sizeof e);
    e.SetPublicIp("1.2.3.4");
    e.SetLocalIp("192.0.2.200");
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&e);
    const unsigned char expectedPublic[] = {1, 2, 3, 4};
    const unsigned char expectedLocal[] = {192, 0, 2, 200};
    EXPECT_EQ(std::memcmp(raw, expectedPublic, 4), 0);
    EXPECT_EQ(std::memcmp(raw + 8, expectedLocal, 4), 0);
    EXPECT_EQ(net::NetToHost32(e.publicIp), 0x01020304u);
}

}  // namespace
