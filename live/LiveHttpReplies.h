#pragma once

#include <cstdint>
#include <string>

// The exact reply texts of the local players; each is sent in one piece
// before anything else.
std::string LiveFlvReply(std::int64_t contentLength);
std::string LiveRmReply(std::int64_t contentLength, const std::string& date);
std::string LiveVlcReply();
// Push player: the header reply (Content-Length: the framed header's length)
// and the streaming reply; clientId is the client's socket number.
std::string LiveWmspHeaderReply(long long clientId, std::size_t contentLength);
std::string LiveWmspStreamingReply(long long clientId);
