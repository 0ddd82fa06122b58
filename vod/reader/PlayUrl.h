#pragma once

#include <cstdint>
#include <string>

namespace vod {

// The address a player is given for one video:
//  - media type other than "flv" (exact, case-sensitive):
//    "zaror://0x%08x/1.<type>" with the reader host's address; on 64-bit
//    builds the address keeps all its digits (at least eight);
//  - "flv" with the loopback server's port: "http://127.0.0.1:<port>/1.flv";
//  - "flv" without a port (the server did not start): "".
std::wstring FormatPlayUrl(const std::wstring& mediaType, const void* readerHost,
                           unsigned short port);

// The reverse for "zaror://0x<hex>/<path>": the number (one to twice as many
// hexadecimal digits as a pointer has, either case) and the path. False for
// any other text, and for a number that does not fit a pointer.
bool ParseReaderHostUrl(const std::wstring& url, std::uintptr_t* host, std::wstring* path);

}  // namespace vod
