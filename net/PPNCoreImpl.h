#pragma once

// Before Boost: its headers bring in windows.h.
#include "net/Winsock.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <set>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "net/PeerAddress.h"
#include "net/PpnEventRecord.h"
#include "net/PpnEventSink.h"
#include "net/PropertyMap.h"
#include "net/TcpCoreHost.h"

namespace ppn {
class EventListener;
}
namespace srudp {
class SRUDPCore;
}
namespace uh {
class UHCore;
}
class SUDTCore;
class TcpCore;

// The network facade's state and work (ppn::PPNCore holds one). It owns the
// UH core and the transports, starts them in order and stops them in the
// reverse, and funnels the transports' events and reliable messages through
// one queue to the notify thread.
//
// The TCP transport (on when property 8192 is "true") keeps its sockets on
// the threads that made them: the listening socket and the connections it
// accepts on the thread of StartListen, outgoing connections on the thread
// of ConnectTo. Those threads run message loops, and TCP messages reach the
// listeners on them. Stop runs on the thread of StartListen, and any other
// thread that made connections has ended by then (the owner ends the thread
// its listener waits on before Stop), so no socket handler runs while Stop
// deletes the transport.
//
// Locks, in the order they are taken:
//   start-stop mutex (StartListen, Stop: the whole of each)
//   core mutex (started flag, layers, properties; every other operation)
//   the layers' own mutexes
//   event mutex (the queue and the notify-running flag)
// The listener mutex guards the listener set and is held around every
// listener call; facade operations never take it, so a listener may call
// them. Stop holds no lock but the start-stop mutex while it joins the
// notify thread and the layers' threads.
class PPNCoreImpl : public PpnEventSink, public TcpCoreHost {
public:
    PPNCoreImpl();
    ~PPNCoreImpl() override;

    PPNCoreImpl(const PPNCoreImpl&) = delete;
    PPNCoreImpl& operator=(const PPNCoreImpl&) = delete;

    void SetProperties(const PropertyMap& properties);
    void GetProperties(PropertyMap& properties);
    void StartListen(std::uint16_t port);
    void Stop();
    void GetLocalAddress(PeerAddress& address, bool needLogin);
    void ConnectTo(const PeerAddress& peer, int type);
    void Close(const PeerId& peer, int type);
    void Send(const PeerId& peer, int type, const char* data, int length);
    void AddListener(ppn::EventListener* listener);
    void RemoveListener(ppn::EventListener* listener);

    // PpnEventSink and TcpCoreHost: called by the transports on their threads.
    void PostEvent(const PeerAddress& peer, int event, int type) override;
    void DeliverData(const PeerId& peer, int type, const char* data, int length) override;
    void DeliverData(const PeerAddress& peer, const char* data, int length, int type) override;

    void NotifyThread();

private:
    bool AnswerProperty(int id, std::string& value);
    void Queue(std::unique_ptr<PpnEventRecord> record);
    void Deliver(const PpnEventRecord& record);
    void StartTcp();
    void StopLayers();

    boost::mutex m_startStopMutex;

    boost::mutex m_coreMutex;
    bool m_started;
    bool m_winsock;  // WSAStartup succeeded and is not yet undone
    PropertyMap m_properties;
    // Made by StartListen, deleted once Stop has stopped them all. The
    // transports' threads reach m_sudt through PostEvent while they run.
    std::unique_ptr<uh::UHCore> m_uh;
    std::unique_ptr<SUDTCore> m_sudt;
    std::unique_ptr<srudp::SRUDPCore> m_srudp;
    std::unique_ptr<TcpCore> m_tcp;  // null unless property 8192 turned it on

    std::set<ppn::EventListener*> m_listeners;
    boost::mutex m_listenerMutex;

    boost::mutex m_eventMutex;
    bool m_notifyRunning;
    boost::condition_variable m_notifyCondition;
    std::deque<std::unique_ptr<PpnEventRecord>> m_events;
    boost::thread m_notifyThread;
};
