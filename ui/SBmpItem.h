#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/SerializationExports.h"

#include <boost/serialization/nvp.hpp>
#include <boost/serialization/string.hpp>

namespace nps {
class Unpack;
}

namespace UI_Mgr {

// One named rectangle of a skin bitmap. Binary form, after its map key:
//
//   +--------+-------+------+-----+-------+--------+--------+--------+
//   | format | ID    | left | top | right | bottom | Name   | Desc   |
//   | u8 (1) | u32   | u32  | u32 | u32   | u32    | varstr | varstr |
//   +--------+-------+------+-----+-------+--------+--------+--------+
//
// The edges are stored unsigned and read into signed fields.
struct SBmpItem {
    std::uint8_t format = 1;
    std::uint32_t ID = 0;
    RECT Rect = {0, 0, 0, 0};
    std::string Name;
    std::string Desc;

    // Throws nps::unpack_error on a short record.
    void Unpack(nps::Unpack& in);

    // The XML form has no format byte.
    template <class Archive>
    void serialize(Archive& ar, unsigned int /*version*/)
    {
        ar& boost::serialization::make_nvp("ID", ID);
        ar& boost::serialization::make_nvp("Rect", Rect);
        ar& boost::serialization::make_nvp("Name", Name);
        ar& boost::serialization::make_nvp("Desc", Desc);
    }
};

}  // namespace UI_Mgr

namespace boost {
namespace serialization {

template <class Archive>
void serialize(Archive& ar, RECT& rect, unsigned int /*version*/)
{
    ar& make_nvp("l", rect.left);
    ar& make_nvp("t", rect.top);
    ar& make_nvp("r", rect.right);
    ar& make_nvp("b", rect.bottom);
}

}  // namespace serialization
}  // namespace boost
