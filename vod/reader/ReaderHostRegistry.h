#pragma once

#include <cstdint>

namespace inf {

class IReaderHost;

// The reader hosts of the engines running in this process. A "zaror://"
// address carries a host's address as a number, and such addresses can also
// come from a page (advertisement and buffering addresses): a player calls
// through the number only when it names a host registered here. Engines
// register at Start and unregister at Stop. Any thread.
void RegisterReaderHost(IReaderHost* host);
void UnregisterReaderHost(IReaderHost* host);
// The registered host whose address is `number`, or null.
IReaderHost* FindReaderHost(std::uintptr_t number);

}  // namespace inf
