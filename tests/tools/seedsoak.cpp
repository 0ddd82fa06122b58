// seedsoak: requesters of one video against a running seeder (seedhost),
// each on its own network core and thread, asking for random whole blocks
// one request at a time and checking every piece's bytes. For the soak and
// the seeder benchmark (bench/bench_seeder.py).
//
// usage: seedsoak --nat HOST:PORT --seeder IDHEX PORT --hash HASH --blocks N
//                 [--seed S] [--requesters R] [--seconds S] [--loss PERCENT]
//                 [--report-ms MS]
//
// The video is the test video of tests/tools/cachepair.py with N whole
// blocks: byte o is (7 o + o / 509 + S) mod 256.
//
// Prints, one line each:
//   CONNECTED <requesters>
//   SOAK <ms> requests <n> pieces <n> bad <n> stalls <n> memory <bytes>
//   TOTAL <ms> requests <n> pieces <n> bad <n> stalls <n>
//   REQUESTERS <pieces of the first> <pieces of the second> ...
// A stall is a request not confirmed within 20 s.
#include "net/Winsock.h"

#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <boost/thread/thread.hpp>

#include "net/ByteOrder.h"
#include "net/PortMapper.h"
#include "net/PpnEvents.h"
#include "net/UHCore.h"
#include "tests/service/VodRequester.h"
#include "tests/net/NoGateway.h"
#include "tests/tools/CoreOptions.h"
#include "tests/tools/AddressText.h"

namespace {

const int kWaitMs = 20000;

struct Options {
    std::string natHost;
    std::string natPort;
    std::string seederId;
    int seederPort = 0;
    std::string hash;
    std::uint32_t blocks = 0;
    int seed = 1;
    int requesters = 8;
    int seconds = 60;
    int loss = 0;
    DWORD reportMs = 10000;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        if (arg == "--nat") {
            if (!SplitHostPort(value, o.natHost, o.natPort))
                return false;
        } else if (arg == "--seeder" && i + 1 < argc) {
            o.seederId = value;
            o.seederPort = std::atoi(argv[++i]);
        } else if (arg == "--hash") {
            o.hash = value;
        } else if (arg == "--blocks") {
            o.blocks = static_cast<std::uint32_t>(std::atoi(value.c_str()));
        } else if (arg == "--seed") {
            o.seed = std::atoi(value.c_str());
        } else if (arg == "--requesters") {
            o.requesters = std::atoi(value.c_str());
        } else if (arg == "--seconds") {
            o.seconds = std::atoi(value.c_str());
        } else if (arg == "--loss") {
            o.loss = std::atoi(value.c_str());
        } else if (arg == "--report-ms") {
            o.reportMs = static_cast<DWORD>(std::atoi(value.c_str()));
        } else {
            return false;
        }
    }
    return !o.natHost.empty() && o.seederId.size() == 40 && o.seederPort > 0 &&
           o.hash.size() == 32 && o.blocks > 0;
}

PeerAddress SeederAddress(const Options& o) {
    PeerAddress a;
    a.Clear();
    const std::string id = BytesFromHex(o.seederId);
    a.id = PeerId::FromBytes(id.data(), id.size());
    a.endpoint.publicIp = a.endpoint.localIp = htonl(INADDR_LOOPBACK);
    a.endpoint.publicPort = a.endpoint.localPort =
        htons(static_cast<std::uint16_t>(o.seederPort));
    return a;
}

std::size_t ProcessMemory() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

struct Counts {
    std::atomic<std::uint64_t> requests{0};
    std::atomic<std::uint64_t> stalls{0};
};

void Run(VodRequester& r, const Options& o, unsigned seed, DWORD deadline, Counts& counts) {
    std::mt19937 random(seed);
    std::uint32_t number = 0;
    while (static_cast<LONG>(deadline - GetTickCount()) > 0) {
        const std::uint32_t block = random() % o.blocks;
        ++number;
        r.Send(vodwire::RequestBlocks(number, {block}, static_cast<std::uint8_t>(o.loss)));
        ++counts.requests;
        if (!r.WaitDone(number, kWaitMs))
            ++counts.stalls;
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: seedsoak --nat HOST:PORT --seeder IDHEX PORT --hash HASH "
                             "--blocks N [--seed S] [--requesters R] [--seconds S] "
                             "[--loss PERCENT] [--report-ms MS]\n");
        return 2;
    }
    nettest::UseNoGateway();
    PropertyMap p;
    p[PPN_PROP_NAT_SERVER] = o.natHost;
    p[PPN_PROP_NAT_PORT] = o.natPort;
    p[PPN_PROP_STUN_SERVER] = "127.0.0.1:80";
    p[PPN_PROP_PORT_LOW] = "40001";
    p[PPN_PROP_PORT_HIGH] = "60000";
    p[PPN_PROP_LOGIN_INTERVAL] = "50";
    p[PPN_PROP_LOGOUT_INTERVAL] = "50";

    const int seed = o.seed;
    auto check = [seed](const vodwire::Piece& piece) {
        if (piece.bytes.size() != 768)
            return false;
        const std::int64_t start = std::int64_t(piece.piece) * 768;
        for (std::int64_t i = 0; i < 768; ++i) {
            const std::int64_t at = start + i;
            if (piece.bytes[i] != static_cast<char>(at * 7 + at / 509 + seed))
                return false;
        }
        return true;
    };
    const PeerAddress seeder = SeederAddress(o);
    std::vector<std::unique_ptr<VodRequester>> requesters;
    for (int i = 0; i < o.requesters; ++i) {
        requesters.emplace_back(new VodRequester(p));
        VodRequester& r = *requesters.back();
        r.CheckPieces(check);
        if (!r.Start(30000) || !r.Connect(seeder, kWaitMs)) {
            std::printf("ERROR requester %d did not connect\n", i);
            return 1;
        }
        r.Send(vodwire::Hello(1, o.hash, "http://soak.test/"));
        if (!r.WaitHelloReplies(1, kWaitMs) || r.HelloReplies()[0].size() < 5) {
            std::printf("ERROR requester %d was refused\n", i);
            return 1;
        }
    }
    std::printf("CONNECTED %d\n", o.requesters);
    std::fflush(stdout);

    Counts counts;
    const DWORD start = GetTickCount();
    const DWORD deadline = start + static_cast<DWORD>(o.seconds) * 1000;
    std::vector<std::unique_ptr<boost::thread>> threads;
    for (int i = 0; i < o.requesters; ++i) {
        VodRequester* r = requesters[i].get();
        threads.emplace_back(new boost::thread(
            [r, &o, i, deadline, &counts] { Run(*r, o, 1000 + i, deadline, counts); }));
    }
    auto totals = [&](std::uint64_t& pieces, std::uint64_t& bad) {
        pieces = bad = 0;
        for (auto& r : requesters) {
            pieces += r->PieceCount();
            bad += r->BadPieces();
        }
    };
    DWORD lastReport = start;
    while (static_cast<LONG>(deadline - GetTickCount()) > 0) {
        Sleep(100);
        if (GetTickCount() - lastReport >= o.reportMs) {
            lastReport = GetTickCount();
            std::uint64_t pieces, bad;
            totals(pieces, bad);
            std::printf("SOAK %lu requests %llu pieces %llu bad %llu stalls %llu memory %u\n",
                        static_cast<unsigned long>(lastReport - start),
                        static_cast<unsigned long long>(counts.requests.load()),
                        static_cast<unsigned long long>(pieces),
                        static_cast<unsigned long long>(bad),
                        static_cast<unsigned long long>(counts.stalls.load()),
                        static_cast<unsigned>(ProcessMemory()));
            std::fflush(stdout);
        }
    }
    for (auto& t : threads)
        t->join();
    std::uint64_t pieces, bad;
    totals(pieces, bad);
    std::printf("TOTAL %lu requests %llu pieces %llu bad %llu stalls %llu\n",
                static_cast<unsigned long>(GetTickCount() - start),
                static_cast<unsigned long long>(counts.requests.load()),
                static_cast<unsigned long long>(pieces), static_cast<unsigned long long>(bad),
                static_cast<unsigned long long>(counts.stalls.load()));
    std::printf("REQUESTERS");
    for (auto& r : requesters)
        std::printf(" %llu", static_cast<unsigned long long>(r->PieceCount()));
    std::printf("\n");
    std::fflush(stdout);
    requesters.clear();
    return 0;
}
