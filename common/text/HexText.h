#pragma once

// Hexadecimal text: bytes written as lower-case digits, two a byte, and
// one digit read. Windows-free.
#include <cstddef>
#include <string>

std::string LowerHex(const void* data, std::size_t length);

// The value of one hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);
