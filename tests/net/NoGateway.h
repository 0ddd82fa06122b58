#pragma once

// The test network has no gateway, and the system's UPnP object (disabled
// under test) would take seconds to say so before every login: cores of a
// test process map no port.
#include <memory>

#include "net/PortMapper.h"
#include "net/UHCore.h"

namespace nettest {

class NoGateway : public PortMapper {
public:
    bool Init() override { return false; }
    bool Add(const char*, std::uint16_t, int, std::uint16_t) override { return false; }
    bool Remove(std::uint16_t, int) override { return false; }
    void Release() override {}
};

inline std::unique_ptr<PortMapper> MakeNoGateway() {
    return std::unique_ptr<PortMapper>(new NoGateway());
}

// Every UH core this process starts from now on uses NoGateway.
inline void UseNoGateway() { uh::UHCore::SetPortMapperFactory(&MakeNoGateway); }

}  // namespace nettest
