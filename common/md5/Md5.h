#pragma once

// MD5 message digest (RFC 1321), with the reference interface.
// Windows-free: the cache checks pieces with it, the login hashes passwords.

#include <cstddef>
#include <cstdint>
#include <string>

struct MD5_CTX {
    std::uint32_t state[4];
    std::uint32_t count[2];     // bit count, low word first
    unsigned char buffer[64];   // input block being filled
};

void MD5Init(MD5_CTX* context);
void MD5Update(MD5_CTX* context, const void* input, std::size_t length);
// Writes the 16-byte digest and clears the whole context.
void MD5Final(unsigned char digest[16], MD5_CTX* context);

// Digest of one buffer, as 16 raw bytes.
void Md5Digest(const void* input, std::size_t length, unsigned char digest[16]);
// Digest of one buffer as 32 lower-case hexadecimal digits, in digest order.
std::string Md5Hex(const void* input, std::size_t length);
