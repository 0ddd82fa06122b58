#pragma once

// Bytes as lower-case hexadecimal text, two digits a byte. Windows-free.
#include <cstddef>
#include <string>

std::string LowerHex(const void* data, std::size_t length);
