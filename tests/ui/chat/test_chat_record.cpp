// The chat record against golden bytes: the current form both ways, the older
// form with narrow texts, and records cut short or oversized from a peer.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "ui/chat/ChatMsg.h"

namespace {

// Latin-1 stands in for the ANSI code page: each byte one unit.
std::u16string Latin1(const char* bytes, std::size_t length)
{
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    return text;
}

void U32(std::string& s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>(v >> (8 * i));
}

void VarStr(std::string& s, const std::string& bytes)
{
    s += static_cast<char>(bytes.size() & 0xFF);
    s += static_cast<char>(bytes.size() >> 8);
    s += bytes;
}

// The record from cbSize to time, with a face name of the given bytes.
std::string Middle(std::uint32_t cbSize, const std::string& face)
{
    std::string s;
    U32(s, cbSize);
    U32(s, 0x40000001);  // CFM_FACE | CFM_BOLD
    U32(s, 1);           // CFE_BOLD
    U32(s, 240);
    U32(s, 0);
    U32(s, 0x00FF0000);
    s += '\x86';         // GB2312_CHARSET
    s += '\x02';
    VarStr(s, face);
    U32(s, 1700000000);
    return s;
}

std::string Utf16Le(const std::u16string& text)
{
    std::string s;
    for (char16_t c : text) {
        s += static_cast<char>(c & 0xFF);
        s += static_cast<char>(c >> 8);
    }
    return s;
}

TEST(ChatRecord, PacksToTheWireLayout)
{
    _tagChatMsg empty;
    std::string bytes;
    ASSERT_TRUE(empty.ToBytes(bytes));
    EXPECT_EQ(104u, bytes.size());
    EXPECT_EQ(std::string("\0\0\0\0\x5C\0\0\0", 8), bytes.substr(0, 8));

    _tagChatMsg record;
    record.format.dwMask = 0x40000001;
    record.format.dwEffects = 1;
    record.format.yHeight = 240;
    record.format.crTextColor = 0x00FF0000;
    record.format.bCharSet = 0x86;
    record.format.bPitchAndFamily = 2;
    record.format.szFaceName[0] = u'宋';
    record.format.szFaceName[1] = u'体';
    record.time = 1700000000;
    record.name = u"ab";
    record.text = u"hi";
    ASSERT_TRUE(record.ToBytes(bytes));
    EXPECT_EQ(112u, bytes.size());

    std::string expected;
    U32(expected, 0);
    expected += Middle(92, Utf16Le(u"宋体") + std::string(60, '\0'));
    VarStr(expected, Utf16Le(u"ab"));
    VarStr(expected, Utf16Le(u"hi"));
    EXPECT_EQ(expected, bytes);

    _tagChatMsg back;
    ASSERT_TRUE(back.FromBytes(bytes.data(), bytes.size(), Latin1));
    EXPECT_EQ(u"ab", back.name);
    EXPECT_EQ(u"hi", back.text);
    EXPECT_EQ(1700000000u, back.time);
    EXPECT_EQ(0u, back.version);
    EXPECT_EQ(92u, back.format.cbSize);
    EXPECT_EQ(240, back.format.yHeight);
    EXPECT_EQ(0x86, back.format.bCharSet);
    EXPECT_EQ(std::u16string(u"宋体"), std::u16string(back.format.szFaceName));
}

TEST(ChatRecord, ReadsTheOlderFormWithNarrowTexts)
{
    // No version: the first u32 (92, above 91) is cbSize.
    std::string bytes = Middle(92, std::string(64, '\0'));
    VarStr(bytes, "caf\xE9");
    VarStr(bytes, "hello");
    _tagChatMsg record;
    ASSERT_TRUE(record.FromBytes(bytes.data(), bytes.size(), Latin1));
    EXPECT_EQ(0u, record.version);
    EXPECT_EQ(92u, record.format.cbSize);
    EXPECT_EQ(u"caf\u00E9", record.name);
    EXPECT_EQ(u"hello", record.text);
    EXPECT_EQ(1u, record.format.dwEffects);

    // 91 is still a version: the current form follows.
    std::string current;
    U32(current, 91);
    current += Middle(92, std::string(64, '\0'));
    VarStr(current, Utf16Le(u"n"));
    VarStr(current, Utf16Le(u"t"));
    ASSERT_TRUE(record.FromBytes(current.data(), current.size(), Latin1));
    EXPECT_EQ(91u, record.version);
    EXPECT_EQ(u"n", record.name);
}

TEST(ChatRecord, FaceNamesOfAnyLengthKeepAtMost64Bytes)
{
    const std::u16string longFace(40, u'x');
    const struct {
        std::string face;
        std::size_t units;
    } cases[] = {
        {Utf16Le(longFace), 32},  // 80 bytes: the first 64 are kept
        {Utf16Le(u"Arial"), 5},   // short: the rest stays zero
        {"", 0},
        {"A", 0},                 // half a unit is no unit
    };
    for (const auto& c : cases) {
        std::string bytes;
        U32(bytes, 0);
        bytes += Middle(92, c.face);
        VarStr(bytes, "");
        VarStr(bytes, "");
        _tagChatMsg record;
        ASSERT_TRUE(record.FromBytes(bytes.data(), bytes.size(), Latin1)) << c.face.size();
        std::size_t units = 0;
        while (units < 32 && record.format.szFaceName[units])
            ++units;
        EXPECT_EQ(c.units, units) << c.face.size();
    }
}

TEST(ChatRecord, ARecordCutShortIsDroppedWhole)
{
    _tagChatMsg sent;
    sent.name = u"ab";
    sent.text = u"hello";
    std::string bytes;
    ASSERT_TRUE(sent.ToBytes(bytes));

    _tagChatMsg kept;
    kept.name = u"kept";
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(kept.FromBytes(bytes.data(), cut, Latin1)) << cut;
    EXPECT_EQ(u"kept", kept.name);
    EXPECT_TRUE(kept.FromBytes(bytes.data(), bytes.size(), Latin1));
}

TEST(ChatRecord, ATextPastTheVarstrLimitDoesNotPack)
{
    _tagChatMsg record;
    record.text.assign(32768, u'a');  // 65,536 bytes
    std::string bytes = "untouched";
    EXPECT_FALSE(record.ToBytes(bytes));
    EXPECT_EQ("untouched", bytes);
    record.text.resize(32767);
    EXPECT_TRUE(record.ToBytes(bytes));
}

}  // namespace
