#pragma once

#include "live/LiveNetwork.h"
#include "net/PPNCore.h"

// The live engine's network: one ppn::PPNCore.
class LivePpnNetwork : public ILiveNetwork {
public:
    void Start(const PropertyMap& properties, ppn::EventListener* listener) override;
    void Stop(ppn::EventListener* listener) override;
    void GetLocalAddress(PeerAddress& address, bool needLogin) override { m_core.GetLocalAddress(address, needLogin); }
    void ConnectTo(const PeerAddress& peer, int type) override { m_core.ConnectTo(peer, type); }
    void Close(const PeerId& peer, int type) override { m_core.Close(peer, type); }
    void Send(const PeerId& peer, int type, const char* data, int length) override
    {
        m_core.Send(peer, type, data, length);
    }
    void GetProperties(PropertyMap& properties) override { m_core.GetProperties(properties); }

private:
    ppn::PPNCore m_core;
};
