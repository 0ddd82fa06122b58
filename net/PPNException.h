#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace ppn {

// Layers named in an exception (the facade counts itself as 0, unlike the
// layer byte of a PpnHeader).
const std::uint8_t PPN_LAYER_CORE = 0;
const std::uint8_t PPN_LAYER_UH = 1;
const std::uint8_t PPN_LAYER_SRUDP = 2;
const std::uint8_t PPN_LAYER_SUDT = 3;
const std::uint8_t PPN_LAYER_TCP = 4;

// Error classes: the socket library, state (already connected, unknown
// properties), everything else.
const std::uint8_t PPN_CLASS_SOCKET = 0;
const std::uint8_t PPN_CLASS_GENERAL = 1;
const std::uint8_t PPN_CLASS_STATE = 2;

const std::uint8_t PPN_ERR_INVALID_ARGUMENTS = 2;
const std::uint8_t PPN_ERR_UNKNOWN_PROPERTY = 3;
const std::uint8_t PPN_ERR_NO_NAT_SERVER = 4;
const std::uint8_t PPN_ERR_UH_START = 5;
const std::uint8_t PPN_ERR_TRANSPORT_START = 6;
const std::uint8_t PPN_ERR_NOT_STARTED = 7;
const std::uint8_t PPN_ERR_NOT_LOGGED_IN = 8;
const std::uint8_t PPN_ERR_UNKNOWN_TYPE = 9;
const std::uint8_t PPN_ERR_CONNECT_FAILED = 10;
const std::uint8_t PPN_ERR_NO_CONNECTION = 11;
const std::uint8_t PPN_ERR_CLOSE_FAILED = 12;
const std::uint8_t PPN_ERR_SEND_FAILED = 13;
const std::uint8_t PPN_ERR_ALREADY_CONNECTED = 17;
const std::uint8_t PPN_ERR_SOCKET_LIBRARY = 18;
const std::uint8_t PPN_ERR_SELF = 19;
const std::uint8_t PPN_ERR_TCP_NOT_STARTED = 20;

// Every failure of the network facade: the text (what()), the layer that
// failed, the error class and the code. Callers catch it, ignore the text and
// treat the operation as failed.
class PPNException : public std::runtime_error {
public:
    PPNException(const std::string& text, std::uint8_t layer, std::uint8_t errorClass, std::uint8_t code)
        : std::runtime_error(text), m_layer(layer), m_class(errorClass), m_code(code) {}

    std::uint8_t Layer() const { return m_layer; }
    std::uint8_t Class() const { return m_class; }
    std::uint8_t Code() const { return m_code; }

private:
    std::uint8_t m_layer;
    std::uint8_t m_class;
    std::uint8_t m_code;
};

}  // namespace ppn
