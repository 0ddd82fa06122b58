#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>

#include "live/LiveCore.h"

// The engine as the tests see it: runs a call on the engine thread through a
// message of its own and reads the engine's state there. A friend of
// CLiveCore that lives only in the tests, so that no message of the shipped
// engine calls through a pointer it was handed.
class LiveCoreProbe : public CLiveCore {
public:
    typedef std::function<void(const LiveCoreProbe&)> Call;

    // Runs call on the engine thread and waits for it; false when the
    // thread is gone.
    bool Inspect(const Call& call)
    {
        HWND window = GetWindow();
        if (window == nullptr)
            return false;
        bool ran = false;
        const Call record = [&](const LiveCoreProbe& core) {
            call(core);
            ran = true;
        };
        SendMessageW(window, kInspect, reinterpret_cast<WPARAM>(&record), 0);
        return ran;
    }

    // Any thread.
    HWND GetWindow() const { return m_messageWindow.Handle(); }
    std::uint32_t GetBufferingSeconds() const { return m_bufferingSeconds.load(); }
    // True for a text pointer the engine sent with a time-out.
    bool IsHostText(const void* pointer) const { return m_heldTexts.Holds(pointer); }

    // The engine thread's state, for Inspect.
    const LiveConnections& Connections() const { return m_connections; }
    const LiveScheduler& Scheduler() const { return m_scheduler; }
    std::size_t ReapCount() const { return m_reap ? m_reap->Size() : 0; }
    bool PlaybackStarted() const { return CLiveCore::PlaybackStarted(); }
    bool StartedFromSource() const { return m_sourcePeer; }
    std::uint32_t LivePoint() const { return m_livePoint; }
    std::uint32_t WindowStartPiece() { return m_window.GetStart(); }
    bool NoPacingFlag() const { return m_noPacing.load(); }
    // The session of peer, or null.
    const LivePeerSession* SessionOf(const PeerId& peer) const
    {
        auto it = m_sessions.find(peer);
        return it == m_sessions.end() ? nullptr : it->second;
    }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != kInspect)
            return CLiveCore::OnMessage(message, wParam, lParam);
        (*reinterpret_cast<const Call*>(wParam))(*this);
        return 0;
    }

private:
    static const UINT kInspect = WM_APP + 49;
};
