#include "common/bencode/btString.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

btString::btString() : btObject(BT_STRING), m_length(0), m_data(nullptr) {}

btString::btString(const char* text) : btString() {
    if (text != nullptr)
        Assign(text, static_cast<std::int32_t>(std::strlen(text)));
}

btString::btString(const char* bytes, std::int32_t length) : btString() {
    Assign(bytes, length);
}

btString::btString(const btString& other) : btObject(other), m_length(0), m_data(nullptr) {
    Assign(other.m_data, other.m_length);
}

btString::btString(btString&& other) noexcept
    : btObject(other), m_length(other.m_length), m_data(other.m_data) {
    other.m_length = 0;
    other.m_data = nullptr;
}

btString& btString::operator=(const btString& other) {
    if (this != &other) {
        Release();
        Assign(other.m_data, other.m_length);
    }
    return *this;
}

btString& btString::operator=(btString&& other) noexcept {
    if (this != &other) {
        Release();
        m_length = other.m_length;
        m_data = other.m_data;
        other.m_length = 0;
        other.m_data = nullptr;
    }
    return *this;
}

btString::~btString() { Release(); }

void btString::Attach(char* buffer, std::int32_t length) {
    Release();
    m_data = buffer;
    m_length = buffer != nullptr ? length : 0;
}

void btString::Assign(const char* bytes, std::int32_t length) {
    if (bytes == nullptr || length <= 0)
        return;
    char* p = static_cast<char*>(std::malloc(static_cast<std::size_t>(length) + 1));
    if (p == nullptr)
        throw std::bad_alloc();
    std::memcpy(p, bytes, static_cast<std::size_t>(length));
    p[length] = '\0';
    m_data = p;
    m_length = length;
}

void btString::Release() {
    std::free(m_data);
    m_data = nullptr;
    m_length = 0;
}

void btString::Dump(int indent) const {
    static const int kShown = 32;
    DumpIndent(indent);
    std::printf("%p(STRING)=(%d)'", static_cast<const void*>(this), static_cast<int>(m_length));
    const int shown = m_length < kShown ? m_length : kShown;
    for (int i = 0; i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(m_data[i]);
        std::putchar(c < 32 || c == 127 ? '?' : c);
    }
    if (m_length > kShown)
        std::fputs("...", stdout);
    std::fputs("'\n", stdout);
}
