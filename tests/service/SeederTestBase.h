#pragma once

// A seeder over the real cache folder, filled with pairs of the Python
// writer, logged in to the NAT server fixture, and requesters that connect
// to it through their own network cores on loopback.

#include "net/Winsock.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <gtest/gtest.h>

#include "net/ByteOrder.h"
#include "net/PortMapper.h"
#include "net/UHCore.h"
#include "service/VodRecordList.h"
#include "service/VodSeeder.h"
#include "tests/net/NetTestSupport.h"
#include "tests/net/PpnTestSupport.h"
#include "tests/service/ServiceTestPairs.h"
#include "tests/service/VodRequester.h"
#include "tests/vod/CacheTestPrefix.h"
#include "tests/net/NoGateway.h"

namespace seedtest {

const int kWaitMs = 15000;
const int kLoginWaitMs = 30000;

class SeederTest : public cachetest::CachePrefix, public IRecordNotify {
protected:
    void SetUp() override {
        CachePrefix::SetUp();
        ASSERT_TRUE(m_nat.Ready()) << "run under tests/fixtures/runner.py with nat_server";
        ASSERT_FALSE(pairs::StagingFolder().empty()) << "run by tests/fixtures/cache_pairs.py";
        m_nat.Set("{\"reset\": true}");
        nettest::UseNoGateway();
        for (const std::string& hash : {pairs::kA, pairs::kE, pairs::kF})
            ASSERT_TRUE(pairs::CopyPair(hash, cachetest::kCacheFolder));
        m_list.Scan();
        m_list.SetNotify(this);
    }

    void TearDown() override {
        m_requesters.clear();
        m_seeder.reset();
        m_list.Stop();
        CachePrefix::TearDown();
    }

    // A started seeder with one core, logged in; its address on loopback.
    PeerAddress StartSeeder(int uploadLimit) {
        m_seeder.reset(new VodSeeder(&m_list));
        m_seeder->SetNatServer("127.0.0.1", nettest::FixturePort("TOVRA_NAT_PORT"));
        m_seeder->SetStunServer("127.0.0.1:80");  // refused at once
        m_seeder->SetPortRange(20000, 40000);
        m_seeder->SetCacheSize(20971520);
        m_seeder->SetCoreCount(1);
        m_seeder->SetUploadLimit(uploadLimit);
        PeerAddress address;
        address.Clear();
        if (m_seeder->Start() != 1) {
            ADD_FAILURE() << "the seeder did not start";
            return address;
        }
        // The facade offers no wait for the login: ask until it answers.
        std::vector<PeerAddress> own;
        const DWORD deadline = GetTickCount() + kLoginWaitMs;
        while (!m_seeder->GetAddresses(own)) {
            if (GetTickCount() > deadline) {
                ADD_FAILURE() << "the seeder did not log in";
                return address;
            }
            Sleep(10);
        }
        EXPECT_EQ(m_seeder->IsLoggedIn(), 1);
        return nettest::OnLoopback(own[0].id, net::NetToHost16(own[0].endpoint.localPort));
    }

    // A requester connected to the seeder.
    VodRequester& Connect(const PeerAddress& seeder) {
        PropertyMap p;
        p[PPN_PROP_NAT_SERVER] = "127.0.0.1";
        p[PPN_PROP_NAT_PORT] = std::to_string(nettest::FixturePort("TOVRA_NAT_PORT"));
        p[PPN_PROP_STUN_SERVER] = "127.0.0.1:80";
        p[PPN_PROP_LOGIN_INTERVAL] = "50";
        p[PPN_PROP_LOGOUT_INTERVAL] = "50";
        m_requesters.emplace_back(new VodRequester(p));
        VodRequester& r = *m_requesters.back();
        EXPECT_TRUE(r.Start(kLoginWaitMs)) << "the requester did not log in";
        EXPECT_TRUE(r.Connect(seeder, kWaitMs)) << "no connection to the seeder";
        return r;
    }

    void OnRecordChange(int kind, const std::string&, const std::string& hash,
                        std::int64_t) override {
        boost::mutex::scoped_lock lock(m_changeLock);
        m_changes.push_back(std::make_pair(kind, hash));
        m_changed.notify_all();
    }

    bool WaitChange(int kind, const std::string& hash, int ms) {
        boost::mutex::scoped_lock lock(m_changeLock);
        return m_changed.wait_for(lock, boost::chrono::milliseconds(ms), [&] {
            for (const auto& c : m_changes)
                if (c.first == kind && c.second == hash)
                    return true;
            return false;
        });
    }

    nettest::FixtureControl m_nat{"TOVRA_NAT_CONTROL_PORT"};
    CVodRecordList m_list;
    std::unique_ptr<VodSeeder> m_seeder;
    std::vector<std::unique_ptr<VodRequester>> m_requesters;
    boost::mutex m_changeLock;
    boost::condition_variable m_changed;
    std::vector<std::pair<int, std::string>> m_changes;
};

}  // namespace seedtest
