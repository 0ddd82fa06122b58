#pragma once

// Runs the calling thread's message loop in tests whose objects deliver
// through window messages.
#include <windows.h>

#include <functional>

#include "tests/common/MessagePump.h"

namespace nettest {

// Dispatches messages until done() or the bound passes; whether done() came.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 10000) { return PumpMessagesUntil(done, ms); }

// Pumps for a short while, to show that something does not happen.
inline void PumpAWhile(DWORD ms) { PumpUntil([] { return false; }, ms); }

}  // namespace nettest
