#include "platform/standins/flv/FlvPlayback.h"

#include <ws2tcpip.h>

#include <cstring>
#include <deque>

#include "platform/standins/HttpUrl.h"
#include "platform/standins/flv/FlvTagReader.h"

namespace standins {

namespace {

struct Address {
    std::string host;
    unsigned short port = 80;
    std::string path;
};

bool ParseUrl(const std::wstring& url, Address* out)
{
    HttpUrl parts;
    if (!SplitHttpUrl(url, &parts))
        return false;
    out->host = parts.host;
    out->port = static_cast<unsigned short>(parts.port);
    out->path = parts.path;
    return !out->host.empty() && out->port != 0;
}

// The "duration" number of an onMetaData script tag, in seconds; -1 without.
double MetaDuration(const std::string& data)
{
    static const char kName[] = "\x00\x08" "duration" "\x00";
    const size_t at = data.find(std::string(kName, sizeof kName - 1));
    if (at == std::string::npos || at + sizeof kName - 1 + 8 > data.size())
        return -1;
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[7 - i] = static_cast<unsigned char>(data[at + sizeof kName - 1 + i]);
    double value;
    std::memcpy(&value, bytes, 8);
    return value;
}

class Socket {
public:
    Socket() = default;
    ~Socket()
    {
        if (s_ != INVALID_SOCKET)
            closesocket(s_);
        if (event_)
            WSACloseEvent(event_);
    }
    SOCKET s_ = INVALID_SOCKET;
    WSAEVENT event_ = nullptr;
};

}  // namespace

FlvPlayback::FlvPlayback(StateChanged changed, Logger log)
    : changed_(std::move(changed)), log_(std::move(log))
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    snapshot_.state = L"stopped";
}

FlvPlayback::~FlvPlayback()
{
    Stop();
    CloseHandle(wake_);
    WSACleanup();
}

void FlvPlayback::Start(const std::wstring& url)
{
    Stop();
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = false;
        paused_ = false;
        seekTo_ = -1;
        keyFrames_.clear();
        snapshot_ = Snapshot();
    }
    url_ = url;
    SetState(L"buffering");
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
}

void FlvPlayback::Pause()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!thread_ || paused_)
            return;
        paused_ = true;
    }
    SetEvent(wake_);
}

void FlvPlayback::Resume()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!paused_)
            return;
        paused_ = false;
    }
    SetEvent(wake_);
}

void FlvPlayback::Stop()
{
    if (!thread_)
        return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    SetEvent(wake_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

void FlvPlayback::Seek(long seconds)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!thread_)
            return;
        seekTo_ = seconds < 0 ? 0 : seconds;
    }
    SetEvent(wake_);
}

FlvPlayback::Snapshot FlvPlayback::State() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return snapshot_;
}

void FlvPlayback::SetState(const wchar_t* state)
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (snapshot_.state == state)
            return;
        snapshot_.state = state;
    }
    if (changed_)
        changed_(state);
}

DWORD WINAPI FlvPlayback::ThreadMain(void* self)
{
    static_cast<FlvPlayback*>(self)->Run();
    return 0;
}

void FlvPlayback::Run()
{
    std::uint64_t from = 0;
    while (Stream(from, &from) && SeekingShown()) {
    }
    SetState(L"stopped");
}

void FlvPlayback::StateTaken(const std::wstring& state)
{
    if (state != L"seeking")
        return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        seekingTaken_ = true;
    }
    SetEvent(wake_);
}

bool FlvPlayback::SeekingShown()
{
    const DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (stop_)
                return false;
            if (!holdSeeking_ || seekingTaken_)
                return true;
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= kSeekHoldMs)
            return true;
        WaitForSingleObject(wake_, kSeekHoldMs - spent);
    }
}

bool FlvPlayback::Stream(std::uint64_t from, std::uint64_t* again)
{
    Address address;
    if (!ParseUrl(url_, &address)) {
        log_(L"playback: not an http address");
        return false;
    }
    const std::string path = from ? "/" + std::to_string(from) + ".flv" : address.path;
    log_(L"playback GET " + std::wstring(path.begin(), path.end()));
    Socket sock;
    sock.s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(address.port);
    peer.sin_addr.s_addr = inet_addr(address.host.c_str());
    if (sock.s_ == INVALID_SOCKET ||
        connect(sock.s_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        log_(L"playback: cannot connect");
        return false;
    }
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + address.host + ":" +
                                std::to_string(address.port) + "\r\nConnection: close\r\n\r\n";
    if (send(sock.s_, request.data(), static_cast<int>(request.size()), 0) !=
        static_cast<int>(request.size()))
        return false;
    sock.event_ = WSACreateEvent();
    WSAEventSelect(sock.s_, sock.event_, FD_READ | FD_CLOSE);

    flv::TagReader reader(from);
    std::string head;
    bool inBody = false, closed = false, anchored = false, played = false, wasPaused = false;
    std::deque<std::uint32_t> queue;   // timestamps of the frames still to show
    DWORD anchorTick = 0;
    std::uint32_t anchorStamp = 0;
    for (;;) {
        bool paused;
        {
            std::unique_lock<std::mutex> hold(lock_);
            if (stop_)
                return false;
            if (seekTo_ >= 0) {
                const std::uint32_t target = static_cast<std::uint32_t>(seekTo_) * 1000;
                seekTo_ = -1;
                seekingTaken_ = false;
                auto key = keyFrames_.upper_bound(target);
                *again = key == keyFrames_.begin() ? 0 : (--key)->second;
                hold.unlock();
                SetState(L"seeking");
                return true;
            }
            paused = paused_;
        }
        if (paused != wasPaused) {
            wasPaused = paused;
            anchored = false;
            if (played || paused)
                SetState(paused ? L"paused" : L"playing");
        }

        char chunk[16384];
        for (;;) {
            const int got = recv(sock.s_, chunk, sizeof chunk, 0);
            if (got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
                closed = true;
                break;
            }
            if (got < 0)
                break;
            if (inBody) {
                reader.Feed(chunk, static_cast<size_t>(got));
                continue;
            }
            head.append(chunk, static_cast<size_t>(got));
            const size_t end = head.find("\r\n\r\n");
            if (end == std::string::npos)
                continue;
            if (head.compare(0, 9, "HTTP/1.1 ") != 0 ||
                (head.compare(9, 3, "200") != 0 && head.compare(9, 3, "206") != 0)) {
                log_(L"playback: refused: " + std::wstring(head.begin(), head.begin() + head.find('\r')));
                return false;
            }
            reader.Feed(head.data() + end + 4, head.size() - end - 4);
            inBody = true;
        }

        flv::Tag tag;
        flv::TagReader::Status status;
        while ((status = reader.Next(&tag)) == flv::TagReader::kTag) {
            std::lock_guard<std::mutex> hold(lock_);
            if (tag.type == 18 && snapshot_.durationSeconds == 0) {
                const double duration = MetaDuration(tag.scriptData);
                if (duration > 0)
                    snapshot_.durationSeconds = static_cast<long>(duration);
            }
            if (tag.keyframe)
                keyFrames_[tag.timestamp] = tag.fileOffset;
            if (tag.type == 8 || tag.type == 9)
                queue.push_back(tag.timestamp);
        }
        if (status == flv::TagReader::kError) {
            const std::string& why = reader.Error();
            log_(L"playback: bad stream: " + std::wstring(why.begin(), why.end()));
            return false;
        }

        const DWORD now = GetTickCount();
        DWORD timeout = INFINITE;
        while (!paused && !queue.empty()) {
            if (!anchored) {
                anchored = true;
                anchorTick = now;
                anchorStamp = queue.front();
            }
            const LONG wait = static_cast<LONG>(anchorTick + (queue.front() - anchorStamp) - now);
            if (wait > 0) {
                timeout = static_cast<DWORD>(wait);
                break;
            }
            {
                std::lock_guard<std::mutex> hold(lock_);
                snapshot_.positionSeconds = static_cast<long>(queue.front() / 1000);
            }
            queue.pop_front();
            if (!played) {
                played = true;
                SetState(L"playing");
            }
        }
        if (closed && queue.empty())
            return false;   // the media ended (or its connection did)

        HANDLE handles[2] = {wake_, sock.event_};
        WaitForMultipleObjects(closed ? 1 : 2, handles, FALSE, timeout);
        WSANETWORKEVENTS events;
        WSAEnumNetworkEvents(sock.s_, sock.event_, &events);
    }
}

}  // namespace standins
