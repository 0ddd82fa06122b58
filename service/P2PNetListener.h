#pragma once

#include "net/EventListener.h"

namespace ppn {
class PPNCore;
}
class VodSeeder;

// Hands one core's events and messages to its seeder. Runs under the core's
// listener mutex, so it never adds or removes listeners nor stops a core;
// what it calls on the core (Send, Close) does not wait for the notify
// thread, so the core's Stop cannot deadlock on it.
class CP2PNetListener : public ppn::EventListener {
public:
    CP2PNetListener(VodSeeder* seeder, ppn::PPNCore* core) : m_seeder(seeder), m_core(core) {}

    void OnEvent(const PeerId* peer, int event, int type) override;
    void OnReserved(int, int, int) override {}
    void OnReceive(const PeerId* peer, int type, const char* data, int length) override;

private:
    VodSeeder* m_seeder;
    ppn::PPNCore* m_core;
};
