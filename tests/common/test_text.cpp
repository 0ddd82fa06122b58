#include <gtest/gtest.h>

#include <string>

#include "common/text/TextConv.h"

namespace {

std::string Hex(const std::string& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) {
        if (!hex.empty())
            hex += ' ';
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

std::string Convert(const std::u16string& units)
{
    std::size_t needed = Utf16ToUtf8(units.data(), units.size(), nullptr, 0);
    std::string out(needed + 4, '\x7F');
    std::size_t written = Utf16ToUtf8(units.data(), units.size(), &out[0], out.size());
    EXPECT_EQ(written, needed);
    EXPECT_EQ(out.substr(written), std::string(4, '\x7F')) << "nothing written past the end";
    return out.substr(0, written);
}

} // namespace

TEST(Utf16ToUtf8, ConversionTable)
{
    struct {
        std::u16string units;
        const char* bytes;
    } cases[] = {
        {u"A\u00E9\u4E2D", "41 C3 A9 E4 B8 AD"},
        {u"\u007F\u0080\u07FF\u0800\uFFFF", "7F C2 80 DF BF E0 A0 80 EF BF BF"},
        {{0xD83D, 0xDE00}, "F0 9F 98 80"},                  // a pair: one code point
        {{0xDBFF, 0xDFFF}, "F4 8F BF BF"},                  // the last code point
        {{0xD83D}, "ED A0 BD"},                             // lone high at the end
        {{0xD83D, 0x0041}, "ED A0 BD 41"},                  // high not followed by low
        {{0xDE00, 0xD83D}, "ED B8 80 ED A0 BD"},            // low first, then a lone high
        {{0xD83D, 0xD83D, 0xDE00}, "ED A0 BD F0 9F 98 80"}, // the second high pairs
        {{0x0000, 0x0041}, "00 41"},                        // NUL is a unit like any other
        {u"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(Convert(c.units)), c.bytes);
}

TEST(Utf16ToUtf8, SizeZeroCountsAndTooSmallStops)
{
    std::u16string text = u"A\u00E9\u4E2D";   // 6 bytes
    EXPECT_EQ(Utf16ToUtf8(text.data(), text.size(), nullptr, 0), 6u);

    char out[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
    EXPECT_EQ(Utf16ToUtf8(text.data(), text.size(), out, 5), 0u);
    // The sequences that fitted stay; nothing is written past the size.
    EXPECT_EQ(std::string(out, 8), "A\xC3\xA9-----");

    std::u16string pair = {0xD83D, 0xDE00};
    EXPECT_EQ(Utf16ToUtf8(pair.data(), pair.size(), out, 3), 0u);
    EXPECT_EQ(Utf16ToUtf8(pair.data(), pair.size(), out, 4), 4u);
}

TEST(WideToUtf8, WholeTextOrZero)
{
    std::string out = "old";
    EXPECT_EQ(WideToUtf8(u"", out), 0);
    EXPECT_EQ(out, "old");
    EXPECT_EQ(WideToUtf8(static_cast<const char16_t*>(nullptr), out), 0);
    EXPECT_EQ(WideToUtf8(u"d8:completei3e\u4E2De", out), 1);
    EXPECT_EQ(out, "d8:completei3e\xE4\xB8\xAD" "e");
    EXPECT_EQ(out.size(), 18u);
#if WCHAR_MAX <= 0xFFFF
    // Windows: the UTF-16 wchar_t text of an HTTP reply.
    EXPECT_EQ(WideToUtf8(L"\u00E9\xD83D\xDE00", out), 1);
    EXPECT_EQ(Hex(out), "C3 A9 F0 9F 98 80");
    wchar_t lone[] = {0xDC00, 0};
    char bytes[3];
    EXPECT_EQ(Utf16ToUtf8(lone, 1, bytes, 3), 3u);
    EXPECT_EQ(Hex(std::string(bytes, 3)), "ED B0 80");
#endif
}
