#pragma once

// Seconds since 1970 as the advertisement windows read them. Tests set the
// clock so that cycles of tens of seconds run in milliseconds.
namespace ADClock {

int Now();
// A non-zero value fixes the clock at it; 0 gives the real time back.
void Set(int secondsSince1970);

} // namespace ADClock
