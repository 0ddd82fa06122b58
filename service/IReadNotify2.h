#pragma once

#include <cstdint>

// Where a block reader hands the pieces it read from the disk.
class IReadNotify2 {
public:
    virtual ~IReadNotify2() = default;
    // buffer is the caller's piece buffer given to BlockReader::Read; failed
    // pieces carry length 0 and no bytes.
    virtual void OnReadDone(std::uint32_t piece, char* buffer, std::uint32_t length,
                            bool failed) = 0;
};
