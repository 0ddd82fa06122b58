#include "service/P2PNetListener.h"

#include "service/VodSeeder.h"

// The connection type is not looked at: a session serves whatever reaches it.
void CP2PNetListener::OnEvent(const PeerId* peer, int event, int) {
    if (peer)
        m_seeder->OnNetEvent(m_core, *peer, event);
}

void CP2PNetListener::OnReceive(const PeerId* peer, int, const char* data, int length) {
    if (peer && data && length > 0)
        m_seeder->OnNetReceive(m_core, *peer, data, length);
}
