#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/bencode/btDecoder.h"
#include "common/bencode/btDict.h"
#include "common/bencode/btEncoder.h"
#include "common/bencode/btInteger.h"
#include "common/bencode/btList.h"
#include "common/bencode/btStream.h"
#include "common/bencode/btString.h"
#include "common/bencode/btStringLess.h"
#include "common/bencode/btWriteFormat.h"

namespace {

using namespace std::string_literals;

btString Bytes(const std::string& s) { return btString(s.data(), static_cast<std::int32_t>(s.size())); }

std::string Text(const btStream& s) { return s.GetBuffer().substr(0, static_cast<std::size_t>(s.GetSize())); }

// Encodes object and returns (result, text written).
std::pair<int, std::string> EncodeToText(const btObject* object) {
    btStream s;
    btEncoder e(&s);
    const int r = e.Encode(object);
    return {r, Text(s)};
}

btStream StreamOf(const std::string& bytes) {
    btStream s;
    s.Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    s.Reset(0);
    return s;
}

std::unique_ptr<btDict> MakeRequest() {
    auto d = std::make_unique<btDict>();
    d->Insert("msg", new btString("reqpeer"));
    d->Insert("nums", new btInteger(50));
    return d;
}

// --------------------------------------------------------------------- Encode

struct EncodeCase {
    const char* name;
    std::function<btObject*()> build;
    int result;
    std::string text;
};

class Opaque : public btObject {
public:
    Opaque() : btObject(static_cast<btType>(7)) {}
    void Dump(int) const override {}
};

TEST(btEncoder, GoldenBytes) {
    const EncodeCase cases[] = {
        {"request dict", [] { return MakeRequest().release(); }, 0, "d3:msg7:reqpeer4:numsi50ee"},
        {"keys sorted whatever the insertion order",
         [] {
             auto* d = new btDict;
             d->Insert("msg", new btString("m"));
             d->Insert("hash", new btString("h"));
             d->Insert("cid", new btInteger(7));
             return d;
         },
         0, "d3:cidi7e4:hash1:h3:msg1:me"},
        {"empty list", [] { return new btList; }, 0, "le"},
        {"empty dict", [] { return new btDict; }, 0, "de"},
        {"empty string", [] { return new btString; }, 0, "0:"},
        {"string with NUL", [] { return new btString(Bytes(std::string("a\0b", 3))); }, 0,
         std::string("3:a\0b", 5)},
        {"zero", [] { return new btInteger(0); }, 0, "i0e"},
        {"negative integer keeps its sign", [] { return new btInteger(-5); }, 0, "i-5e"},
        {"largest integer", [] { return new btInteger(INT64_MAX); }, 0, "i9223372036854775807e"},
        {"smallest integer", [] { return new btInteger(INT64_MIN); }, 0, "i-9223372036854775808e"},
        {"nested list",
         [] {
             auto* inner = new btList;
             inner->Append(new btInteger(2));
             auto* l = new btList;
             l->Append(new btString("a"));
             l->Append(new btInteger(1));
             l->Append(inner);
             return l;
         },
         0, "l1:ai1eli2eee"},
        {"unknown type code", [] { return new Opaque; }, 1, ""},
        {"list goes on after a bad element",
         [] {
             auto* l = new btList;
             l->Append(nullptr);
             l->Append(new btString("x"));
             return l;
         },
         1, "l1:xe"},
        {"dict stops at the first bad value",
         [] {
             auto* d = new btDict;
             d->Insert("a", new btInteger(1));
             d->Insert("b", nullptr);
             d->Insert("c", new btInteger(2));
             return d;
         },
         1, "d1:ai1e1:b"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<btObject> object(c.build());
        const auto got = EncodeToText(object.get());
        EXPECT_EQ(got.first, c.result) << c.name;
        EXPECT_EQ(got.second, c.text) << c.name;
    }
}

TEST(btEncoder, NullObjectOrStream) {
    EXPECT_EQ(EncodeToText(nullptr).first, 1);
    btString s("x");
    btEncoder no_stream(nullptr);
    EXPECT_EQ(no_stream.Encode(&s), 1);
    EXPECT_EQ(btWriteFormat(nullptr, "e"), 1);
}

TEST(btWriteFormat, RefusesATokenLongerThanItsScratch) {
    btStream s;
    EXPECT_EQ(btWriteFormat(&s, "%8191d", 1), 0);
    EXPECT_EQ(s.GetSize(), 8191);
    EXPECT_EQ(btWriteFormat(&s, "%8192d", 1), 1);
    EXPECT_EQ(s.GetSize(), 8191);
}

// --------------------------------------------------------------- btStringLess

TEST(btStringLess, OrdersBytesThenLength) {
    struct {
        std::string a, b;
        bool less;
    } const cases[] = {
        {"ab", "abc", true},
        {"abc", "ab", false},
        {"b", "abc", false},
        {"abc", "b", true},
        {"", "a", true},
        {"a", "a", false},
        {std::string("a\0b", 3), std::string("a\0c", 3), true},
        {std::string("a\0", 2), "a", false},
        {"z", "\xC8", true},  // bytes compare unsigned
    };
    btStringLess less;
    for (const auto& c : cases)
        EXPECT_EQ(less(Bytes(c.a), Bytes(c.b)), c.less) << c.a << " < " << c.b;
}

TEST(btDict, KeysWithEmbeddedNulsStayDistinct) {
    btDict d;
    EXPECT_EQ(d.Insert(Bytes(std::string("k\0a", 3)), new btInteger(1)), 0);
    EXPECT_EQ(d.Insert(Bytes(std::string("k\0b", 3)), new btInteger(2)), 0);
    EXPECT_EQ(d.Insert("k", new btInteger(3)), 0);
    EXPECT_EQ(d.GetCount(), 3);
    EXPECT_EQ(static_cast<btInteger*>(d.Find(Bytes(std::string("k\0b", 3))))->GetValue(), 2);
    EXPECT_EQ(EncodeToText(&d).second, "d1:ki3e3:k\0ai1e3:k\0bi2ee"s);
}

// --------------------------------------------------------------------- Values

TEST(btDict, InsertOfPresentKeyLeavesValueWithCaller) {
    btDict d;
    ASSERT_EQ(d.Insert("key", new btInteger(1)), 0);
    auto second = std::make_unique<btInteger>(2);
    EXPECT_EQ(d.Insert("key", second.get()), -1);  // ASan reports a double free if taken
    EXPECT_EQ(static_cast<btInteger*>(d.Find("key"))->GetValue(), 1);
    EXPECT_EQ(d.Find("missing"), nullptr);
}

TEST(btDict, WalksKeysInOrder) {
    btDict d;
    EXPECT_EQ(d.FirstKey(), nullptr);
    EXPECT_EQ(d.NextKey(), nullptr);
    for (const char* k : {"msg", "cid", "hash"})
        d.Insert(k, new btInteger(0));
    std::vector<std::string> keys;
    for (const btString* k = d.FirstKey(); k != nullptr; k = d.NextKey())
        keys.push_back(k->ToStdString());
    EXPECT_EQ(keys, (std::vector<std::string>{"cid", "hash", "msg"}));
    EXPECT_EQ(d.NextKey(), nullptr);
}

TEST(btString, CopiesAndAttaches) {
    const char text[] = "hello";
    btString s(text);
    EXPECT_NE(s.GetData(), text);
    EXPECT_EQ(s.GetLength(), 5);
    EXPECT_STREQ(btString().GetData(), "");

    char* buffer = static_cast<char*>(std::malloc(4));
    std::memcpy(buffer, "a\0b", 4);
    s.Attach(buffer, 3);
    EXPECT_EQ(s.GetData(), buffer);
    EXPECT_EQ(s.ToStdString(), std::string("a\0b", 3));

    btString copy(s);
    EXPECT_NE(copy.GetData(), s.GetData());
    EXPECT_EQ(copy.ToStdString(), s.ToStdString());
    EXPECT_EQ(copy.GetData()[3], '\0');
}

// --------------------------------------------------------------------- Stream

TEST(btStream, ReadAndPeek) {
    btStream s = StreamOf(std::string("ab\xC8\xFF", 4));
    char out[8] = {};
    EXPECT_EQ(s.Read(out, 5), 1);
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_EQ(s.Peek(), 'a');
    EXPECT_EQ(s.Read(out, 2), 0);
    EXPECT_EQ(s.Peek(), static_cast<signed char>(0xC8));
    EXPECT_LT(s.Peek(), 0);
    EXPECT_EQ(s.Read(out, 2), 0);
    EXPECT_EQ(s.Peek(), -1);
    EXPECT_EQ(s.Read(out, 0), 0);
    EXPECT_EQ(s.Read(out, 1), 1);
    EXPECT_EQ(s.Read(out, -1), 1);
}

TEST(btStream, Reset) {
    btStream s = StreamOf("abc");
    char two[2];
    s.Read(two, 2);
    EXPECT_EQ(s.Reset(2), 1);
    EXPECT_EQ(s.GetPosition(), 2);
    EXPECT_EQ(s.GetSize(), 3);
    EXPECT_EQ(s.Reset(1), 0);  // drops the data, keeps position and store
    EXPECT_EQ(s.GetSize(), 0);
    EXPECT_EQ(s.GetPosition(), 2);
    EXPECT_EQ(s.GetBuffer().size(), 103u);
    EXPECT_EQ(s.Reset(0), 0);
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_EQ(s.Peek(), -1);
}

TEST(btStream, GrowsWithSlackOf100) {
    btStream s;
    const std::string ten(10, 't'), hundred(100, 'h');
    EXPECT_EQ(s.Write(ten.data(), 10), 0);
    EXPECT_EQ(s.GetBuffer().size(), 110u);
    s.Write(hundred.data(), 100);  // exactly fills the slack
    EXPECT_EQ(s.GetBuffer().size(), 110u);
    s.Write("x", 1);
    EXPECT_EQ(s.GetBuffer().size(), 211u);
    EXPECT_EQ(Text(s), ten + hundred + "x");
    EXPECT_EQ(s.Write("x", -1), 1);
}

TEST(btStream, ReadToken) {
    struct {
        std::string input;
        std::int32_t maximum;
        int result;
        std::string token;
        std::int32_t position;
    } const cases[] = {
        {"123:x", 10, 0, "123", 4},
        {":", 10, 0, "", 1},
        {"12a:", 10, 1, "", 3},
        {"123", 10, 1, "", 3},                   // ends before the terminator
        {"123456789:", 10, 0, "123456789", 10},  // nine digits and the terminator fit
        {"1234567890:", 10, 1, "", 10},          // ten digits do not
        {std::string("1\0:", 3), 10, 1, "", 2},  // NUL is neither allowed nor a terminator
    };
    for (const auto& c : cases) {
        btStream s = StreamOf(c.input);
        char buffer[16] = "garbage";
        EXPECT_EQ(s.ReadToken("0123456789", ":", buffer, c.maximum), c.result) << c.input;
        if (c.result == 0) {
            EXPECT_EQ(std::string(buffer), c.token) << c.input;
        }
        EXPECT_EQ(s.GetPosition(), c.position) << c.input;
    }
}

// --------------------------------------------------------------------- Decode

struct DecodeCase {
    std::string input;
    int result;
    // Encoding of what was decoded, when it differs from the input.
    std::string reencoded;
};

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

TEST(btDecoder, Decode) {
    const DecodeCase cases[] = {
        // Integers.
        {"i0e", 0, ""},
        {"i50e", 0, ""},
        {"i4294967296e", 0, ""},
        {"i9223372036854775807e", 0, ""},
        {"i9223372036854775808e", 1, ""},  // one past the signed 64-bit range
        {"i18446744073709551616e", 1, ""},
        {"i" + std::string(24, '9') + "e", 1, ""},
        {"i" + std::string(23, '0') + "7e", 0, "i7e"},  // 24 digits
        {"i" + std::string(24, '0') + "7e", 1, ""},     // 25 digits
        {"i-1e", 1, ""},  // negative values encode but never decode
        {"ie", 1, ""},
        {"i12", 1, ""},
        {"i1xe", 1, ""},
        // Strings.
        {"0:", 0, ""},
        {"3:abc", 0, ""},
        {std::string("3:a\0b", 5), 0, ""},
        {"10:abc", 1, ""},
        {"999999999:abc", 1, ""},  // refused before a buffer is made
        {"1234567890:" + std::string(100, 'x'), 1, ""},
        {"3abc", 1, ""},
        // First byte.
        {"", -1, ""},
        {"x", -1, ""},
        {"\xC8", -1, ""},
        {"e", -1, ""},
        {"-1:a", -1, ""},
        // Lists.
        {"le", 0, ""},
        {"li1e3:abcle4:spame", 0, ""},
        {"l", 1, ""},
        {"li1e", 1, ""},
        {"lxe", 1, ""},
        {"li-1ee", 1, ""},
        // Dictionaries.
        {"de", 0, ""},
        {"d3:msg7:reqpeer4:numsi50ee", 0, ""},
        {"d4:nums1:x3:msg1:ye", 0, "d3:msg1:y4:nums1:xe"},  // unsorted input is accepted
        {"d3:keyi1e3:keyi2ee", 1, ""},
        {"di1ei2ee", 1, ""},
        {"d3:key", -1, ""},  // ends where the value should begin
        {"d3:keyxe", -1, ""},
        {"d3:keyi1e", 1, ""},
        {"d", 1, ""},
        // Nesting.
        {Repeat("l", 64) + Repeat("e", 64), 0, ""},
        {Repeat("l", 65) + Repeat("e", 65), 1, ""},
        {Repeat("d1:k", 64) + "i1e" + Repeat("e", 64), 0, ""},
        {Repeat("d1:k", 65) + "i1e" + Repeat("e", 65), 1, ""},
        {Repeat("ld1:k", 40) + "le" + Repeat("ee", 40), 1, ""},
        {Repeat("l", 100000), 1, ""},  // no stack exhaustion
    };
    for (const auto& c : cases) {
        const std::string label = c.input.substr(0, 40);
        btStream s = StreamOf(c.input);
        btDecoder d(&s);
        btObject* raw = nullptr;
        const int r = d.Decode(&raw);
        std::unique_ptr<btObject> object(raw);  // the caller's whatever the result
        EXPECT_EQ(r, c.result) << label;
        if (r == 0) {
            EXPECT_EQ(s.GetPosition(), s.GetSize()) << label;
            const auto again = EncodeToText(object.get());
            EXPECT_EQ(again.first, 0) << label;
            EXPECT_EQ(again.second, c.reencoded.empty() ? c.input : c.reencoded) << label;
        }
    }
}

TEST(btDecoder, DecodeValues) {
    btStream s = StreamOf("i4294967296e" + std::string("4:a\0bc", 6));
    btDecoder d(&s);
    btInteger i;
    ASSERT_EQ(d.DecodeInteger(&i), 0);
    EXPECT_EQ(i.GetValue(), 4294967296ll);
    btString str;
    ASSERT_EQ(d.DecodeString(&str), 0);
    EXPECT_EQ(str.ToStdString(), std::string("a\0bc", 4));
    EXPECT_EQ(str.GetData()[4], '\0');
}

TEST(btDecoder, ByteThatStartsNoValueLeavesOutAlone) {
    btStream s = StreamOf("x");
    btDecoder d(&s);
    btInteger sentinel;
    btObject* out = &sentinel;
    EXPECT_EQ(d.Decode(&out), -1);
    EXPECT_EQ(out, &sentinel);
    EXPECT_EQ(d.Decode(nullptr), 1);
}

TEST(btDecoder, DecodeDictIsHowRepliesAreRead) {
    const std::string reply = "d6:reason3:a\0b6:resulti0e5:peersld2:ip4:1.2.eee"s;
    btStream s = StreamOf(reply);
    btDecoder d(&s);
    btDict dict;
    ASSERT_EQ(d.DecodeDict(&dict), 0);
    EXPECT_EQ(static_cast<btString*>(dict.Find("reason"))->ToStdString(), std::string("a\0b", 3));
    EXPECT_EQ(static_cast<btInteger*>(dict.Find("result"))->GetValue(), 0);
    auto* peers = static_cast<btList*>(dict.Find("peers"));
    ASSERT_EQ(peers->GetType(), BT_LIST);
    ASSERT_EQ(peers->GetCount(), 1);
    auto* ip = static_cast<btDict*>(peers->GetAt(0))->Find("ip");
    EXPECT_EQ(static_cast<btString*>(ip)->ToStdString(), "1.2.");
}

TEST(btDecoder, DecodeDictRefusals) {
    struct {
        std::string input;
        int result;
        int kept;  // pairs the caller's dict holds afterwards
    } const cases[] = {
        {"", 1, 0},  // the first byte cannot be read
        {"le", 1, 0},
        {"d1:ai1e1:bx", -1, 1},
        {"d1:ai1e1:a0:e", 1, 1},
        {"d1:ai1ei2e1:be", 1, 1},
        {Repeat("d1:k", 65) + "0:" + Repeat("e", 65), 1, 0},
    };
    for (const auto& c : cases) {
        btStream s = StreamOf(c.input);
        btDecoder d(&s);
        btDict dict;
        EXPECT_EQ(d.DecodeDict(&dict), c.result) << c.input.substr(0, 30);
        EXPECT_EQ(dict.GetCount(), c.kept) << c.input.substr(0, 30);
    }
}

TEST(btDecoder, FailedListKeepsElementsDecodedBefore) {
    btStream s = StreamOf("l1:ai2exe");
    btDecoder d(&s);
    btObject* raw = nullptr;
    EXPECT_EQ(d.Decode(&raw), 1);
    std::unique_ptr<btObject> object(raw);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(static_cast<btList*>(object.get())->GetCount(), 2);
}

// ----------------------------------------------------------------------- Dump

std::string Ptr(const void* p) {
    char text[64];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

TEST(btObject, DumpListing) {
    btDict d;
    d.Insert("nums", new btInteger(-50));
    d.Insert("msg", new btString(Bytes(std::string("a\x01\x7F\xC8z", 5))));
    auto* list = new btList;
    auto* longer = new btString("0123456789abcdefghijklmnopqrstuvwxyz");
    auto* empty = new btList;
    list->Append(longer);
    list->Append(empty);
    d.Insert("l", list);

    const btString* k_l = d.FirstKey();
    const btString* k_msg = d.NextKey();
    const btString* k_nums = d.NextKey();
    const std::string expected =
        Ptr(&d) + "(DICT)={\n" +
        "   " + Ptr(k_l) + "(STRING)=(1)'l'\n" +
        "   =>\n" +
        "      " + Ptr(list) + "(LIST)={\n" +
        "         [0]\n" +
        "            " + Ptr(longer) + "(STRING)=(36)'0123456789abcdefghijklmnopqrstuv...'\n" +
        "         [1]\n" +
        "            " + Ptr(empty) + "(LIST)={\n" +
        "            }\n" +
        "      }\n" +
        "   " + Ptr(k_msg) + "(STRING)=(3)'msg'\n" +
        "   =>\n" +
        "      " + Ptr(d.Find("msg")) + "(STRING)=(5)'a??\xC8z'\n" +
        "   " + Ptr(k_nums) + "(STRING)=(4)'nums'\n" +
        "   =>\n" +
        "      " + Ptr(d.Find("nums")) + "(INTEGER)=-50\n" +
        "}\n";

    testing::internal::CaptureStdout();
    d.Dump(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);

    btInteger big(INT64_MAX);
    testing::internal::CaptureStdout();
    big.Dump(1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "   " + Ptr(&big) + "(INTEGER)=9223372036854775807\n");
}

}  // namespace
