#pragma once
#include <cstdint>
#include <string>

// Seconds as "HH:MM:SS", two digits each; the hours wrap at 24, as the bar
// has always shown them.
std::wstring TimeSpanText(std::int64_t seconds);
