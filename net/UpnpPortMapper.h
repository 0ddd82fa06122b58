#pragma once

#include <boost/thread/mutex.hpp>

#include "net/PortMapper.h"

struct IUPnPNAT;
struct IStaticPortMappingCollection;

// Port mapping through the system's UPnP NAT object. Every operation runs
// under one mutex; the interface pointers are null until Init succeeds and
// after Release.
class UpnpPortMapper : public PortMapper {
public:
    // Creates the NAT object; the default asks COM for the system's class.
    typedef long (*NatFactory)(IUPnPNAT** nat);

    explicit UpnpPortMapper(NatFactory factory = nullptr);
    ~UpnpPortMapper() override;

    UpnpPortMapper(const UpnpPortMapper&) = delete;
    UpnpPortMapper& operator=(const UpnpPortMapper&) = delete;

    bool Init() override;
    // The mapping's external address is read back; true when both calls work.
    bool Add(const char* internalClient, std::uint16_t internalPort, int protocol,
             std::uint16_t externalPort) override;
    bool Remove(std::uint16_t externalPort, int protocol) override;
    void Release() override;

private:
    bool FetchCollection();
    void ReleaseLocked();

    NatFactory m_factory;
    IUPnPNAT* m_nat;
    IStaticPortMappingCollection* m_collection;
    boost::mutex m_mutex;  // guards m_nat and m_collection
};
