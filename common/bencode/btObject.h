#pragma once

#include <cstdint>

// Type codes of the bencode values.
enum btType : std::int32_t {
    BT_STRING = 0,
    BT_INTEGER = 1,
    BT_LIST = 2,
    BT_DICT = 3,
};

// Base of the bencode values: btString, btInteger, btList and btDict.
// Values live on the heap and belong to the container they were put into.
class btObject {
public:
    virtual ~btObject();

    // Debug listing on standard output, three blanks per indent level.
    virtual void Dump(int indent = 0) const = 0;

    btType GetType() const { return m_type; }

protected:
    explicit btObject(btType type) : m_type(type) {}
    btObject(const btObject&) = default;
    btObject& operator=(const btObject&) = default;

    static void DumpIndent(int indent);

    btType m_type;
};
