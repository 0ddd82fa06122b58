#include "live/LiveWMPushPlayer.h"

#include <mmsystem.h>

#include <algorithm>
#include <cwchar>

#include "live/LiveHttpReplies.h"
#include "live/LiveWmspFraming.h"

namespace {

const DWORD kMostPacingWaitMs = 1000;
// select's read set: the listener and this many pending clients at most.
const std::size_t kMostPending = FD_SETSIZE - 1;

}  // namespace

CLiveWMPushPlayer::CLiveWMPushPlayer(bool framed)
    : m_serving(false), m_framed(framed), m_serveThread(nullptr),
      m_serveStopped(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_running(false),
      m_listener(INVALID_SOCKET), m_port(0), m_sequence(0),
      m_pacing(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_stopping(false), m_pieceTimed(false),
      m_pieceStart(0), m_pieceDue(0)
{
}

CLiveWMPushPlayer::~CLiveWMPushPlayer()
{
    Stop();
    if (m_pacing != nullptr)
        CloseHandle(m_pacing);
    if (m_serveStopped != nullptr)
        CloseHandle(m_serveStopped);
}

bool CLiveWMPushPlayer::Start(const char* header, std::uint32_t length)
{
    if (m_serving)
        Stop();
    if (header == nullptr || length <= 3 || m_pacing == nullptr || m_serveStopped == nullptr)
        return false;
    if (!BuildWmspPacket(header, length, m_framed, 'H', 0, kWmspHeaderFlags, m_framedHeader))
        return false;
    SOCKET listener = INVALID_SOCKET;
    if (!LiveListen(m_port, listener)) {
        m_port = 0;
        if (!LiveListen(m_port, listener)) {
            m_framedHeader.clear();
            return false;
        }
    }
    m_listener = listener;
    m_stopping = false;
    ResetEvent(m_pacing);
    ResetEvent(m_serveStopped);
    m_serveThread = CreateThread(nullptr, 0, ServeThread, this, CREATE_SUSPENDED, nullptr);
    if (m_serveThread == nullptr) {
        LiveCloseSocket(m_listener.exchange(INVALID_SOCKET));
        m_framedHeader.clear();
        return false;
    }
    m_running = true;
    ResumeThread(m_serveThread);
    timeBeginPeriod(1);
    m_sequence = 0;
    m_serving = true;
    return true;
}

void CLiveWMPushPlayer::Stop()
{
    if (!m_serving)
        return;
    m_stopping = true;
    SetEvent(m_pacing);
    m_running = false;
    SetEvent(m_serveStopped);
    LiveCloseSocket(m_listener.exchange(INVALID_SOCKET));
    WaitForSingleObject(m_serveThread, INFINITE);
    CloseHandle(m_serveThread);
    m_serveThread = nullptr;
    m_serving = false;
    std::lock_guard<std::mutex> lock(m_clientLock);
    for (SOCKET client : m_streaming)
        LiveCloseSocket(client);
    m_streaming.clear();
    for (SOCKET client : m_pending)
        LiveCloseSocket(client);
    m_pending.clear();
    m_framedHeader.clear();
    m_sequence = 0;
    std::string().swap(m_packet);
    timeEndPeriod(1);
}

std::wstring CLiveWMPushPlayer::GetUrl()
{
    if (!m_serving)
        return std::wstring();
    wchar_t url[64];
    std::swprintf(url, 64, L"http://127.0.0.1:%d/1.wmv", static_cast<int>(m_port));
    return url;
}

void CLiveWMPushPlayer::Finish()
{
    std::lock_guard<std::mutex> lock(m_clientLock);
    for (SOCKET client : m_streaming)
        shutdown(client, SD_BOTH);
}

void CLiveWMPushPlayer::Pace(std::uint32_t delayMs)
{
    if (delayMs == 0 || m_stopping)
        return;
    MMRESULT timer = timeSetEvent(delayMs, 1, reinterpret_cast<LPTIMECALLBACK>(m_pacing), 0,
                                  TIME_ONESHOT | TIME_CALLBACK_EVENT_SET);
    if (timer == 0)
        return;
    WaitForSingleObject(m_pacing, kMostPacingWaitMs);
    timeKillEvent(timer);
}

int CLiveWMPushPlayer::PushData(const char* record, std::uint32_t length, std::uint32_t pieceLength,
                                bool noPacing)
{
    if (!m_serving || record == nullptr || length <= 3 || pieceLength == 0)
        return 0;
    {
        std::lock_guard<std::mutex> lock(m_clientLock);
        if (!m_serving)
            return 0;
        // A record the framing cannot carry is refused whether or not anyone
        // listens, so the outcome does not depend on the audience.
        if (!BuildWmspPacket(record, length, m_framed, 'D', m_sequence + 1, 0, m_packet))
            return 0;
        if (!m_streaming.empty()) {
            ++m_sequence;
            for (std::vector<SOCKET>::iterator client = m_streaming.begin(); client != m_streaming.end();) {
                if (LiveSendAll(*client, m_packet.data(), m_packet.size(), &m_stopping)) {
                    ++client;
                    continue;
                }
                LiveCloseSocket(*client);
                client = m_streaming.erase(client);
            }
        }
    }
    // Each record's share is counted from the piece's first record, so the
    // lateness of one timer is made up by the next instead of adding up
    // over the records of a piece.
    std::uint32_t share = LiveRecordDelay(length, pieceLength, noPacing);
    if (share != 0) {
        DWORD now = timeGetTime();
        if (!m_pieceTimed) {
            m_pieceTimed = true;
            m_pieceStart = now;
            m_pieceDue = 0;
        }
        m_pieceDue += share;
        std::int32_t ahead = static_cast<std::int32_t>(m_pieceStart + m_pieceDue - now);
        Pace(ahead > 0 ? static_cast<std::uint32_t>(ahead) : 0);
    }
    return 1;
}

void CLiveWMPushPlayer::Tick(std::uint32_t, std::uint32_t elapsedMs, bool noPacing)
{
    m_pieceTimed = false;
    if (m_serving)
        Pace(LivePieceRestDelay(elapsedMs, noPacing));
}

DWORD WINAPI CLiveWMPushPlayer::ServeThread(LPVOID self)
{
    static_cast<CLiveWMPushPlayer*>(self)->Serve();
    return 0;
}

void CLiveWMPushPlayer::Serve()
{
    while (m_running) {
        SOCKET listener = m_listener;
        if (listener == INVALID_SOCKET)
            break;
        // Every address may connect: clients beyond what one select can
        // watch are closed rather than left waiting unseen.
        while (m_pending.size() > kMostPending) {
            LiveCloseSocket(m_pending.back());
            m_pending.pop_back();
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        for (SOCKET client : m_pending)
            FD_SET(client, &readable);
        int ready = select(0, &readable, nullptr, nullptr, nullptr);
        if (!m_running)
            break;
        if (ready <= 0) {
            WaitForSingleObject(m_serveStopped, kLiveRetryMs);
            continue;
        }
        if (FD_ISSET(listener, &readable)) {
            SOCKET client = accept(listener, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                WaitForSingleObject(m_serveStopped, kLiveRetryMs);
            else if (!FirstRequest(client))
                LiveCloseSocket(client);
        }
        std::vector<SOCKET> waiting;
        waiting.swap(m_pending);
        for (SOCKET client : waiting) {
            if (m_running && FD_ISSET(client, &readable))
                NextRequest(client);
            else
                m_pending.push_back(client);
        }
    }
}

bool CLiveWMPushPlayer::SendReply(SOCKET client, const std::string& reply)
{
    return LiveSendAll(client, reply.data(), reply.size(), &m_stopping) &&
           LiveSendAll(client, m_framedHeader.data(), m_framedHeader.size(), &m_stopping);
}

bool CLiveWMPushPlayer::FirstRequest(SOCKET client)
{
    std::string request;
    LiveReadRequest(client, request, m_running);
    if (request.find("HTTP") == std::string::npos)
        return false;
    long long id = static_cast<long long>(client);
    if (request.find("stream-switch") != std::string::npos) {
        if (!SendReply(client, LiveWmspStreamingReply(id)))
            return false;
        std::lock_guard<std::mutex> lock(m_clientLock);
        m_streaming.push_back(client);
        return true;
    }
    if (!SendReply(client, LiveWmspHeaderReply(id, m_framedHeader.size())))
        return false;
    m_pending.push_back(client);
    return true;
}

void CLiveWMPushPlayer::NextRequest(SOCKET client)
{
    std::string request;
    LiveReadRequest(client, request, m_running);
    if (request.empty() || !SendReply(client, LiveWmspStreamingReply(static_cast<long long>(client)))) {
        LiveCloseSocket(client);
        return;
    }
    std::lock_guard<std::mutex> lock(m_clientLock);
    m_streaming.push_back(client);
}
