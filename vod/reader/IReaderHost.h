#pragma once

#include "vod/reader/IReader.h"

namespace inf {

// Opens a reader at a byte offset (a seek). Called by slot number from an
// outside in-process component: 0 Destroy, 1 Open. No virtual destructor for
// the reason given at IReader.
class IReaderHost {
public:
    // Deletes the whole object behind the interface; users never call it.
    virtual void Destroy(unsigned int flags) = 0;
    // The reader positioned at offset, or null while the size is unknown.
    // The name is not looked at.
    virtual IReader* Open(const char* name, unsigned long long offset) = 0;

protected:
    ~IReaderHost() = default;
};

}  // namespace inf
