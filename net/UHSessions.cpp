#include "net/UHSessions.h"

namespace uh {

UHSessions::UHSessions(PunchHost& host) : m_host(host), m_running(false) {}

UHSessions::~UHSessions() = default;

bool UHSessions::Start() {
    if (m_running)
        return true;
    m_running = true;
    try {
        m_worker = boost::thread([this] { WorkRoutine(); });
    } catch (const boost::thread_resource_error&) {
        m_running = false;
        return false;
    }
    return true;
}

void UHSessions::Stop() {
    {
        // Under the mutex the worker waits with, so a worker about to wait
        // cannot miss the wake-up.
        boost::mutex::scoped_lock lock(m_tableMutex);
        m_running = false;
        m_tableCondition.notify_all();
    }
    if (m_worker.joinable())
        m_worker.join();
    boost::mutex::scoped_lock lock(m_tableMutex);
    m_sessions.clear();
}

}  // namespace uh
