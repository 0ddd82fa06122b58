#pragma once

#include <cstdint>
#include <string>

// In-memory byte stream that the encoder writes and the decoder reads.
// The valid bytes are the first GetSize() bytes of GetBuffer(); the store
// itself keeps up to 100 bytes of slack after each growth.
//
// Results: 0 success, 1 short data or a failed write.
class btStream {
public:
    btStream();
    btStream(const btStream&) = default;
    btStream(btStream&&) = default;
    btStream& operator=(const btStream&) = default;
    btStream& operator=(btStream&&) = default;
    virtual ~btStream();

    // Copies n bytes to dest and advances; 1 (nothing read) when fewer are left.
    virtual int Read(void* dest, std::int32_t n);
    // Appends n bytes; 1 only when n is negative or the stream would pass 2 GB.
    virtual int Write(const void* bytes, std::int32_t n);
    // The next byte as a signed char widened to int (0x80..0xFF are
    // negative), or -1 at the end of the data; consumes nothing.
    virtual int Peek() const;
    // 0: rewind the read position; 1: drop the data (store kept). Others: 1.
    virtual int Reset(int mode);

    // Reads a token of allowed bytes up to one of the terminators, which is
    // consumed and not stored; buffer receives it NUL-terminated. 1 for a byte
    // that is neither, or when maximum bytes were read without a terminator.
    int ReadToken(const char* allowed, const char* terminators, char* buffer, std::int32_t maximum);

    std::int32_t GetSize() const { return m_size; }
    std::int32_t GetPosition() const { return m_pos; }
    const std::string& GetBuffer() const { return m_store; }

private:
    std::int32_t m_pos;
    std::string m_store;
    std::int32_t m_size;
    std::int32_t m_capacity;
};
