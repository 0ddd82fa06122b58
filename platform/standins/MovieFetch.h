#pragma once
#include <string>

namespace standins {

// Reads a movie's address as the player does when a movie is put, so that
// the call record shows what the host really named: "<url>: <status>,
// <n> bytes", or "<url>: not fetched (<why>)". Only loopback addresses (the
// tests' servers) are asked; any other host is never contacted. Blocks for
// a few seconds at the most.
std::wstring FetchMovie(const std::wstring& url);

}  // namespace standins
