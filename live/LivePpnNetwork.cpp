#include "live/LivePpnNetwork.h"

#include "net/PPNException.h"

void LivePpnNetwork::Start(const PropertyMap& properties, ppn::EventListener* listener)
{
    m_core.AddListener(listener);
    m_core.SetProperties(properties);
    m_core.StartListen(0);
}

void LivePpnNetwork::Stop(ppn::EventListener* listener)
{
    try {
        m_core.RemoveListener(listener);
        m_core.Stop();
    } catch (const ppn::PPNException&) {
    }
}
