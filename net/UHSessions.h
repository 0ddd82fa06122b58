#pragma once

#include <atomic>
#include <list>
#include <memory>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "net/UHSession.h"

namespace uh {

class PunchHost;

// A table of sessions with the worker thread that serves it; the derived
// class provides the work routine.
class UHSessions {
public:
    explicit UHSessions(PunchHost& host);
    virtual ~UHSessions();

    UHSessions(const UHSessions&) = delete;
    UHSessions& operator=(const UHSessions&) = delete;

    // Sets running and starts the worker; true when it already runs, false
    // when the thread cannot be made.
    virtual bool Start();
    // Clears running and wakes the worker, joins it, deletes every session.
    virtual void Stop();

protected:
    virtual void WorkRoutine() = 0;

    PunchHost& m_host;
    std::atomic<bool> m_running;
    std::list<std::unique_ptr<UHSession>> m_sessions;  // guarded by m_tableMutex
    boost::mutex m_tableMutex;
    boost::condition_variable m_tableCondition;

private:
    boost::thread m_worker;
};

}  // namespace uh
