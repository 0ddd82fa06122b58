// livedriver: one live engine (CLiveCore) in its own process, owned by a
// window of this program as the control will own it. For tests, benchmarks
// and trying the engine by hand.
//
// usage: livedriver --tracker URL --nat HOST:PORT --cid N [--start-lag N]
//                   [--buffering S] [--send-rate KBIT] [--peer-rate KBIT]
//                   [--password-answer 0|1] [--ports LOW-HIGH] [--seconds N]
//                   [--cycles N]
//
//   --ports is the UDP port range of the network core (its port is part of
//   the peer id, so engines of one machine differ by it);
//   --password-answer is what a password challenge is answered (default 1);
//   --seconds ends the run after N seconds (default: only STOP ends it);
//   --cycles runs N Start/Stop cycles of the one engine, each stopped once
//   the engine received pieces or after 10 s, then ends.
//
// Prints one line each, on stdout:
//   ADDRESS <packed address hex>          once the engine logged in
//   STATUS <stage> <string id or text>    each WM_LIVE_STATUS
//   CONNECTED <0|1>                       each WM_LIVE_CONNECTED
//   PASSWORD <bytes>                      a password challenge
//   READY <url> <title>                   each WM_LIVE_STREAM_READY
//   RELAY <text>                          a text relayed from another peer
//   WINDOW <first piece>                  once playback started
//   PIECE <n> <length> <md5>              each piece read, in order, through
//                                         GetPiece on a thread of the driver
//   SKIP <n>                              a piece that slid out before it was read
//   STATS <sessions> <window start> <down B/s> <up B/s> <down total>
//         <up total>                      once a second
//   CYCLE <n> <handles> <threads> <bytes read> <ms Stop took>
//                                         after the Stop of cycle n
//   STOPPED                               after the last Stop; then it ends
//   FAILED                                Start refused (exit code 1)
// Reads lines on stdin: RELAY <text>, BUFFERING, PLAYING, PAUSED, STOPPED
// (the player's state) and STOP.
#include "net/Winsock.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/md5/Md5.h"
#include "live/LiveCore.h"
#include "live/LiveEngineMessages.h"
#include "tests/common/ProcessCounts.h"
#include "tests/net/NoGateway.h"
#include "tests/tools/AddressText.h"
#include "tests/tools/CoreOptions.h"
#include "tests/tools/InputLines.h"
#include "tests/tools/SayLine.h"
#include "vod/VodEngineMessages.h"

namespace {

using testcounts::HandlesOfThisProcess;
using testcounts::ThreadsOfThisProcess;

const UINT WM_DRIVER_LINE = WM_APP + 1;   // lParam: std::string* (the handler deletes it)
const UINT_PTR kStatsTimer = 1;
const DWORD kCycleMs = 10000;

CLiveCore* g_core = nullptr;
LRESULT g_passwordAnswer = 1;
bool g_addressSaid = false;

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// Reads the pieces in order, as the feeder will, from the window start on.
class PieceReader {
public:
    explicit PieceReader(CLiveCore& core) : m_core(core)
    {
        m_thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~PieceReader()
    {
        m_stop = true;
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }
    std::uint64_t Bytes() const { return m_bytes; }

private:
    static DWORD WINAPI Run(void* self)
    {
        static_cast<PieceReader*>(self)->Loop();
        return 0;
    }
    void Loop()
    {
        std::uint32_t next = 0;
        std::vector<char> buffer;
        while (!m_stop) {
            if (next == 0) {
                next = m_core.GetWindowStart();
                if (next != 0)
                    Say("WINDOW " + std::to_string(next));
            }
            std::uint32_t length = 0;
            std::int32_t got = next == 0 ? -1 : m_core.GetPiece(next, nullptr, length);
            if (got == 0 && length > 0) {
                buffer.resize(length);
                got = m_core.GetPiece(next, buffer.data(), length);
            }
            if (got >= 0) {
                Say("PIECE " + std::to_string(next) + " " + std::to_string(length) + " " +
                    Md5Hex(buffer.data(), got > 0 ? length : 0));
                m_bytes += length;
                ++next;
            } else if (got == -2) {
                Say("SKIP " + std::to_string(next));
                next = std::max(next + 1, m_core.GetWindowStart());
            } else {
                Sleep(20);   // a polling reader, as the feeder's wait
            }
        }
    }

    CLiveCore& m_core;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_bytes{0};
    HANDLE m_thread;
};

void PrintStats()
{
    std::int32_t down = 0, up = 0;
    std::int64_t downTotal = 0, upTotal = 0;
    g_core->GetDownloadRate(down);
    g_core->GetUploadRate(up);
    g_core->GetDownloadTotal(downTotal);
    g_core->GetUploadTotal(upTotal);
    char line[256];
    std::snprintf(line, sizeof line, "STATS %d %u %d %d %lld %lld", g_core->GetSessionCount(),
                  g_core->GetWindowStart(), down, up, static_cast<long long>(downTotal),
                  static_cast<long long>(upTotal));
    Say(line);
    PeerAddress self;
    if (!g_addressSaid && g_core->GetOwnAddress(self, true)) {
        g_addressSaid = true;
        Say("ADDRESS " + AddressHex(self));
    }
}

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LIVE_STATUS:
        if (wParam == LIVE_STATUS_BUFFERING)
            Say("STATUS 9 " + Narrow(reinterpret_cast<const wchar_t*>(lParam)));
        else
            Say("STATUS " + std::to_string(wParam) + " " + std::to_string(lParam));
        return 0;
    case WM_LIVE_CONNECTED:
        Say("CONNECTED " + std::to_string(wParam));
        return 0;
    case WM_LIVE_STREAM_READY:
        Say("READY " + Narrow(g_core->GetPlayerUrl()) + " " + Narrow(reinterpret_cast<const wchar_t*>(wParam)));
        return 0;
    case WM_VOD_PASSWORD:
        Say("PASSWORD " + std::string(reinterpret_cast<const char*>(wParam), static_cast<std::size_t>(lParam)));
        return g_passwordAnswer;
    case WM_LIVE_RELAY_TEXT: {
        char* text = reinterpret_cast<char*>(wParam);
        Say("RELAY " + std::string(text, static_cast<std::size_t>(lParam)));
        std::free(text);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kStatsTimer)
            PrintStats();
        return 0;
    case WM_DRIVER_LINE: {
        std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(lParam));
        if (*line == "STOP")
            PostQuitMessage(0);
        else if (line->compare(0, 6, "RELAY ") == 0)
            g_core->QueueRelayText(line->substr(6));
        else if (*line == "BUFFERING")
            g_core->NotifyBuffering();
        else if (*line == "PLAYING")
            g_core->NotifyPlaying();
        else if (*line == "PAUSED")
            g_core->NotifyPaused();
        else if (*line == "STOPPED")
            g_core->NotifyStopped();
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: livedriver --tracker URL --nat HOST:PORT --cid N [--start-lag N] [--buffering S] "
                         "[--send-rate KBIT] [--peer-rate KBIT] [--password-answer 0|1] [--ports LOW-HIGH] "
                         "[--seconds N] [--cycles N]\n");
    return 2;
}

// The engine's settings from the command line.
struct Settings {
    std::wstring tracker;
    std::string natHost;
    std::uint16_t natPort = 0;
    std::uint64_t cid = 0;
    std::uint32_t startLag = 0;
    std::uint32_t buffering = 0;
    std::int32_t sendRate = CLiveCore::kDefaultRateKbit;
    std::int32_t peerRate = CLiveCore::kDefaultRateKbit;
    std::uint16_t portLow = 0;
    std::uint16_t portHigh = 0;

    std::unique_ptr<CLiveCore> MakeCore(HWND owner) const
    {
        std::unique_ptr<CLiveCore> core(new CLiveCore);
        core->SetOwnerWindow(owner);
        core->SetTrackerUrl(tracker);
        core->SetNatServer(natHost, natPort);
        core->SetChannelId(cid);
        core->SetStartLag(startLag);
        core->SetBufferingSeconds(buffering);
        core->SetInitialSendRate(sendRate);
        core->SetAssumedPeerRate(peerRate);
        core->SetPortRange(portLow, portHigh);
        return core;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    Settings settings;
    int seconds = 0;
    int cycles = 0;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc)
            return Usage();
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        const long number = std::atol(value.c_str());
        if (option == "--tracker") {
            settings.tracker.assign(value.begin(), value.end());
        } else if (option == "--nat") {
            std::string port;
            if (!SplitHostPort(value, settings.natHost, port))
                return Usage();
            settings.natPort = static_cast<std::uint16_t>(std::atoi(port.c_str()));
        } else if (option == "--cid") {
            settings.cid = std::strtoull(value.c_str(), nullptr, 10);
        } else if (option == "--start-lag") {
            settings.startLag = static_cast<std::uint32_t>(number);
        } else if (option == "--buffering") {
            settings.buffering = static_cast<std::uint32_t>(number);
        } else if (option == "--send-rate") {
            settings.sendRate = static_cast<std::int32_t>(number);
        } else if (option == "--peer-rate") {
            settings.peerRate = static_cast<std::int32_t>(number);
        } else if (option == "--ports") {
            const std::string::size_type dash = value.find('-');
            if (dash == std::string::npos)
                return Usage();
            settings.portLow = static_cast<std::uint16_t>(std::atoi(value.substr(0, dash).c_str()));
            settings.portHigh = static_cast<std::uint16_t>(std::atoi(value.substr(dash + 1).c_str()));
        } else if (option == "--password-answer") {
            g_passwordAnswer = number;
        } else if (option == "--seconds") {
            seconds = static_cast<int>(number);
        } else if (option == "--cycles") {
            cycles = static_cast<int>(number);
        } else {
            return Usage();
        }
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    nettest::UseNoGateway();

    WNDCLASSW wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LiveDriverOwner";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    StartInputLines(window, WM_DRIVER_LINE);
    bool quit = false;
    for (int cycle = 1; !quit && cycle <= std::max(cycles, 1); ++cycle) {
        // An engine is not started again after Stop: each cycle has its own.
        std::unique_ptr<CLiveCore> core = settings.MakeCore(window);
        g_core = core.get();
        g_addressSaid = false;
        if (!core->Start(GetModuleHandleW(nullptr))) {
            Say("FAILED");
            return 1;
        }
        PieceReader reader(*core);
        SetTimer(window, kStatsTimer, 1000, nullptr);
        const DWORD begin = GetTickCount();
        while (!quit) {
            const DWORD now = GetTickCount();
            if (seconds > 0 && now - begin >= static_cast<DWORD>(seconds) * 1000)
                break;
            if (cycles > 0 && (reader.Bytes() > 0 || now - begin >= kCycleMs))
                break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT)
                    quit = true;
                DispatchMessageW(&msg);
            }
        }
        KillTimer(window, kStatsTimer);
        const DWORD stopAt = GetTickCount();
        core->Stop();
        const DWORD stopMs = GetTickCount() - stopAt;
        if (cycles > 0)
            Say("CYCLE " + std::to_string(cycle) + " " + std::to_string(HandlesOfThisProcess()) + " " +
                std::to_string(ThreadsOfThisProcess()) + " " + std::to_string(reader.Bytes()) + " " +
                std::to_string(stopMs));
    }
    g_core = nullptr;
    Say("STOPPED");
    DestroyWindow(window);
    std::fflush(stdout);
    ExitProcess(0);
}
