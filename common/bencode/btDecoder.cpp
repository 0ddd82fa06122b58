#include "common/bencode/btDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "common/bencode/btDict.h"
#include "common/bencode/btInteger.h"
#include "common/bencode/btList.h"
#include "common/bencode/btStream.h"
#include "common/bencode/btString.h"

namespace {

const char kDigits[] = "0123456789";

// Decimal digits to a non-negative value; false when it passes max.
bool ParseDecimal(const char* digits, std::int64_t max, std::int64_t* value) {
    std::int64_t v = 0;
    for (const char* p = digits; *p != '\0'; ++p) {
        const int d = *p - '0';
        if (v > (max - d) / 10)
            return false;
        v = v * 10 + d;
    }
    *value = v;
    return true;
}

}  // namespace

bool btDecoder::ReadByte(char expected) {
    char c;
    return m_stream->Read(&c, 1) == 0 && c == expected;
}

int btDecoder::Decode(btObject** out) { return DecodeValue(out, 0); }

int btDecoder::DecodeList(btList* list) { return DecodeListAt(list, 1); }

int btDecoder::DecodeDict(btDict* dict) { return DecodeDictAt(dict, 1); }

int btDecoder::DecodeValue(btObject** out, int depth) {
    if (out == nullptr || m_stream == nullptr)
        return 1;
    const int c = m_stream->Peek();
    if (c < 0)
        return -1;
    if (c >= '0' && c <= '9') {
        auto* string = new btString;
        *out = string;
        return DecodeString(string);
    }
    switch (c) {
    case 'i': {
        auto* integer = new btInteger;
        *out = integer;
        return DecodeInteger(integer);
    }
    case 'l': {
        auto* list = new btList;
        *out = list;
        return DecodeListAt(list, depth + 1);
    }
    case 'd': {
        auto* dict = new btDict;
        *out = dict;
        return DecodeDictAt(dict, depth + 1);
    }
    default:
        return -1;
    }
}

int btDecoder::DecodeString(btString* string) {
    if (string == nullptr || m_stream == nullptr)
        return 1;
    // Ten bytes at most, the colon included: lengths of up to nine digits.
    char digits[10];
    const int r = m_stream->ReadToken(kDigits, ":", digits, sizeof digits);
    if (r != 0)
        return r;
    std::int64_t length;
    if (digits[0] == '\0' || !ParseDecimal(digits, std::numeric_limits<std::int32_t>::max(), &length))
        return 1;
    // Refused before any buffer is made for it.
    if (length > m_stream->GetSize() - m_stream->GetPosition())
        return 1;
    char* bytes = static_cast<char*>(std::malloc(static_cast<std::size_t>(length) + 1));
    if (bytes == nullptr)
        return 1;
    if (m_stream->Read(bytes, static_cast<std::int32_t>(length)) != 0) {
        std::free(bytes);
        return 1;
    }
    bytes[length] = '\0';
    string->Attach(bytes, static_cast<std::int32_t>(length));
    return 0;
}

int btDecoder::DecodeInteger(btInteger* integer) {
    if (integer == nullptr || m_stream == nullptr)
        return 1;
    if (!ReadByte('i'))
        return 1;
    // Up to 24 digits; no sign, so a negative value is refused here.
    char digits[25];
    const int r = m_stream->ReadToken(kDigits, "e", digits, sizeof digits);
    if (r != 0)
        return r;
    std::int64_t value;
    if (digits[0] == '\0' || !ParseDecimal(digits, std::numeric_limits<std::int64_t>::max(), &value))
        return 1;
    integer->SetValue(value);
    return 0;
}

int btDecoder::DecodeListAt(btList* list, int depth) {
    if (list == nullptr || m_stream == nullptr || depth > kMaxDepth)
        return 1;
    if (!ReadByte('l'))
        return 1;
    while (m_stream->Peek() != 'e') {
        btObject* item = nullptr;
        if (DecodeValue(&item, depth) != 0) {
            delete item;
            return 1;
        }
        list->Append(item);
    }
    return ReadByte('e') ? 0 : 1;
}

int btDecoder::DecodeDictAt(btDict* dict, int depth) {
    if (dict == nullptr || m_stream == nullptr || depth > kMaxDepth)
        return 1;
    if (!ReadByte('d'))
        return 1;
    while (m_stream->Peek() != 'e') {
        btString key;
        int r = DecodeString(&key);
        if (r != 0)
            return r;
        btObject* value = nullptr;
        r = DecodeValue(&value, depth);
        if (r != 0) {
            delete value;
            return r;
        }
        if (dict->Insert(key, value) != 0) {
            delete value;
            return 1;
        }
    }
    return ReadByte('e') ? 0 : 1;
}
