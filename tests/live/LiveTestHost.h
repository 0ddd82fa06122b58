#pragma once

// A live engine stand-in for session tests: what sessions send is kept in a
// queue, the clock moves when the test says, and the piece window, the
// scheduling unit and the reap table are real.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "live/LivePeerSession.h"
#include "live/LivePieceWindow.h"
#include "live/LiveReapTable.h"
#include "live/LiveScheduler.h"
#include "live/LiveSessionHost.h"
#include "net/PPNException.h"
#include "tests/live/LiveTestMessages.h"

struct LiveTestPacket {
    int transport;
    std::string bytes;
};

class LiveTestHost : public ILiveSessionHost {
public:
    void SendToPeer(const PeerId&, int transport, const char* data, int length) override {
        if (failSends)
            throw ppn::PPNException("send refused", ppn::PPN_LAYER_CORE, ppn::PPN_CLASS_STATE,
                                    ppn::PPN_ERR_NOT_STARTED);
        sent.push_back({transport, std::string(data, static_cast<std::size_t>(length))});
    }
    void ClosePeer(const PeerId&) override { ++closes; }
    LivePieceWindow& PieceWindow() override { return window; }
    HWND Window() override { return engineWindow; }
    HANDLE TimerQueue() override { return queue; }
    DWORD Now() override { return clock; }
    std::uint64_t ChannelId() override { return channel; }
    std::uint32_t SessionCount() override { return sessions; }
    std::int32_t InitialSendRateKbit() override { return initialKbit; }
    std::int32_t AssumedPeerRateKbit() override { return assumedKbit; }
    void GetHeaderIds(LivePieceSet& ids) override { scheduler.GetHeaderIds(ids); }
    bool FindHeader(std::uint32_t id, std::string& bytes) override { return scheduler.FindHeader(id, bytes); }
    void OnHeader(std::uint32_t id, const nps::ByteRange& bytes) override { scheduler.OnHeader(id, bytes); }
    void OnPieceInfo(const LivePieceLengths& lengths) override { scheduler.OnPieceInfo(lengths); }
    void OnRelay(LivePeerSession&, const PeerRelayMsg& relay) override { relays.push_back(relay.text); }
    void ReapLater(HANDLE event, LivePeerSession* session) override {
        reapEvents.push_back(event);
        reap.Add(event, session);
    }

    // The sent messages of one type, read back (their byte ranges point into
    // `sent`, which a deque keeps in place).
    std::vector<LiveMessage> SentOf(std::uint8_t type) const {
        std::vector<LiveMessage> out;
        for (const LiveTestPacket& packet : sent) {
            LiveMessage message;
            if (ReadLiveMessage(packet.bytes.data(), static_cast<std::uint32_t>(packet.bytes.size()), message) &&
                message.type == type)
                out.push_back(message);
        }
        return out;
    }

    LivePieceWindow window;
    LiveScheduler scheduler{window, 1};
    LiveReapTable reap;
    std::vector<HANDLE> reapEvents;
    std::deque<LiveTestPacket> sent;
    std::vector<std::string> relays;
    HWND engineWindow = nullptr;
    HANDLE queue = nullptr;
    DWORD clock = 1000;
    std::uint64_t channel = 7;
    std::uint32_t sessions = 1;
    std::int32_t initialKbit = 400;
    std::int32_t assumedKbit = 400;
    bool failSends = false;
    int closes = 0;
};

// Hands the message to the session as the network would.
inline void Deliver(LivePeerSession& session, const LiveMessage& message) {
    const std::string bytes = LivePacked(message);
    session.OnPacket(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}
