#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <boost/thread/recursive_mutex.hpp>

#include "common/http/WtlHttpRequest.h"
#include "common/wnd/IMyWndMsgHost.h"
#include "service/VodRecordList.h"

class VodSeeder;

// The service's worker on the service thread: the hidden window
// "ZUVORE_ZAD", the record list of cached videos, one seeder per chosen
// group, and the "peeron"/"peeroff" reports to the groups' trackers.
//
// The lock guards the maps and queues below; the service thread and the
// record list's watcher thread take it. It is held while a seeder is asked
// for its login or peer ids, never while a request is sent.
class CMainWnd : public IMyWndMsgHost, public IRecordNotify {
public:
    enum Timer : UINT_PTR {
        kLoginPoll = 1,
        kPeerOn = 2,
        kPeerOff = 3,
        kRescan = 4,
    };
    static const UINT kRetryStartMs = 10000;
    // Asks the window's thread to arm a timer (wParam: its id) with the
    // retry interval: only that thread can set the window's timers.
    static const UINT WM_SERVICE_ARM_TIMER = WM_APP + 1;

    CMainWnd();
    ~CMainWnd() override;
    CMainWnd(const CMainWnd&) = delete;
    CMainWnd& operator=(const CMainWnd&) = delete;

    // On the service thread: window, record list, seeders and timers; true
    // when at least one seeder runs.
    bool Startup();
    // Until the window's procedure posts the quit message.
    bool RunMessageLoop();
    HWND GetHandle() const { return m_window; }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR timerId) override;
    void OnDestroy() override;
    void OnRecordChange(int kind, const std::string& trackerUrl, const std::string& hash,
                        std::int64_t contentId) override;

    // The positions (in list order) of the groups to serve, given each
    // group's video count: all below four groups, else the three largest.
    static std::vector<std::size_t> ChooseGroups(const std::vector<std::size_t>& videoCounts);

private:
    typedef std::map<std::string, std::map<std::string, std::int64_t>> Queue;

    bool CreateServiceWindow();
    void StartSeeder(const VodRecordGroup& group);
    bool SendPeerOn();
    bool SendPeerOff();
    void OnPeerOnDone();
    void OnPeerOffDone();
    // The first URL of the queue that has a tracker server and a video;
    // drops the URLs before it.
    bool FirstServedUrl(Queue& queue, std::string& url);
    VodSeeder* SeederOf(const std::string& url);
    bool SendReport(wtl_http::CHttpRequest& request, WPARAM kind, const std::string& body,
                    const std::string& url);
    void ArmTimer(UINT_PTR id, UINT periodMs);

    boost::recursive_mutex m_lock;
    Queue m_announceQueue;
    std::map<std::string, std::set<std::string>> m_announced;
    Queue m_withdrawQueue;
    std::map<std::string, std::unique_ptr<VodSeeder>> m_seeders;  // by NAT server "host:port"
    std::map<std::string, std::string> m_trackerServers;          // tracker URL -> NAT server
    wtl_http::CHttpRequest m_announceRequest;
    wtl_http::CHttpRequest m_withdrawRequest;
    HWND m_window = nullptr;
    CVodRecordList m_records;
    std::string m_lastAnnounced;
    std::string m_lastWithdrawn;
    UINT m_retryInterval = kRetryStartMs;
};
