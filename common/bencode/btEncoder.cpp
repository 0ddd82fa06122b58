#include "common/bencode/btEncoder.h"

#include <cinttypes>

#include "common/bencode/btDict.h"
#include "common/bencode/btInteger.h"
#include "common/bencode/btList.h"
#include "common/bencode/btStream.h"
#include "common/bencode/btString.h"
#include "common/bencode/btWriteFormat.h"

int btEncoder::Encode(const btObject* object) {
    if (object == nullptr)
        return 1;
    switch (object->GetType()) {
    case BT_STRING:
        return EncodeString(static_cast<const btString*>(object));
    case BT_INTEGER:
        return EncodeInteger(static_cast<const btInteger*>(object));
    case BT_LIST:
        return EncodeList(static_cast<const btList*>(object));
    case BT_DICT:
        return EncodeDict(static_cast<const btDict*>(object));
    }
    return 1;
}

int btEncoder::EncodeString(const btString* string) {
    if (string == nullptr || m_stream == nullptr)
        return 1;
    const int r = btWriteFormat(m_stream, "%d:", static_cast<int>(string->GetLength()));
    if (r != 0)
        return r;
    return m_stream->Write(string->GetData(), string->GetLength());
}

int btEncoder::EncodeInteger(const btInteger* integer) {
    if (integer == nullptr)
        return 1;
    return btWriteFormat(m_stream, "i%" PRId64 "e", integer->GetValue());
}

int btEncoder::EncodeList(const btList* list) {
    if (list == nullptr)
        return 1;
    int result = btWriteFormat(m_stream, "l");
    for (std::int32_t i = 0; i < list->GetCount(); ++i)
        result |= Encode(list->GetAt(i));
    return result | btWriteFormat(m_stream, "e");
}

int btEncoder::EncodeDict(const btDict* dict) {
    if (dict == nullptr)
        return 1;
    int r = btWriteFormat(m_stream, "d");
    if (r != 0)
        return r;
    for (const auto& entry : *dict) {
        r = EncodeString(&entry.first);
        if (r == 0)
            r = Encode(entry.second);
        if (r != 0)
            return r;
    }
    return btWriteFormat(m_stream, "e");
}
