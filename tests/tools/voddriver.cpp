// voddriver: one VOD engine (CVodCore) in its own process, owned by a window
// of this program, as the control will own it. For tests, benchmarks and
// trying the engine by hand.
//
// usage: voddriver --tracker URL --nat HOST:PORT --hash HASH --cid N
//                  [--size BYTES] [--bitrate BIT/S] [--type flv|wmv|...]
//                  [--cache-dir DIR] [--password-answer 0|1]
//                  [--connections N] [--seconds N] [--cycles N]
//
//   --size 0 (the default) asks the tracker for the size; --cache-dir turns
//   the cache on with DIR (a Windows path, e.g. Z:/tmp/c) as cache folder
//   (written to the per-user settings file, whose bytes are put back at the
//   end);
//   --password-answer is what a password challenge is answered (default 1);
//   --seconds ends the run after N seconds (default: only STOP ends it);
//   --cycles runs N Start/Stop cycles of the one engine, each stopped once
//   the engine uploaded something or after 10 s, then ends.
//
// Prints one line each, on stdout:
//   URL <play url>                          once the engine started
//   STATUS <stage> <string id>              each WM_VOD_STATUS
//   CONNECTED <0|1>                         each WM_VOD_CONNECTED (1: connections
//                                           were started, none need be up yet)
//   LINKED <ms>                             once per Start, within 10 ms of the
//                                           engine's first connection coming up,
//                                           in ms after its Start began; until
//                                           then a read of the play URL ends at
//                                           once with nothing
//   PASSWORD <bytes>                        a password challenge
//   RELAY <text>                            a text relayed from another peer
//   STATS <sessions> <contiguous blocks> <downloaded fraction> <down B/s>
//         <up B/s> <down total> <up total>  once a second
//   CYCLE <n> <handles> <threads> <uploaded bytes>
//                                           after the Stop of cycle n (from 1):
//                                           the process's handle and thread counts
//   SETTLED <n> <handles> <threads>         after cycle 1, the counts once they
//                                           held still for 3 s; after cycle N,
//                                           once they are down to those (at most
//                                           20 s of waiting each)
//   STEPS started=<ms> size=<ms> asked=<ms> found=<ms> connected=<ms>
//         accepted=<ms> requested=<ms> piece=<ms> read=<ms>
//                                           once, with the first STATS after a
//                                           reader got bytes: when the engine
//                                           reached each step, in ms after its
//                                           Start began (-1: never)
//   STOPPED                                 after the last Stop; then the program ends
//   FAILED                                  Start refused (exit code 1)
// Reads lines on stdin:
//   RELAY <text>                            queues a relay text
//   STOP                                    stops the engine and ends
// The end of stdin is not a STOP: the driver may run with stdin closed.
//
// For flv the play URL serves the file over HTTP on 127.0.0.1
// ("http://127.0.0.1:<port>/1.flv"); other types get a "zaror://" URL that
// names the engine's reader host.
#include "net/Winsock.h"


#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/settings/CIni.h"
#include "net/PortMapper.h"
#include "net/UHCore.h"
#include "vod/VodCacheFile.h"
#include "vod/VodCore.h"
#include "vod/VodEngineMessages.h"
#include "tests/net/NoGateway.h"
#include "tests/common/ProcessCounts.h"
#include "tests/tools/CoreOptions.h"
#include "tests/tools/InputLines.h"
#include "tests/tools/SayLine.h"

namespace {

using testcounts::HandlesOfThisProcess;
using testcounts::ThreadsOfThisProcess;

const UINT WM_DRIVER_LINE = WM_APP + 1;   // lParam: std::string* (the handler deletes it)
const UINT_PTR kStatsTimer = 1;
// Looks for the engine's first connection until it has come up.
const UINT_PTR kLinkTimer = 2;
const UINT kLinkPollMs = 10;
const DWORD kCycleMs = 10000;

CVodCore* g_core = nullptr;
LRESULT g_passwordAnswer = 1;

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// The per-user settings file as it was, put back when the driver ends.
class SettingsKeeper {
public:
    SettingsKeeper() : m_path(util::GetLocalSettingsIniPath())
    {
        HANDLE file = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;
        m_existed = true;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            m_bytes.append(buffer, got);
        CloseHandle(file);
    }
    ~SettingsKeeper()
    {
        if (!m_existed) {
            DeleteFileW(m_path.c_str());
            return;
        }
        HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return;
        DWORD put = 0;
        WriteFile(file, m_bytes.data(), static_cast<DWORD>(m_bytes.size()), &put, nullptr);
        CloseHandle(file);
    }

private:
    std::wstring m_path;
    bool m_existed = false;
    std::string m_bytes;
};

// Waits, at most 20 s, until the handle and thread counts held still for 3 s
// (idle workers of the system's thread pool end seconds after their last
// callback), or, given a level, until they are down to it; prints them.
DWORD g_settledHandles = 0;
int g_settledThreads = 0;

void Settle(int cycle, bool toLevel)
{
    const DWORD begin = GetTickCount();
    DWORD handles = HandlesOfThisProcess(), since = begin;
    int threads = ThreadsOfThisProcess();
    while (GetTickCount() - begin < 20000) {
        if (toLevel ? handles <= g_settledHandles && threads <= g_settledThreads : GetTickCount() - since >= 3000)
            break;
        Sleep(100);
        const DWORD h = HandlesOfThisProcess();
        const int t = ThreadsOfThisProcess();
        if (h != handles || t != threads)
            since = GetTickCount();
        handles = h;
        threads = t;
    }
    g_settledHandles = handles;
    g_settledThreads = threads;
    Say("SETTLED " + std::to_string(cycle) + " " + std::to_string(handles) + " " + std::to_string(threads));
}

// Once a reader got its first bytes: when the engine reached each step.
void PrintStepsOnce()
{
    static bool printed = false;
    const VodStartSteps& steps = g_core->GetStartSteps();
    if (printed || steps.Get(VOD_STEP_FIRST_READ) < 0)
        return;
    printed = true;
    std::string line = "STEPS";
    for (int s = 0; s < VOD_STEP_COUNT; ++s)
        line += std::string(" ") + VodStartSteps::Name(static_cast<VodStartStep>(s)) + "=" +
                std::to_string(steps.Get(static_cast<VodStartStep>(s)));
    Say(line);
}

void PrintLinkedOnce(HWND window)
{
    const int connected = g_core->GetStartSteps().Get(VOD_STEP_CONNECTED);
    if (connected < 0)
        return;
    KillTimer(window, kLinkTimer);
    Say("LINKED " + std::to_string(connected));
}

void PrintStats()
{
    int down = 0, up = 0;
    std::int64_t downTotal = 0, upTotal = 0;
    g_core->GetDownloadRate(down);
    g_core->GetUploadRate(up);
    g_core->GetDownloadTotal(downTotal);
    g_core->GetUploadTotal(upTotal);
    char line[256];
    std::snprintf(line, sizeof line, "STATS %d %u %.4f %d %d %lld %lld", g_core->GetSessionCount(),
                  g_core->GetContiguousBlocks(), g_core->GetDownloadedFraction(), down, up,
                  static_cast<long long>(downTotal), static_cast<long long>(upTotal));
    Say(line);
    PrintStepsOnce();
}

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_VOD_STATUS:
        Say("STATUS " + std::to_string(wParam) + " " + std::to_string(lParam));
        return 0;
    case WM_VOD_CONNECTED:
        Say("CONNECTED " + std::to_string(wParam));
        return 0;
    case WM_VOD_PASSWORD:
        Say("PASSWORD " + std::string(reinterpret_cast<const char*>(wParam), static_cast<std::size_t>(lParam)));
        return g_passwordAnswer;
    case WM_VOD_RELAY_TEXT: {
        char* text = reinterpret_cast<char*>(wParam);
        Say("RELAY " + std::string(text, static_cast<std::size_t>(lParam)));
        std::free(text);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kStatsTimer)
            PrintStats();
        else if (wParam == kLinkTimer)
            PrintLinkedOnce(hwnd);
        return 0;
    case WM_DRIVER_LINE: {
        std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(lParam));
        if (*line == "STOP")
            PostQuitMessage(0);
        else if (line->compare(0, 6, "RELAY ") == 0)
            g_core->QueueRelayText(line->substr(6));
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: voddriver --tracker URL --nat HOST:PORT --hash HASH --cid N [--size BYTES] "
                         "[--bitrate BIT/S] [--type TYPE] [--cache-dir DIR] [--password-answer 0|1] "
                         "[--connections N] [--seconds N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    CVodCore* core = new CVodCore;
    g_core = core;
    int seconds = 0;
    int cycles = 0;
    std::wstring cacheDir;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc)
            return Usage();
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--tracker") {
            core->SetTrackerUrl(Widen(value));
        } else if (option == "--nat") {
            std::string host, port;
            if (!SplitHostPort(value, host, port))
                return Usage();
            core->SetNatServer(host, static_cast<std::uint16_t>(std::atoi(port.c_str())));
        } else if (option == "--hash") {
            core->SetHash(value);
        } else if (option == "--cid") {
            core->SetContentId(std::atoll(value.c_str()));
        } else if (option == "--size") {
            core->SetSize(std::atoll(value.c_str()));
        } else if (option == "--bitrate") {
            core->SetBitRate(static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10)));
        } else if (option == "--type") {
            core->SetMediaType(Widen(value));
        } else if (option == "--cache-dir") {
            cacheDir = Widen(value);
        } else if (option == "--password-answer") {
            g_passwordAnswer = std::atoi(value.c_str());
        } else if (option == "--connections") {
            core->SetConnectionLimit(std::atoi(value.c_str()));
        } else if (option == "--cycles") {
            cycles = std::atoi(value.c_str());
        } else if (option == "--seconds") {
            seconds = std::atoi(value.c_str());
        } else {
            return Usage();
        }
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    nettest::UseNoGateway();
    std::unique_ptr<SettingsKeeper> settings;
    if (!cacheDir.empty()) {
        settings.reset(new SettingsKeeper);
        CreateDirectoryW(cacheDir.c_str(), nullptr);
        CVodCacheFile::SetCachePath(cacheDir);
        core->SetCacheEnabled(true);
    }

    WNDCLASSW wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VodDriverOwner";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    core->SetOwnerWindow(window);
    StartInputLines(window, WM_DRIVER_LINE);
    bool quit = false;
    for (int cycle = 1; !quit && cycle <= std::max(cycles, 1); ++cycle) {
        if (!core->Start(GetModuleHandleW(nullptr))) {
            Say("FAILED");
            delete core;
            settings.reset();
            return 1;
        }
        Say("URL " + Narrow(core->GetPlayUrl()));
        SetTimer(window, kStatsTimer, 1000, nullptr);
        SetTimer(window, kLinkTimer, kLinkPollMs, nullptr);
        const DWORD begin = GetTickCount();
        std::int64_t uploaded = 0;
        while (!quit) {
            const DWORD now = GetTickCount();
            if (seconds > 0 && now - begin >= static_cast<DWORD>(seconds) * 1000)
                break;
            if (cycles > 0 && ((core->GetUploadTotal(uploaded) && uploaded > 0) || now - begin >= kCycleMs))
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
        KillTimer(window, kLinkTimer);
        core->Stop();
        if (cycles > 0)
            Say("CYCLE " + std::to_string(cycle) + " " + std::to_string(HandlesOfThisProcess()) + " " +
                std::to_string(ThreadsOfThisProcess()) + " " + std::to_string(uploaded));
        if (cycles > 0 && (cycle == 1 || cycle == cycles))
            Settle(cycle, cycle > 1);
    }
    delete core;
    settings.reset();
    Say("STOPPED");
    DestroyWindow(window);
    // The input thread may still wait on stdin.
    std::fflush(stdout);
    ExitProcess(0);
}
