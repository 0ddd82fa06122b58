#include "service/MainWnd.h"

#include <cstdio>
#include <cstdlib>
#include <list>
#include <new>

#include "common/settings/CIni.h"
#include "common/wnd/MyWnd.h"
#include "net/PeerId.h"
#include "net/UdpCompletionEngine.h"
#include "service/SeederSettings.h"
#include "service/VodSeeder.h"
#include "vod/VodEngineMessages.h"
#include "vod/VodTrackerMessages.h"

namespace {

const wchar_t kClassName[] = L"ZUVORE_ZAD";
const UINT kLoginPollMs = 1000;
const UINT kRescanMs = 60000;
const WPARAM kPeerOnAnswer = 3;
const WPARAM kPeerOffAnswer = 4;
const std::uint16_t kPortLow = 5000;
const std::uint16_t kPortHigh = 6000;
const int kSeederCacheBytes = 20971520;  // 568 whole blocks
const int kSeederCores = 1;
const int kReportTries = 3;
const std::size_t kMostGroups = 3;
// The STUN server every seeder uses. The all-users settings may name
// another ("cachedata" "stun"), which the tests do to keep to loopback.
const wchar_t kDefaultStunServer[] = L"stun.tovra.net";

std::string StunServer()
{
    std::wstring host;
    util::ReadIniString(util::GetCommonSettingsIniPath(), host, L"cachedata", L"stun",
                        kDefaultStunServer);
    return std::string(host.begin(), host.end());
}

// "host:port" -> host and port; no ":" gives an empty host and port 0.
void SplitNatServer(const std::string& address, std::string& host, std::uint16_t& port)
{
    std::string::size_type colon = address.find(':');
    host.clear();
    port = 0;
    if (colon == std::string::npos)
        return;
    host = address.substr(0, colon);
    port = static_cast<std::uint16_t>(std::strtoul(address.c_str() + colon + 1, nullptr, 10));
}

void WriteOut(const char* text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

} // namespace

CMainWnd::CMainWnd() = default;

CMainWnd::~CMainWnd()
{
    // The watcher thread calls back into this object: stop it before the
    // maps go. The seeders are normally gone already (OnDestroy).
    m_records.Stop();
    OnDestroy();
    if (m_window && IsWindow(m_window)) {
        // Its procedure must not reach this object any more.
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
        UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
    }
}

std::vector<std::size_t> CMainWnd::ChooseGroups(const std::vector<std::size_t>& videoCounts)
{
    std::vector<std::size_t> chosen;
    if (videoCounts.size() <= kMostGroups) {
        for (std::size_t i = 0; i < videoCounts.size(); ++i)
            chosen.push_back(i);
        return chosen;
    }
    // Equal counts keep list order, and taking from the end prefers the
    // later position among them.
    std::multimap<std::size_t, std::size_t> byCount;
    for (std::size_t i = 0; i < videoCounts.size(); ++i)
        byCount.emplace(videoCounts[i], i);
    std::set<std::size_t> positions;
    for (auto it = byCount.rbegin(); it != byCount.rend() && positions.size() < kMostGroups; ++it)
        positions.insert(it->second);
    return std::vector<std::size_t>(positions.begin(), positions.end());
}

bool CMainWnd::CreateServiceWindow()
{
    // The host's module, not this library's: the class belongs to the process.
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &CMyWnd::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        WriteOut("MyRegisterClass Failed!\r\n");
        return false;
    }
    m_window = CreateWindowExW(0, kClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                               nullptr, instance, nullptr);
    if (!m_window) {
        WriteOut("Create Window Failed!\r\n");
        return false;
    }
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<IMyWndMsgHost*>(this)));
    return true;
}

bool CMainWnd::Startup()
{
    if (!CreateServiceWindow())
        return false;
    // The initial scan notifies nobody: the queues are filled from the groups.
    m_records.Scan();
    m_records.SetNotify(this);

    std::deque<VodRecordGroup> groups = m_records.GetGroups();
    if (groups.empty())
        return false;
    std::vector<std::size_t> counts;
    for (const VodRecordGroup& group : groups)
        counts.push_back(group.videos.size());

    boost::recursive_mutex::scoped_lock lock(m_lock);
    m_trackerServers.clear();
    // Every chosen group's videos are queued, not only the last group's.
    m_announceQueue.clear();
    for (std::size_t position : ChooseGroups(counts))
        StartSeeder(groups[position]);
    if (m_seeders.empty())
        return false;
    SetTimer(m_window, kLoginPoll, kLoginPollMs, nullptr);
    SetTimer(m_window, kRescan, kRescanMs, nullptr);
    return true;
}

void CMainWnd::StartSeeder(const VodRecordGroup& group)
{
    for (const auto& video : group.videos)
        m_announceQueue[group.trackerUrl].insert(video);
    // One seeder per NAT server address: a later group of the same address
    // is served by the running one, which would otherwise be orphaned.
    if (m_seeders.count(group.natServer)) {
        m_trackerServers[group.trackerUrl] = group.natServer;
        return;
    }
    std::unique_ptr<VodSeeder> seeder(new (std::nothrow) VodSeeder(&m_records));
    if (!seeder) {
        WriteOut("The memory is empty!\r\n");
        return;
    }
    std::string host;
    std::uint16_t port = 0;
    SplitNatServer(group.natServer, host, port);

    seeder->SetNatServer(host, port);
    seeder->SetStunServer(StunServer());
    seeder->SetPortRange(kPortLow, kPortHigh);
    seeder->SetCacheSize(kSeederCacheBytes);
    seeder->SetCoreCount(kSeederCores);
    seeder->SetUploadLimit(UploadLimitFromSettings());
    if (!seeder->Start())
        return;
    m_seeders[group.natServer] = std::move(seeder);
    m_trackerServers[group.trackerUrl] = group.natServer;
}

bool CMainWnd::RunMessageLoop()
{
    // The seeders' cores exist already and keep their own receive threads.
    CreateUdpEngine(true);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DestroyUdpEngine();
    UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
    return true;
}

LRESULT CMainWnd::OnMessage(UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_SERVICE_ARM_TIMER && (wParam == kPeerOn || wParam == kPeerOff)) {
        ArmTimer(wParam, m_retryInterval);
    } else if (message == WM_VOD_HTTP_DONE) {
        if (wParam == kPeerOnAnswer)
            OnPeerOnDone();
        else if (wParam == kPeerOffAnswer)
            OnPeerOffDone();
    }
    return 0;
}

void CMainWnd::ArmTimer(UINT_PTR id, UINT periodMs)
{
    SetTimer(m_window, id, periodMs, nullptr);
}

void CMainWnd::OnTimer(UINT_PTR timerId)
{
    switch (timerId) {
    case kLoginPoll: {
        bool all = true, any = false;
        {
            boost::recursive_mutex::scoped_lock lock(m_lock);
            for (auto& entry : m_seeders) {
                bool in = entry.second && entry.second->IsLoggedIn();
                all = all && in;
                any = any || in;
            }
        }
        if (all)
            KillTimer(m_window, kLoginPoll);
        if (any)
            SendPeerOn();
        break;
    }
    case kPeerOn:
        if (SendPeerOn())
            KillTimer(m_window, kPeerOn);
        break;
    case kPeerOff:
        if (SendPeerOff())
            KillTimer(m_window, kPeerOff);
        break;
    case kRescan:
        m_records.Rescan();
        break;
    default:
        break;
    }
}

bool CMainWnd::FirstServedUrl(Queue& queue, std::string& url)
{
    while (!queue.empty()) {
        url = queue.begin()->first;
        if (m_trackerServers.count(url) && !queue.begin()->second.empty())
            return true;
        queue.erase(queue.begin());
    }
    return false;
}

VodSeeder* CMainWnd::SeederOf(const std::string& url)
{
    auto seeder = m_seeders.find(m_trackerServers[url]);
    if (seeder == m_seeders.end() || !seeder->second) {
        m_trackerServers.erase(url);
        return nullptr;
    }
    return seeder->second.get();
}

bool CMainWnd::SendReport(wtl_http::CHttpRequest& request, WPARAM kind, const std::string& body,
                          const std::string& url)
{
    std::wstring wideUrl(url.begin(), url.end());
    request.SetURL(wideUrl.c_str());
    request.SetNotify(m_window, WM_VOD_HTTP_DONE, kind);
    request.SetPostData(body.data(), body.size());
    request.SetTries(kReportTries);
    if (request.Send(1))
        return true;
    request.Abort();
    return false;
}

bool CMainWnd::SendPeerOn()
{
    m_lastAnnounced.clear();
    std::string url, body;
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        if (m_announceQueue.empty())
            return true;
    }
    if (m_announceRequest.IsBusy())
        return false;
    m_announceRequest.Reset();
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        if (!FirstServedUrl(m_announceQueue, url))
            return true;
        VodSeeder* seeder = SeederOf(url);
        if (!seeder)
            return true;
        std::list<std::string> ids;
        if (!seeder->GetPeerIds(ids) || ids.empty()) {
            ArmTimer(kLoginPoll, kLoginPollMs);
            return false;
        }
        const auto& video = *m_announceQueue[url].begin();
        m_lastAnnounced = video.first;
        body = BuildPeerOn(video.second, PeerId::FromBytes(ids.front().data(), ids.front().size()),
                           video.first);
    }
    return SendReport(m_announceRequest, kPeerOnAnswer, body, url);
}

void CMainWnd::OnPeerOnDone()
{
    bool accepted = m_announceRequest.IsOK() != 0;
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        if (accepted && !m_announceQueue.empty()) {
            auto first = m_announceQueue.begin();
            if (first->second.erase(m_lastAnnounced)) {
                m_announced[first->first].insert(m_lastAnnounced);
                if (first->second.empty())
                    m_announceQueue.erase(first);
            }
        }
        m_retryInterval = accepted ? kRetryStartMs : m_retryInterval * 2;
    }
    m_lastAnnounced.clear();
    ArmTimer(kPeerOn, m_retryInterval);
}

bool CMainWnd::SendPeerOff()
{
    m_lastWithdrawn.clear();
    std::string url, body;
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        if (m_withdrawQueue.empty())
            return true;
    }
    if (m_withdrawRequest.IsBusy())
        return true;
    m_withdrawRequest.Reset();
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        if (!FirstServedUrl(m_withdrawQueue, url))
            return true;
        VodSeeder* seeder = SeederOf(url);
        if (!seeder)
            return false;
        std::list<std::string> ids;
        if (!seeder->GetPeerIds(ids) || ids.empty()) {
            m_withdrawQueue.erase(url);
            return false;
        }
        const auto& video = *m_withdrawQueue[url].begin();
        m_lastWithdrawn = video.first;
        body = BuildPeerOff(video.second, PeerId::FromBytes(ids.front().data(), ids.front().size()),
                            video.first);
    }
    return SendReport(m_withdrawRequest, kPeerOffAnswer, body, url);
}

void CMainWnd::OnPeerOffDone()
{
    bool accepted = m_withdrawRequest.IsOK() != 0;
    {
        boost::recursive_mutex::scoped_lock lock(m_lock);
        // A failed "peeroff" is not repeated: the video leaves the queue.
        if (!m_withdrawQueue.empty()) {
            auto first = m_withdrawQueue.begin();
            first->second.erase(m_lastWithdrawn);
            if (first->second.empty())
                m_withdrawQueue.erase(first);
        }
        m_retryInterval = accepted ? kRetryStartMs : m_retryInterval * 2;
    }
    m_lastWithdrawn.clear();
    ArmTimer(kPeerOff, m_retryInterval);
}

void CMainWnd::OnRecordChange(int kind, const std::string& trackerUrl, const std::string& hash,
                              std::int64_t contentId)
{
    if (kind == kAdded) {
        {
            boost::recursive_mutex::scoped_lock lock(m_lock);
            m_announceQueue[trackerUrl].insert(std::make_pair(hash, contentId));
        }
        PostMessageW(m_window, WM_SERVICE_ARM_TIMER, kPeerOn, 0);
    } else if (kind == kRemoved) {
        bool pending;
        {
            boost::recursive_mutex::scoped_lock lock(m_lock);
            auto queued = m_announceQueue.find(trackerUrl);
            if (queued != m_announceQueue.end()) {
                queued->second.erase(hash);
                if (queued->second.empty())
                    m_announceQueue.erase(queued);
            }
            auto announced = m_announced.find(trackerUrl);
            if (announced != m_announced.end() && announced->second.count(hash))
                m_withdrawQueue[trackerUrl][hash] = contentId;
            pending = !m_withdrawQueue.empty();
        }
        if (pending)
            PostMessageW(m_window, WM_SERVICE_ARM_TIMER, kPeerOff, 0);
    }
}

void CMainWnd::OnDestroy()
{
    boost::recursive_mutex::scoped_lock lock(m_lock);
    for (auto& entry : m_seeders) {
        if (entry.second)
            entry.second->Stop();
        entry.second.reset();
    }
    m_seeders.clear();
}
