#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/pack/Unpack.h"
#include "live/LiveMessages.h"
#include "net/PeerId.h"

class LivePeerSession;
class LivePieceWindow;

// What a live peer session needs of its engine. Everything is called on the
// engine thread. The engine (CLiveCore) implements it over its network core,
// its piece window, its LiveScheduler and its reap table; tests implement it
// over queues and a clock of their own.
class ILiveSessionHost {
public:
    // One whole message to the peer on transport 1 (reliable) or 2 (raw
    // datagram). Throws ppn::PPNException when the network core does.
    virtual void SendToPeer(const PeerId& peer, int transport, const char* data, int length) = 0;
    // Closes the reliable connection to the peer; may throw ppn::PPNException.
    virtual void ClosePeer(const PeerId& peer) = 0;

    virtual LivePieceWindow& PieceWindow() = 0;
    // The engine window: send timers send WM_LIVE_SESSION_TICK to it and
    // hello results are posted to it.
    virtual HWND Window() = 0;
    // The engine's timer queue; null: no send timer is made and whoever owns
    // the session calls OnSendTick.
    virtual HANDLE TimerQueue() = 0;
    // Milliseconds, as timeGetTime counts them.
    virtual DWORD Now() = 0;
    virtual std::uint64_t ChannelId() = 0;
    // Sessions in the engine's table, the asking one included.
    virtual std::uint32_t SessionCount() = 0;
    // The engine's settings in kbit/s, as the control wrote them.
    virtual std::int32_t InitialSendRateKbit() = 0;
    virtual std::int32_t AssumedPeerRateKbit() = 0;

    // The stream header store (LiveScheduler): the ids held, for a hello; a
    // non-empty header to answer LIVE_MSG_HEADER_REQUEST; a header received.
    virtual void GetHeaderIds(LivePieceSet& ids) = 0;
    virtual bool FindHeader(std::uint32_t id, std::string& bytes) = 0;
    virtual void OnHeader(std::uint32_t id, const nps::ByteRange& bytes) = 0;
    // Byte lengths a peer announced (HAVE, PIECE_INFO).
    virtual void OnPieceInfo(const LivePieceLengths& lengths) = 0;
    // A relay text from the peer.
    virtual void OnRelay(LivePeerSession& session, const PeerRelayMsg& relay) = 0;

    // The session's send timer is being deleted: the engine deletes the
    // session once event is signalled (then closes the event).
    virtual void ReapLater(HANDLE event, LivePeerSession* session) = 0;

protected:
    ~ILiveSessionHost() {}
};
