#pragma once

#include <cstdint>

// Asks the Internet gateway to forward a port to this host. The UH core maps
// its UDP port through this seam: UpnpPortMapper in the product, a recording
// stand-in in tests (the real UPnP object would send discovery traffic onto
// the network).
class PortMapper {
public:
    enum Protocol { kUdp = 1, kTcp = 2 };

    virtual ~PortMapper() {}

    // COM must be initialised on the calling thread.
    virtual bool Init() = 0;
    virtual bool Add(const char* internalClient, std::uint16_t internalPort, int protocol,
                     std::uint16_t externalPort) = 0;
    virtual bool Remove(std::uint16_t externalPort, int protocol) = 0;
    virtual void Release() = 0;
};
