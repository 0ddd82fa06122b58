#pragma once

#include <cstdint>
#include <string>

#include "common/bencode/btObject.h"

// A byte string (NULs allowed). The bytes sit in one C-heap block followed by
// a NUL that is not counted, so GetData() can also be used as a C text.
class btString : public btObject {
public:
    btString();
    // Copies a NUL-terminated text; implicit so that keys can be written
    // as literals: dict.Find("msg").
    btString(const char* text);
    btString(const char* bytes, std::int32_t length);
    btString(const btString& other);
    btString(btString&& other) noexcept;
    btString& operator=(const btString& other);
    btString& operator=(btString&& other) noexcept;
    ~btString() override;

    // Takes over buffer: length bytes plus a NUL, allocated with malloc.
    void Attach(char* buffer, std::int32_t length);

    // Never null: an empty string gives "".
    const char* GetData() const { return m_data != nullptr ? m_data : ""; }
    std::int32_t GetLength() const { return m_length; }
    std::string ToStdString() const { return std::string(GetData(), static_cast<std::size_t>(m_length)); }

    void Dump(int indent = 0) const override;

private:
    void Assign(const char* bytes, std::int32_t length);
    void Release();

    std::int32_t m_length;
    char* m_data;  // null while empty and not attached
};
