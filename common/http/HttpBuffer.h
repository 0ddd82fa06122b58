#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace http {

// Bytes of a request or response body, grown in steps of 1,024 bytes.
class CBuffer {
public:
    CBuffer();
    virtual ~CBuffer();
    CBuffer(const CBuffer&) = delete;
    CBuffer& operator=(const CBuffer&) = delete;

    // Room for n more bytes: the capacity becomes used + n rounded up to a
    // multiple of 1,024. False when memory runs out (nothing changes).
    bool Reserve(std::size_t n);
    bool Append(const void* bytes, std::size_t n);
    // Reading in place: Reserve, write at End, then Commit what was written.
    unsigned char* End() { return m_data + m_used; }
    void Commit(std::size_t n) { m_used += n; }

    const unsigned char* Data() const { return m_data; }
    std::size_t Size() const { return m_used; }
    std::size_t Capacity() const { return m_capacity; }

    // The first min(maximum, Size()) bytes decoded in the given code page.
    std::wstring ToString(std::size_t maximum, UINT codePage) const;

private:
    unsigned char* m_data;   // C allocator
    std::size_t m_used;
    std::size_t m_capacity;
};

} // namespace http
