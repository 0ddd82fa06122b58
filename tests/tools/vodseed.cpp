// vodseed: a scripted seed of one video on a network core of its own. It
// serves a file held in memory to the engines that connect, answering the
// VOD peer messages (hello, request; pieces and done back), with knobs to
// lose pieces, refuse hellos and announce its blocks late with a "have".
//
// usage: vodseed --nat HOST:PORT --file PATH --hash HASH [--loss PERCENT]
//                [--refuse] [--have-later] [--ask] [--relay-inject]
//                [--rate KBIT/S]
//
//   --loss drops that share of the pieces it would send (at random);
//   --refuse answers every hello with a refusal; --have-later announces no
//   block in the hello reply and every block one second later (message 8);
//   --ask makes the seed ask each engine it accepted for block 0 every
//   second, so that the engine serves pieces too (PIECES <count> when some
//   came); --relay-inject sends each engine it accepted, 1.5 s later, the
//   relay messages of RelayScript below;
//   --rate is the sending rate of pieces, default 8000 kbit/s.
//
// Prints: ADDRESS <packed PeerAddress in hex> once logged in, then one line
// per event: HELLO <peer id hex> ACCEPTED|REFUSED, REQUEST <number>
// <pieces>, DONE <number>, SENT <pieces sent> <pieces dropped>, EVENT <event>
// <peer id hex>, RELAYIN <kind> <hops> <text> for each relay message that
// came. Reads STOP (or the end of stdin) to end.
#include "net/Winsock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "net/EventListener.h"
#include "net/PPNCore.h"
#include "net/PPNException.h"
#include "net/PortMapper.h"
#include "net/PpnEvents.h"
#include "net/PropertyMap.h"
#include "net/UHCore.h"
#include "vod/VodMessages.h"
#include "vod/VodUnits.h"
#include "tests/net/NoGateway.h"
#include "common/text/HexText.h"
#include "tests/tools/SayLine.h"
#include "tests/tools/ServeNode.h"
#include "tests/tools/CoreOptions.h"
#include "tests/tools/AddressText.h"

namespace {

struct Options {
    std::string hash;
    std::string file;
    int lossPercent = 0;
    bool refuse = false;
    bool haveLater = false;
    bool ask = false;
    bool relayInject = false;
    unsigned rateKbit = 8000;
};

class Seed : public ppn::EventListener {
public:
    Seed(ppn::PPNCore& core, const Options& options, const std::string& bytes)
        : m_core(core), m_options(options), m_bytes(bytes), m_random(12345),
          m_blocks(static_cast<std::uint32_t>((bytes.size() + kVodBlockSize - 1) / kVodBlockSize))
    {
        m_sender = boost::thread([this] { SendLoop(); });
    }

    ~Seed() override
    {
        {
            boost::mutex::scoped_lock lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_sender.join();
    }

    void OnEvent(const PeerId* peer, int event, int) override
    {
        Say("EVENT " + std::to_string(event) + " " + LowerHex(peer->bytes, PeerId::kSize));
        if (event == PPN_EVENT_CLOSED || event == PPN_EVENT_TIMEOUT) {
            boost::mutex::scoped_lock lock(m_mutex);
            m_peers.erase(*peer);
        }
    }

    void OnReceive(const PeerId* peer, int, const char* data, int length) override
    {
        VodMessage message;
        if (!ReadVodMessage(data, static_cast<std::uint32_t>(length), message))
            return;
        if (message.type == VOD_MSG_PIECE) {
            const std::uint64_t n = ++m_piecesIn;
            if (n == 1 || n % 100 == 0)
                Say("PIECES " + std::to_string(n));
        }
        if (message.type == VOD_MSG_RELAY)
            Say("RELAYIN " + std::to_string(message.relay.kind) + " " + std::to_string(message.relay.hops) + " " +
                message.relay.text);
        if (message.type == VOD_MSG_HELLO)
            OnHello(*peer, message.hello);
        else if (message.type == VOD_MSG_REQUEST)
            OnRequest(*peer, message.request);
    }

private:
    struct PeerState {
        std::deque<std::uint32_t> queue;
        std::uint32_t lastRequest = 0;
        std::uint32_t confirmed = 0;
        DWORD haveAt = 0;   // when to announce every block; 0: never
        DWORD askAt = 0;    // when to ask for block 0 next; 0: never
        DWORD relayAt = 0;  // when to send the relay script; 0: never
        std::uint32_t asked = 0;
    };

    void Send(const PeerId& peer, int type, const VodMessage& message)
    {
        nps::DefaultBlockBuffer buffer;
        PackVodMessage(message, buffer);
        try {
            m_core.Send(peer, type, buffer.data, static_cast<int>(buffer.size));
        } catch (const ppn::PPNException&) {
        }
    }

    void OnHello(const PeerId& peer, const VodHelloMsg& hello)
    {
        const bool accept = !m_options.refuse && hello.version == 1 && hello.hash == m_options.hash;
        Say("HELLO " + LowerHex(peer.bytes, PeerId::kSize) + (accept ? " ACCEPTED" : " REFUSED"));
        VodMessage reply;
        reply.type = VOD_MSG_HELLO_REPLY;
        if (accept) {
            reply.hello.flags = VodHelloMsg::kFlagAvailability | VodHelloMsg::kFlagAccepted;
            reply.hello.availability = m_options.haveLater ? VodHelloMsg::kHoldsNone : VodHelloMsg::kHoldsAll;
            boost::mutex::scoped_lock lock(m_mutex);
            m_peers[peer].haveAt = m_options.haveLater ? GetTickCount() + 1000 : 0;
            m_peers[peer].askAt = m_options.ask ? GetTickCount() + 500 : 0;
            m_peers[peer].relayAt = m_options.relayInject ? GetTickCount() + 1500 : 0;
        }
        Send(peer, PPN_CONN_SRUDP, reply);
    }

    void OnRequest(const PeerId& peer, const VodRequestMsg& request)
    {
        std::uint32_t count = 0;
        {
            boost::mutex::scoped_lock lock(m_mutex);
            auto it = m_peers.find(peer);
            if (it == m_peers.end())
                return;
            it->second.lastRequest = request.number;
            for (const auto& entry : request.blocks)
                for (std::size_t i = 0; i < entry.second.size(); ++i)
                    if (entry.second[i] && entry.first < m_blocks) {
                        it->second.queue.push_back(entry.first * kVodPiecesPerBlock + static_cast<std::uint32_t>(i));
                        ++count;
                    }
        }
        Say("REQUEST " + std::to_string(request.number) + " " + std::to_string(count));
        m_wake.notify_all();
    }

    // From origin "xxx..." unless said: kind 1 "one" (seq 1, hop 1), kind 1
    // "repeat" (seq 1 again), kind 1 "self" (the engine's own id as origin),
    // kind 2 "nofwd" (seq 2, hop 1), kind 2 "fwd" (seq 3, hop 2), kind 1
    // "end" (seq 4, hop 1).
    static std::vector<VodMessage> RelayScript(const PeerId& engine)
    {
        const PeerId other = PeerId::FromBytes("xxxxxxxxxxxxxxxxxxxx", 20);
        const struct {
            const PeerId* origin;
            std::uint32_t sequence;
            std::uint8_t kind;
            std::uint8_t hops;
            const char* text;
        } script[] = {{&other, 1, 1, 1, "one"},  {&other, 1, 1, 5, "repeat"}, {&engine, 5, 1, 5, "self"},
                      {&other, 2, 2, 1, "nofwd"}, {&other, 3, 2, 2, "fwd"},   {&other, 4, 1, 1, "end"}};
        std::vector<VodMessage> messages;
        for (const auto& line : script) {
            VodMessage message;
            message.type = VOD_MSG_RELAY;
            message.relay.origin = *line.origin;
            message.relay.sequence = line.sequence;
            message.relay.kind = line.kind;
            message.relay.hops = line.hops;
            message.relay.text = line.text;
            messages.push_back(message);
        }
        return messages;
    }

    // Every 5 ms: the pieces the rate allows, one peer after the other.
    void SendLoop()
    {
        const double perTick = m_options.rateKbit * 5.0 / 6400.0;
        double credit = 0;
        std::uniform_int_distribution<int> percent(0, 99);
        std::uint64_t sent = 0, dropped = 0, reported = 0;
        for (;;) {
            std::vector<std::pair<PeerId, VodMessage>> out;
            {
                boost::mutex::scoped_lock lock(m_mutex);
                m_wake.timed_wait(lock, boost::posix_time::milliseconds(5));
                if (m_stop)
                    return;
                credit = std::min(credit + perTick, perTick * 4);
                for (auto& entry : m_peers) {
                    PeerState& state = entry.second;
                    if (state.haveAt != 0 && static_cast<LONG>(GetTickCount() - state.haveAt) >= 0) {
                        state.haveAt = 0;
                        VodMessage have;
                        have.type = VOD_MSG_HAVE;
                        for (std::uint32_t b = 0; b < m_blocks; ++b)
                            have.have[b] = 1;
                        out.emplace_back(entry.first, have);
                    }
                    if (state.relayAt != 0 && static_cast<LONG>(GetTickCount() - state.relayAt) >= 0) {
                        state.relayAt = 0;
                        for (const VodMessage& relay : RelayScript(entry.first))
                            out.emplace_back(entry.first, relay);
                    }
                    if (state.askAt != 0 && static_cast<LONG>(GetTickCount() - state.askAt) >= 0) {
                        state.askAt += 1000;
                        VodMessage request;
                        request.type = VOD_MSG_REQUEST;
                        request.request.number = ++state.asked;
                        request.request.blocks[0].resize(kVodPiecesPerBlock, true);
                        out.emplace_back(entry.first, request);
                    }
                    while (!state.queue.empty() && credit >= 1) {
                        const std::uint32_t piece = state.queue.front();
                        state.queue.pop_front();
                        credit -= 1;
                        if (percent(m_random) < m_options.lossPercent) {
                            ++dropped;
                            continue;
                        }
                        const std::size_t at = std::size_t(piece) * kVodPieceSize;
                        if (at >= m_bytes.size())
                            continue;
                        VodMessage message;
                        message.type = VOD_MSG_PIECE;
                        message.piece.piece = piece;
                        message.piece.queued = static_cast<std::uint16_t>(std::min<std::size_t>(state.queue.size(), 0xFFFF));
                        message.piece.rate = static_cast<std::uint16_t>(m_options.rateKbit);
                        message.piece.data = {m_bytes.data() + at, static_cast<std::uint32_t>(
                                                                       std::min<std::size_t>(kVodPieceSize, m_bytes.size() - at))};
                        out.emplace_back(entry.first, message);
                        ++sent;
                    }
                    if (state.queue.empty() && state.lastRequest > state.confirmed) {
                        state.confirmed = state.lastRequest;
                        VodMessage done;
                        done.type = VOD_MSG_DONE;
                        done.done = state.confirmed;
                        out.emplace_back(entry.first, done);
                    }
                }
            }
            for (const auto& item : out)
                Send(item.first,
                     item.second.type == VOD_MSG_PIECE || item.second.type == VOD_MSG_RELAY ? PPN_CONN_SUDT
                                                                                              : PPN_CONN_SRUDP,
                     item.second);
            if (sent + dropped != reported && out.empty()) {
                reported = sent + dropped;
                Say("SENT " + std::to_string(sent) + " " + std::to_string(dropped));
            }
        }
    }

    ppn::PPNCore& m_core;
    const Options m_options;
    const std::string& m_bytes;
    std::mt19937 m_random;
    const std::uint32_t m_blocks;
    boost::mutex m_mutex;
    boost::condition_variable m_wake;
    bool m_stop = false;
    std::map<PeerId, PeerState, PeerIdLess> m_peers;
    std::atomic<std::uint64_t> m_piecesIn{0};
    boost::thread m_sender;
};

int Usage()
{
    std::fprintf(stderr, "usage: vodseed --nat HOST:PORT --file PATH --hash HASH [--loss PERCENT] [--refuse] "
                         "[--have-later] [--ask] [--relay-inject] [--rate KBIT/S]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    PropertyMap properties;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--refuse") {
            options.refuse = true;
            continue;
        }
        if (option == "--have-later") {
            options.haveLater = true;
            continue;
        }
        if (option == "--ask") {
            options.ask = true;
            continue;
        }
        if (option == "--relay-inject") {
            options.relayInject = true;
            continue;
        }
        if (i + 1 >= argc)
            return Usage();
        const std::string value = argv[++i];
        if (option == "--nat") {
            if (!ReadNatOption(value, properties))
                return Usage();
        } else if (option == "--file") {
            options.file = value;
        } else if (option == "--hash") {
            options.hash = value;
        } else if (option == "--loss") {
            options.lossPercent = std::atoi(value.c_str());
        } else if (option == "--rate") {
            options.rateKbit = static_cast<unsigned>(std::max(1, std::atoi(value.c_str())));
        } else {
            return Usage();
        }
    }
    std::string bytes;
    if (FILE* f = std::fopen(options.file.c_str(), "rb")) {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    } else {
        Say("ERROR cannot read " + options.file);
        return 1;
    }
    properties[PPN_PROP_LOGIN_INTERVAL] = "100";
    properties[PPN_PROP_LOGOUT_INTERVAL] = "100";
    nettest::UseNoGateway();
    ppn::PPNCore core;
    int result = 0;
    {
        Seed seed(core, options, bytes);
        result = ServeUntilStop(core, properties, seed);
    }
    Say("STOPPED");
    return result;
}
