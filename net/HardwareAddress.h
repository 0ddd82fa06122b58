#pragma once

#include <cstddef>
#include <string>

// An adapter's hardware address as the peer id uses it: six bytes.
const std::size_t kHardwareAddressSize = 6;

// Copies at most six of the reported bytes (an adapter may report up to
// eight) and zero-fills the rest, so a long address never runs past the field.
void CopyHardwareAddress(const unsigned char* reported, std::size_t reportedLength,
                         unsigned char (&out)[kHardwareAddressSize]);

// "%02X" six times: 12 upper-case hexadecimal digits, bytes in order.
std::string FormatHardwareAddress(const unsigned char (&address)[kHardwareAddressSize]);
