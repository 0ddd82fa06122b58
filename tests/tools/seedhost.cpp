// seedhost: runs seeders over the cache folder, standing in for the
// service window until it exists. Scans the record list, starts one seeder
// per NAT server address of its groups (or one for --nat), rescans every
// 60 s as the window's timer does, and prints what it serves.
//
// usage: seedhost [--nat HOST:PORT] [--stun HOST[:PORT]] [--ports LOW-HIGH]
//                 [--cores N] [--limit KBPS] [--seconds S] [--rescan-ms MS]
//                 [--stats-ms MS] [--no-upnp] [--until-eof]
//
// --limit defaults to the all-users settings' upload limit; --seconds 0
// (the default) runs until the process is ended, or with --until-eof until
// the standard input ends.
//
// Prints, one line each:
//   FOLDER <path>, RECORDS <count>, GROUP <nat> <tracker> <videos>
//   SEEDER <nat> STARTED|FAILED, LOGGEDIN <nat> <peer id hex> <local port>
//   ADDED|REMOVED <hash> <content id> <tracker>     from the folder watcher
//   RESCAN <records>
//   STATS <nat> sessions <n> ended <n> pieces <sent> <refused> bytes <sent>
//         buffers <piece buffers in use> memory <bytes> cpu <ms of the process>
//         threads <threads of the process>
//   STOPPED
#include "net/Winsock.h"

#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "net/ByteOrder.h"
#include "net/PortMapper.h"
#include "net/UHCore.h"
#include "service/PieceBufferPool.h"
#include "service/SeederSettings.h"
#include "service/VodRecordList.h"
#include "service/VodSeeder.h"
#include "tests/net/NoGateway.h"
#include "tests/common/ProcessCounts.h"
#include "common/text/HexText.h"

namespace {

boost::mutex g_output;

void Print(const char* format, ...) {
    boost::mutex::scoped_lock lock(g_output);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

class Changes : public IRecordNotify {
public:
    void OnRecordChange(int kind, const std::string& tracker, const std::string& hash,
                        std::int64_t contentId) override {
        Print("%s %s %lld %s\n", kind == kAdded ? "ADDED" : "REMOVED", hash.c_str(),
              static_cast<long long>(contentId), tracker.c_str());
    }
};

struct Options {
    std::string nat;
    std::string stun = "127.0.0.1:80";
    int portLow = 5000, portHigh = 6000;
    int cores = 1;
    int limit = -1;
    int seconds = 0;
    DWORD rescanMs = 60000;
    DWORD statsMs = 5000;
    bool upnp = true;
    bool untilEof = false;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--no-upnp") {
            o.upnp = false;
            continue;
        }
        if (arg == "--until-eof") {
            o.untilEof = true;
            continue;
        }
        if (!value)
            return false;
        ++i;
        if (arg == "--nat")
            o.nat = value;
        else if (arg == "--stun")
            o.stun = value;
        else if (arg == "--ports")
            std::sscanf(value, "%d-%d", &o.portLow, &o.portHigh);
        else if (arg == "--cores")
            o.cores = std::atoi(value);
        else if (arg == "--limit")
            o.limit = std::atoi(value);
        else if (arg == "--seconds")
            o.seconds = std::atoi(value);
        else if (arg == "--rescan-ms")
            o.rescanMs = static_cast<DWORD>(std::atoi(value));
        else if (arg == "--stats-ms")
            o.statsMs = static_cast<DWORD>(std::atoi(value));
        else
            return false;
    }
    return true;
}

std::size_t ProcessMemory() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

std::uint64_t ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto value = [](const FILETIME& t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (value(kernel) + value(user)) / 10000;
}

std::atomic<bool> g_inputEnded{false};

struct Served {
    std::unique_ptr<VodSeeder> seeder;
    bool loggedIn = false;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: seedhost [--nat HOST:PORT] [--stun HOST] [--ports LOW-HIGH] "
                             "[--cores N] [--limit KBPS] [--seconds S] [--rescan-ms MS] "
                             "[--stats-ms MS] [--no-upnp]\n");
        return 2;
    }
    if (!options.upnp)
        nettest::UseNoGateway();
    const int limit = options.limit >= 0 ? options.limit : UploadLimitFromSettings();

    CVodRecordList list;
    Changes changes;
    list.Scan();
    list.SetNotify(&changes);
    std::string folder(list.GetFolder().begin(), list.GetFolder().end());
    Print("FOLDER %s\nRECORDS %u\n", folder.c_str(), static_cast<unsigned>(list.GetRecordCount()));

    std::vector<std::string> addresses;
    for (const VodRecordGroup& group : list.GetGroups()) {
        Print("GROUP %s %s %u\n", group.natServer.c_str(), group.trackerUrl.c_str(),
              static_cast<unsigned>(group.videos.size()));
        addresses.push_back(group.natServer);
    }
    if (!options.nat.empty())
        addresses.assign(1, options.nat);

    std::map<std::string, Served> seeders;
    for (const std::string& nat : addresses) {
        if (seeders.count(nat))
            continue;
        const std::string::size_type colon = nat.find(':');
        std::unique_ptr<VodSeeder> seeder(new VodSeeder(&list));
        seeder->SetNatServer(colon == std::string::npos ? "" : nat.substr(0, colon),
                             static_cast<std::uint16_t>(
                                 colon == std::string::npos ? 0 : std::atoi(nat.c_str() + colon + 1)));
        seeder->SetStunServer(options.stun);
        seeder->SetPortRange(static_cast<std::uint16_t>(options.portLow),
                             static_cast<std::uint16_t>(options.portHigh));
        seeder->SetCacheSize(20971520);
        seeder->SetCoreCount(options.cores);
        seeder->SetUploadLimit(limit);
        const bool started = seeder->Start() == 1;
        Print("SEEDER %s %s\n", nat.c_str(), started ? "STARTED" : "FAILED");
        if (started)
            seeders[nat].seeder = std::move(seeder);
    }

    if (options.untilEof) {
        boost::thread([] {
            while (std::getchar() != EOF) {
            }
            g_inputEnded = true;
        }).detach();
    }
    const DWORD start = GetTickCount();
    DWORD lastRescan = start, lastStats = start;
    while ((options.seconds == 0 || GetTickCount() - start < DWORD(options.seconds) * 1000) &&
           !g_inputEnded) {
        Sleep(100);
        const DWORD now = GetTickCount();
        for (auto& served : seeders) {
            std::vector<PeerAddress> own;
            if (!served.second.loggedIn && served.second.seeder->GetAddresses(own)) {
                served.second.loggedIn = true;
                for (const PeerAddress& a : own)
                    Print("LOGGEDIN %s %s %u\n", served.first.c_str(),
                          LowerHex(a.id.bytes, PeerId::kSize).c_str(),
                          static_cast<unsigned>(net::NetToHost16(a.endpoint.localPort)));
            }
        }
        if (now - lastRescan >= options.rescanMs) {
            lastRescan = now;
            list.Rescan();
            Print("RESCAN %u\n", static_cast<unsigned>(list.GetRecordCount()));
        }
        if (now - lastStats >= options.statsMs) {
            lastStats = now;
            for (auto& served : seeders) {
                VodSeeder& s = *served.second.seeder;
                Print("STATS %s sessions %u ended %u pieces %llu %llu bytes %llu buffers %u "
                      "memory %u cpu %llu threads %u\n",
                      served.first.c_str(), static_cast<unsigned>(s.GetSessionCount()),
                      static_cast<unsigned>(s.GetEndedSessionCount()),
                      static_cast<unsigned long long>(s.GetPiecesPassed()),
                      static_cast<unsigned long long>(s.GetPiecesRefused()),
                      static_cast<unsigned long long>(s.GetBytesPassed()),
                      static_cast<unsigned>(PieceBufferPool::Instance().GetInUse()),
                      static_cast<unsigned>(ProcessMemory()),
                      static_cast<unsigned long long>(ProcessCpuMs()),
                      static_cast<unsigned>(testcounts::ThreadsOfThisProcess()));
            }
        }
    }
    for (auto& served : seeders)
        served.second.seeder->Stop();
    list.Stop();
    Print("STOPPED\n");
    return 0;
}
