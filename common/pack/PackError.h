#pragma once

#include <stdexcept>

namespace nps {

// The packer's failures. Readers of outside bytes catch base_pack_error and
// treat the record as malformed; the texts are the what() strings.
class base_pack_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writer side: buffer growth, an oversize varstr, and Unpack::finish.
class pack_error : public base_pack_error {
public:
    using base_pack_error::base_pack_error;
};

// Reader side: a read past the end of the input, or an absurd bit field.
class unpack_error : public base_pack_error {
public:
    using base_pack_error::base_pack_error;
};

}  // namespace nps
