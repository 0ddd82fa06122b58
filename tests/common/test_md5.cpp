#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/md5/Md5.h"

namespace {

// The test suite of RFC 1321, appendix A.5.
struct Md5Case {
    const char* input;
    const char* digest;
};
const Md5Case kSuite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890"
     "1234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

std::string Hex(const unsigned char digest[16])
{
    char text[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(text + i * 2, 3, "%02x", digest[i]);
    return text;
}

} // namespace

TEST(Md5, Rfc1321SuiteInOneUpdate)
{
    for (const Md5Case& c : kSuite)
        EXPECT_EQ(Md5Hex(c.input, std::strlen(c.input)), c.digest) << '"' << c.input << '"';
}

// Every split of each input into two updates, and byte-by-byte updates,
// give the same digest: the block buffering must not lose or repeat bytes.
TEST(Md5, Rfc1321SuiteOverSplitUpdates)
{
    for (const Md5Case& c : kSuite) {
        std::size_t length = std::strlen(c.input);
        for (std::size_t split = 0; split <= length; ++split) {
            MD5_CTX context;
            MD5Init(&context);
            MD5Update(&context, c.input, split);
            MD5Update(&context, c.input + split, length - split);
            unsigned char digest[16];
            MD5Final(digest, &context);
            EXPECT_EQ(Hex(digest), c.digest) << "split at " << split;
        }
        MD5_CTX context;
        MD5Init(&context);
        for (std::size_t i = 0; i < length; ++i)
            MD5Update(&context, c.input + i, 1);
        unsigned char digest[16];
        MD5Final(digest, &context);
        EXPECT_EQ(Hex(digest), c.digest) << "byte by byte";
    }
}

// Inputs around the padding boundaries (55, 56, 63, 64 bytes) and a long
// input that crosses many blocks, checked against digests computed elsewhere.
TEST(Md5, PaddingBoundariesAndLongInput)
{
    struct { std::size_t length; const char* digest; } cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},
        {56, "3b0c8ac703f828b04c6c197006d17218"},
        {63, "b06521f39153d618550606be297466d5"},
        {64, "014842d480b571495a4a0363793f7367"},
        {1000000, "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const auto& c : cases) {
        std::string input(c.length, 'a');
        EXPECT_EQ(Md5Hex(input.data(), input.size()), c.digest) << c.length << " bytes";
    }
}

TEST(Md5, FinalClearsTheContext)
{
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, "abc", 3);
    unsigned char digest[16];
    MD5Final(digest, &context);
    MD5_CTX zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&context, &zero, sizeof zero), 0);
}

// The channel password is kept and sent as its digest in 32 lower-case
// hexadecimal digits, in digest order.
TEST(Md5, PasswordForm)
{
    struct { const char* password; const char* form; } cases[] = {
        {"password", "5f4dcc3b5aa765d61d8327deb882cf99"},
        {"123456", "e10adc3949ba59abbe56e057f20f883e"},
    };
    for (const auto& c : cases) {
        std::string form = Md5Hex(c.password, std::strlen(c.password));
        EXPECT_EQ(form, c.form);
        ASSERT_EQ(form.size(), 32u);
        EXPECT_EQ(form.find_first_not_of("0123456789abcdef"), std::string::npos);
        unsigned char digest[16];
        Md5Digest(c.password, std::strlen(c.password), digest);
        EXPECT_EQ(Hex(digest), form);
    }
}
