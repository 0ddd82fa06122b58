#pragma once

#include <cstdint>
#include <string>

#include "net/PeerId.h"

// The local id, built once when a core binds its UDP socket: the hardware
// address of adapter 0 as 12 hex digits (12 random letters when no adapter
// answers), "@", the bound port in decimal and 7 random letters; the id is
// the first 20 characters. Seeds rand() with time() first. Winsock library.
PeerId MakePeerId(std::uint16_t port);

// The same text from a given hardware address text (null: none could be
// read), drawing the letters from rand() as it stands. Windows-free.
PeerId ComposePeerId(const std::string* hardwareHex, std::uint16_t port);
