#include "common/http/HttpBuffer.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace http {

namespace {
const std::size_t kGrowth = 1024;
}

CBuffer::CBuffer() : m_data(nullptr), m_used(0), m_capacity(0) {}

CBuffer::~CBuffer()
{
    std::free(m_data);
}

bool CBuffer::Reserve(std::size_t n)
{
    if (m_capacity - m_used >= n)
        return true;
    if (n > SIZE_MAX - m_used - kGrowth)
        return false;
    std::size_t capacity = (m_used + n + kGrowth - 1) / kGrowth * kGrowth;
    void* data = std::realloc(m_data, capacity);
    if (!data)
        return false;
    m_data = static_cast<unsigned char*>(data);
    m_capacity = capacity;
    return true;
}

bool CBuffer::Append(const void* bytes, std::size_t n)
{
    if (n == 0)
        return true;
    if (!Reserve(n))
        return false;
    std::memcpy(m_data + m_used, bytes, n);
    m_used += n;
    return true;
}

std::wstring CBuffer::ToString(std::size_t maximum, UINT codePage) const
{
    std::size_t n = maximum < m_used ? maximum : m_used;
    if (n == 0 || n > INT_MAX)
        return std::wstring();
    const char* bytes = reinterpret_cast<const char*>(m_data);
    int units = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(n), nullptr, 0);
    if (units <= 0)
        return std::wstring();
    std::wstring text(units, L'\0');
    MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(n), &text[0], units);
    return text;
}

} // namespace http
