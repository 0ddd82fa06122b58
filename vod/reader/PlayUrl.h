#pragma once

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

}  // namespace vod
