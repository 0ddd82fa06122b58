#include "common/bencode/btStream.h"

#include <cstring>
#include <limits>

namespace {

const std::int32_t kSlack = 100;

bool IsOneOf(char c, const char* set) {
    // strchr would match the terminating NUL of set.
    return c != '\0' && std::strchr(set, c) != nullptr;
}

}  // namespace

btStream::btStream() : m_pos(0), m_size(0), m_capacity(0) {}

btStream::~btStream() = default;

int btStream::Read(void* dest, std::int32_t n) {
    if (n < 0 || std::int64_t(m_pos) + n > m_size)
        return 1;
    if (n > 0)
        std::memcpy(dest, m_store.data() + m_pos, static_cast<std::size_t>(n));
    m_pos += n;
    return 0;
}

int btStream::Write(const void* bytes, std::int32_t n) {
    if (n < 0)
        return 1;
    const std::int64_t end = std::int64_t(m_size) + n;
    if (end > m_capacity) {
        if (end + kSlack > std::numeric_limits<std::int32_t>::max())
            return 1;
        m_capacity = static_cast<std::int32_t>(end + kSlack);
        m_store.resize(static_cast<std::size_t>(m_capacity));
    }
    if (n > 0)
        std::memcpy(&m_store[static_cast<std::size_t>(m_size)], bytes, static_cast<std::size_t>(n));
    m_size = static_cast<std::int32_t>(end);
    return 0;
}

int btStream::Peek() const {
    if (m_pos >= m_size)
        return -1;
    return static_cast<signed char>(m_store[static_cast<std::size_t>(m_pos)]);
}

int btStream::Reset(int mode) {
    switch (mode) {
    case 0:
        m_pos = 0;
        return 0;
    case 1:
        m_size = 0;
        return 0;
    default:
        return 1;
    }
}

int btStream::ReadToken(const char* allowed, const char* terminators, char* buffer,
                        std::int32_t maximum) {
    for (std::int32_t i = 0; i < maximum; ++i) {
        char c;
        const int r = Read(&c, 1);
        if (r != 0)
            return r;
        if (IsOneOf(c, terminators)) {
            buffer[i] = '\0';
            return 0;
        }
        if (!IsOneOf(c, allowed))
            return 1;
        buffer[i] = c;
    }
    return 1;
}
