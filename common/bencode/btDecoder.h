#pragma once

class btStream;
class btObject;
class btString;
class btInteger;
class btList;
class btDict;

// Reads bencode values from a stream (see btEncoder.h for the forms).
//
// Results: 0 success; 1 malformed or short input; -1 end of data where a value
// should begin, or a byte that starts no value. Limits on outside bytes:
// string lengths of at most 9 digits and never beyond the bytes left,
// integers of at most 24 digits within the signed 64-bit range (no sign: a
// negative integer is refused), and at most 64 nested lists and dictionaries.
class btDecoder {
public:
    static const int kMaxDepth = 64;

    explicit btDecoder(btStream* stream) : m_stream(stream) {}

    // Creates the value that the next byte announces and stores it in *out
    // before filling it: the caller owns *out whatever the result.
    int Decode(btObject** out);
    int DecodeString(btString* string);
    int DecodeInteger(btInteger* integer);
    int DecodeList(btList* list);
    // How callers read a reply: into a btDict they own.
    int DecodeDict(btDict* dict);

private:
    // depth: the number of lists and dictionaries around the value.
    int DecodeValue(btObject** out, int depth);
    int DecodeListAt(btList* list, int depth);
    int DecodeDictAt(btDict* dict, int depth);
    bool ReadByte(char expected);

    btStream* m_stream;
};
