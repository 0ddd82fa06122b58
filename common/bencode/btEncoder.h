#pragma once

class btStream;
class btObject;
class btString;
class btInteger;
class btList;
class btDict;

// Writes values to a stream in bencode:
//   string   <length>:<bytes>        integer  i<decimal>e  (minus sign kept)
//   list     l<value>...e            dict     d<string><value>...e, keys in
//                                             btStringLess order
// Results: 0 success, 1 a null value, an unknown type or a failed write.
class btEncoder {
public:
    explicit btEncoder(btStream* stream) : m_stream(stream) {}

    int Encode(const btObject* object);
    int EncodeString(const btString* string);
    int EncodeInteger(const btInteger* integer);
    // Writes every element even after one failed; ORs the results.
    int EncodeList(const btList* list);
    // Stops at the first failure, without the closing "e".
    int EncodeDict(const btDict* dict);

private:
    btStream* m_stream;
};
