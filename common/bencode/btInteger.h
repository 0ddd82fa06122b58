#pragma once

#include <cstdint>

#include "common/bencode/btObject.h"

class btInteger : public btObject {
public:
    btInteger() : btObject(BT_INTEGER), m_value(0) {}
    explicit btInteger(std::int64_t value) : btObject(BT_INTEGER), m_value(value) {}

    std::int64_t GetValue() const { return m_value; }
    void SetValue(std::int64_t value) { m_value = value; }

    void Dump(int indent = 0) const override;

private:
    std::int64_t m_value;
};
