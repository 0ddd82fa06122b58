#include "net/PPNCore.h"

#include "net/PPNCoreImpl.h"
#include "net/PPNException.h"

namespace ppn {

PPNCore::PPNCore() : m_impl(new PPNCoreImpl()) {}

PPNCore::~PPNCore() {
    try {
        m_impl->Stop();
    } catch (const PPNException&) {
    }
    delete m_impl;
}

void PPNCore::SetProperties(const PropertyMap& properties) { m_impl->SetProperties(properties); }
void PPNCore::GetProperties(PropertyMap& properties) { m_impl->GetProperties(properties); }
void PPNCore::StartListen(std::uint16_t port) { m_impl->StartListen(port); }
void PPNCore::Stop() { m_impl->Stop(); }
void PPNCore::GetLocalAddress(PeerAddress& address, bool needLogin) { m_impl->GetLocalAddress(address, needLogin); }
void PPNCore::ConnectTo(const PeerAddress& peer, int type) { m_impl->ConnectTo(peer, type); }
void PPNCore::Close(const PeerId& peer, int type) { m_impl->Close(peer, type); }
void PPNCore::Send(const PeerId& peer, int type, const char* data, int length) {
    m_impl->Send(peer, type, data, length);
}
void PPNCore::AddListener(EventListener* listener) { m_impl->AddListener(listener); }
void PPNCore::RemoveListener(EventListener* listener) { m_impl->RemoveListener(listener); }

void PPNCore::NotifyThread_Functor::operator()() const { impl->NotifyThread(); }

}  // namespace ppn
