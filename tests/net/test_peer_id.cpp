// The local peer id's text and the hardware address it starts with.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "net/HardwareAddress.h"
#include "net/MakePeerId.h"

namespace {

std::string Text(const PeerId& id) { return std::string(reinterpret_cast<const char*>(id.bytes), PeerId::kSize); }

bool AllLettersAToY(const std::string& s) {
    for (char c : s)
        if (c < 'A' || c > 'Y')
            return false;
    return !s.empty();
}

TEST(ComposePeerId, HardwareAddressAtSignPortThenLetters) {
    std::srand(7);
    const std::string mac = "001A2B3C4D5E";
    const std::string id = Text(ComposePeerId(&mac, 5123));
    EXPECT_EQ(id.substr(0, 17), "001A2B3C4D5E@5123");
    EXPECT_TRUE(AllLettersAToY(id.substr(17))) << id;
}

TEST(ComposePeerId, WithoutAdapterTwelveLettersFromAToY) {
    struct Case {
        std::uint16_t port;
        const char* digits;
    } cases[] = {{5500, "@5500"}, {80, "@80"}, {65535, "@65535"}};
    for (const Case& c : cases) {
        const std::string id = Text(ComposePeerId(nullptr, c.port));
        const std::size_t n = std::strlen(c.digits);
        EXPECT_TRUE(AllLettersAToY(id.substr(0, 12))) << id;
        EXPECT_EQ(id.substr(12, n), c.digits);
        EXPECT_TRUE(AllLettersAToY(id.substr(12 + n))) << id;
    }
}

TEST(ComposePeerId, LettersComeFromRand) {
    const std::string mac = "AABBCCDDEEFF";
    std::srand(42);
    const std::string first = Text(ComposePeerId(&mac, 6000));
    std::srand(42);
    EXPECT_EQ(Text(ComposePeerId(&mac, 6000)), first);
}

TEST(HardwareAddress, LongAddressesStayInsideSixBytes) {
    struct {
        unsigned char address[kHardwareAddressSize];
        unsigned char guard[4];
    } out;
    std::memset(&out, 0xCC, sizeof out);
    const unsigned char reported[8] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x70};
    CopyHardwareAddress(reported, 8, out.address);
    EXPECT_EQ(FormatHardwareAddress(out.address), "001A2B3C4D5E");
    for (unsigned char g : out.guard)
        EXPECT_EQ(g, 0xCC);
}

TEST(HardwareAddress, ShortAddressesAreZeroFilled) {
    unsigned char out[kHardwareAddressSize];
    std::memset(out, 0xCC, sizeof out);
    const unsigned char reported[2] = {0xFE, 0x01};
    CopyHardwareAddress(reported, 2, out);
    EXPECT_EQ(FormatHardwareAddress(out), "FE0100000000");
}

}  // namespace
