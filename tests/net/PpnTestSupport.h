#pragma once

// Helpers of the network facade tests: a listener that records, the error
// table checked row by row, addresses on loopback, and a fixture that starts
// cores against the NAT server fixture and makes relay pairs.
#include "net/Winsock.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <gtest/gtest.h>

#include "net/EventListener.h"
#include "net/PPNCore.h"
#include "net/PpnErrors.h"
#include "net/PpnEvents.h"
#include "net/PropertyMap.h"
#include "tests/net/NetTestSupport.h"

namespace nettest {

const int kLoginWaitMs = 30000;
const int kEventWaitMs = 10000;

// ------------------------------------------------------------------ a listener that records

class Recorder : public ppn::EventListener {
public:
    struct Item {
        bool isEvent;
        PeerId peer;
        int event;
        int type;
        std::string data;
    };

    void OnEvent(const PeerId* peer, int event, int type) override { Add(Item{true, *peer, event, type, ""}); }
    void OnReceive(const PeerId* peer, int type, const char* data, int length) override {
        const Item item{false, *peer, 0, type, std::string(data, static_cast<std::size_t>(length))};
        if (onReceive)
            onReceive(item);
        Add(item);
    }

    bool WaitFor(const std::function<bool(const std::vector<Item>&)>& done, int ms) {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_changed.wait_for(lock, boost::chrono::milliseconds(ms), [&] { return done(m_items); });
    }
    // Waits until n events of this number have come.
    bool WaitEvent(int event, int ms = kEventWaitMs, std::size_t n = 1) {
        return WaitFor([&](const std::vector<Item>& items) { return Events(items, event).size() >= n; }, ms);
    }
    std::size_t CountEvents(int event) { return Events(Items(), event).size(); }
    // Messages of a type, in the order received.
    bool WaitMessages(int type, std::size_t n, int ms = kEventWaitMs) {
        return WaitFor([&](const std::vector<Item>& items) { return Messages(items, type).size() >= n; }, ms);
    }
    std::vector<Item> Items() {
        boost::mutex::scoped_lock lock(m_mutex);
        return m_items;
    }
    std::vector<int> EventNumbers() {
        std::vector<int> numbers;
        for (const Item& i : Items())
            if (i.isEvent)
                numbers.push_back(i.event);
        return numbers;
    }
    std::vector<std::string> Messages(int type) { return Messages(Items(), type); }

    static std::vector<Item> Events(const std::vector<Item>& items, int event) {
        std::vector<Item> out;
        for (const Item& i : items)
            if (i.isEvent && i.event == event)
                out.push_back(i);
        return out;
    }
    static std::vector<std::string> Messages(const std::vector<Item>& items, int type) {
        std::vector<std::string> out;
        for (const Item& i : items)
            if (!i.isEvent && i.type == type)
                out.push_back(i.data);
        return out;
    }

    // Runs on the delivering thread before the message is recorded.
    std::function<void(const Item&)> onReceive;

private:
    void Add(const Item& item) {
        boost::mutex::scoped_lock lock(m_mutex);
        m_items.push_back(item);
        m_changed.notify_all();
    }
    std::vector<Item> m_items;
    boost::mutex m_mutex;
    boost::condition_variable m_changed;
};

// ------------------------------------------------------------------ helpers

// Runs f and checks that it throws this row of the error table.
void ExpectThrows(const std::function<void()>& f, const ppn::PpnError& row, const char* what);

// A peer address whose public and local endpoints are both 127.0.0.1:port,
// so that all traffic to it stays on loopback.
PeerAddress OnLoopback(const PeerId& id, std::uint16_t hostOrderPort);

// The number after "key": in a flat JSON object; -1 when absent.
int JsonNumber(const std::string& json, const char* key);

// length bytes drawn from a generator seeded with seed.
std::string Pattern(unsigned seed, std::size_t length);

// Cores started against the NAT server fixture, and relay pairs of the
// impairment relay fixture.
class PpnCoreTest : public ::testing::Test {
protected:
    void SetUp() override;

    PropertyMap Properties();
    // Starts the core and waits for its login; its address, on loopback only.
    PeerAddress Start(ppn::PPNCore& core, Recorder& listener);
    // Reliable connection from a to the address given; events checked on both sides.
    void Connect(ppn::PPNCore& a, Recorder& aEvents, const PeerAddress& to, Recorder& bEvents);
    // A relay pair between the two cores' ports: the port core a must use
    // to reach core b, and the pair's id.
    std::uint16_t Relay(std::uint16_t aPort, std::uint16_t bPort, const std::string& knobs, int* id);
    void RelayKnobs(int id, const std::string& knobs);
    int RelayStat(int id, const char* key);

    static std::uint16_t Port(const PeerAddress& a);

    FixtureControl nat{"TOVRA_NAT_CONTROL_PORT"};
    FixtureControl relay{"TOVRA_RELAY_CONTROL_PORT"};
};

}  // namespace nettest
