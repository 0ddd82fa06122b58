// livesource: the source node of a live channel for tests, on a network core
// of its own. It speaks the live peer messages through a codec of its own
// (below), so a fault in the engine's codec cannot hide behind the same
// fault here.
//
// usage: livesource --nat HOST:PORT --pieces FILE --cid N
//                   [--released N] [--every MS] [--rate KBIT] [--false-rate KBIT]
//                   [--drop PERCENT] [--refuse] [--withhold-header]
//                   [--change-header-at PIECE]
//
//   The piece file comes from tests/tools/livepieces.py. --released pieces
//   (default 40) are out at the start; one more every --every ms (default
//   1000) until the file ends. Blocks leave at --rate kbit/s (default 3000);
//   --false-rate is what the block messages claim instead; --drop drops that
//   share of blocks; --refuse refuses every hello; --withhold-header never
//   sends the stream header; --change-header-at gives pieces from that number
//   on header id + 1 (same bytes with another title).
//
// Prints: ADDRESS <packed address hex> once logged in; NEWEST <piece> at the
// start and at each release; HELLO <peer hex> ACCEPTED|REFUSED; HEADER <id>
// for each header sent; BLOCKS <sent> <dropped> every 500 blocks; EVENT <n>
// <peer hex>; RELAYIN <kind> <hops> <text>. Reads STOP on stdin.
#include "net/Winsock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "net/EventListener.h"
#include "net/PPNCore.h"
#include "net/PPNException.h"
#include "net/PpnEvents.h"
#include "tests/net/NoGateway.h"
#include "tests/tools/AddressText.h"
#include "tests/tools/CoreOptions.h"
#include "tests/tools/SayLine.h"
#include "tests/tools/ServeNode.h"

namespace {

const std::uint32_t kBlock = 768;

// ---------------------------------------------------------------- codec
//
// Integers little-endian; bit field = u32 bit count, u32 byte count, bytes
// (bit i is bit i mod 8 of byte i div 8); varstr = u16 length + bytes,
// varstr32 = u32 length + bytes; maps and sets = u32 count + ascending
// entries.
//
//   0x20/0x21 hello   u8 version 1, u8 kind, u8 flags, u8 peer type, u64 channel,
//                     [flags bit 0: u32 start, bit field, set of u32 header ids]
//   0x23 have         map u32 -> u8, u32 start, map u32 -> u32 length
//   0x24 info request set of u32 pieces       0x25 info: map u32 -> u32 length
//   0x26 request      u64 number, map u32 -> bit field, u8 loss, u8 loss 2
//   0x27 block        u32 piece, u16 block, u16 queued, u16 kbit, varstr data
//   0x28 header req   u32 id   0x29 header: u32 id, u8 present, varstr32 bytes
//   0x2B relay        varstr origin, u32 seq, u8 kind, u8 hops, varstr text
//   0x2C done         u64 request number

struct Writer {
    std::string bytes;
    void U8(std::uint32_t v) { bytes += static_cast<char>(v & 0xFF); }
    void U16(std::uint32_t v) { U8(v), U8(v >> 8); }
    void U32(std::uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
    void U64(std::uint64_t v) { U32(static_cast<std::uint32_t>(v)), U32(static_cast<std::uint32_t>(v >> 32)); }
    void Raw(const std::string& b) { bytes += b; }
};

struct Reader {
    const unsigned char* at;
    const unsigned char* end;
    bool ok = true;
    bool Need(std::size_t n)
    {
        if (!ok || static_cast<std::size_t>(end - at) < n)
            ok = false;
        return ok;
    }
    std::uint64_t Le(int n)
    {
        if (!Need(static_cast<std::size_t>(n)))
            return 0;
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | at[i];
        at += n;
        return v;
    }
    std::uint32_t U8() { return static_cast<std::uint32_t>(Le(1)); }
    std::uint32_t U16() { return static_cast<std::uint32_t>(Le(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Le(4)); }
    std::uint64_t U64() { return Le(8); }
    std::string Bytes(std::size_t n)
    {
        if (!Need(n))
            return std::string();
        std::string s(reinterpret_cast<const char*>(at), n);
        at += n;
        return s;
    }
};

// ---------------------------------------------------------------- channel

struct Options {
    std::string pieces;
    std::uint64_t cid = 0;
    std::uint32_t released = 40;
    unsigned everyMs = 1000;
    unsigned rateKbit = 3000;
    int falseRateKbit = -1;
    int dropPercent = 0;
    bool refuse = false;
    bool withholdHeader = false;
    std::uint32_t changeHeaderAt = 0;
};

struct Channel {
    std::uint32_t first = 0;
    std::uint32_t headerId = 0;
    std::string header;
    std::vector<std::string> pieces;
};

bool ReadChannel(const std::string& path, Channel& channel)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    std::string data;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        data.append(buffer, n);
    std::fclose(f);
    Reader r{reinterpret_cast<const unsigned char*>(data.data()),
             reinterpret_cast<const unsigned char*>(data.data()) + data.size()};
    if (r.Bytes(4) != "LPCF")
        return false;
    channel.first = r.U32();
    const std::uint32_t count = r.U32();
    channel.headerId = r.U32();
    channel.header = r.Bytes(r.U32());
    for (std::uint32_t i = 0; i < count && r.ok; ++i)
        channel.pieces.push_back(r.Bytes(r.U32()));
    return r.ok && !channel.pieces.empty();
}

class Source : public ppn::EventListener {
public:
    Source(ppn::PPNCore& core, const Options& options, Channel& channel)
        : m_core(core), m_options(options), m_channel(channel), m_random(777)
    {
        m_released = std::min<std::uint32_t>(options.released, static_cast<std::uint32_t>(channel.pieces.size()));
        if (options.changeHeaderAt != 0)
            m_otherHeader = OtherHeader(channel.header);
        Say("NEWEST " + std::to_string(Newest()));
        m_worker = boost::thread([this] { Run(); });
    }

    ~Source() override
    {
        {
            boost::mutex::scoped_lock lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_worker.join();
    }

    void OnEvent(const PeerId* peer, int event, int) override
    {
        Say("EVENT " + std::to_string(event) + " " + LowerHex(peer->bytes, PeerId::kSize));
        if (event == PPN_EVENT_CLOSED || event == PPN_EVENT_TIMEOUT || event == PPN_EVENT_ACCEPTED) {
            boost::mutex::scoped_lock lock(m_mutex);
            m_peers.erase(*peer);
        }
    }

    void OnReceive(const PeerId* peer, int, const char* data, int length) override
    {
        Reader r{reinterpret_cast<const unsigned char*>(data), reinterpret_cast<const unsigned char*>(data) + length};
        const std::uint32_t type = r.U8();
        switch (type) {
        case 0x20:
            OnHello(*peer, r);
            break;
        case 0x24:
            OnInfoRequest(*peer, r);
            break;
        case 0x26:
            OnRequest(*peer, r);
            break;
        case 0x28:
            OnHeaderRequest(*peer, r.U32(), r.ok);
            break;
        case 0x2B: {
            r.Bytes(r.U16());
            r.U32();
            const std::uint32_t kind = r.U8(), hops = r.U8();
            const std::string text = r.Bytes(r.U16());
            if (r.ok)
                Say("RELAYIN " + std::to_string(kind) + " " + std::to_string(hops) + " " + text);
            break;
        }
        default:
            break;
        }
    }

private:
    struct PeerState {
        bool accepted = false;
        std::deque<std::pair<std::uint32_t, std::uint32_t>> queue;   // piece, block
        std::uint64_t lastRequest = 0;
        std::uint64_t lastDone = 0;
    };

    std::uint32_t Newest() const { return m_channel.first + m_released - 1; }

    static std::string OtherHeader(const std::string& header)
    {
        // Same player header under another title.
        Writer w;
        w.Raw(header.substr(0, 8));
        const std::string title = "Next programme";
        w.U16(static_cast<std::uint32_t>(title.size()));
        w.Raw(title);
        const std::uint32_t oldTitle = static_cast<unsigned char>(header[8]) | (static_cast<unsigned char>(header[9]) << 8);
        w.Raw(header.substr(10 + oldTitle));
        return w.bytes;
    }

    // The piece's bytes as sent: its header id raised past the change.
    std::string PieceBytes(std::uint32_t piece) const
    {
        std::string bytes = m_channel.pieces[piece - m_channel.first];
        if (m_options.changeHeaderAt != 0 && piece >= m_options.changeHeaderAt) {
            Writer w;
            w.U32(m_channel.headerId + 1);
            bytes.replace(0, 4, w.bytes);
        }
        return bytes;
    }

    bool Held(std::uint32_t piece) const { return piece >= m_channel.first && piece <= Newest(); }

    void Send(const PeerId& peer, int transport, const std::string& bytes)
    {
        try {
            m_core.Send(peer, transport, bytes.data(), static_cast<int>(bytes.size()));
        } catch (const ppn::PPNException&) {
        }
    }

    void HeaderIds(Writer& w)
    {
        std::set<std::uint32_t> ids;
        if (!m_options.withholdHeader) {
            ids.insert(m_channel.headerId);
            if (m_options.changeHeaderAt != 0 && Newest() >= m_options.changeHeaderAt)
                ids.insert(m_channel.headerId + 1);
        }
        w.U32(static_cast<std::uint32_t>(ids.size()));
        for (std::uint32_t id : ids)
            w.U32(id);
    }

    void OnHello(const PeerId& peer, Reader& r)
    {
        r.U8();
        r.U8();
        r.U8();
        r.U8();
        const std::uint64_t channel = r.U64();
        const bool accept = r.ok && !m_options.refuse && channel == m_options.cid;
        Say("HELLO " + LowerHex(peer.bytes, PeerId::kSize) + (accept ? " ACCEPTED" : " REFUSED"));
        Writer w;
        w.U8(0x21);
        w.U8(1);
        w.U8(0x21);
        boost::mutex::scoped_lock lock(m_mutex);
        if (!accept) {
            w.U8(0);
            w.U8(1);
            w.U64(channel);
        } else {
            m_peers[peer].accepted = true;
            w.U8(3);
            w.U8(1);
            w.U64(channel);
            w.U32(m_channel.first);
            w.U32(m_released);
            const std::uint32_t bytes = (m_released + 7) / 8;
            w.U32(bytes);
            std::string field(bytes, '\0');
            for (std::uint32_t i = 0; i < m_released; ++i)
                field[i / 8] = static_cast<char>(field[i / 8] | (1 << (i % 8)));
            w.Raw(field);
            HeaderIds(w);
        }
        lock.unlock();
        Send(peer, PPN_CONN_SRUDP, w.bytes);
    }

    void OnInfoRequest(const PeerId& peer, Reader& r)
    {
        std::map<std::uint32_t, std::uint32_t> lengths;
        const std::uint32_t count = r.U32();
        boost::mutex::scoped_lock lock(m_mutex);
        for (std::uint32_t i = 0; i < count && r.ok; ++i) {
            const std::uint32_t piece = r.U32();
            if (r.ok && Held(piece))
                lengths[piece] = static_cast<std::uint32_t>(m_channel.pieces[piece - m_channel.first].size());
        }
        lock.unlock();
        if (lengths.empty())
            return;
        Writer w;
        w.U8(0x25);
        w.U32(static_cast<std::uint32_t>(lengths.size()));
        for (const auto& entry : lengths)
            w.U32(entry.first), w.U32(entry.second);
        Send(peer, PPN_CONN_SRUDP, w.bytes);
    }

    void OnRequest(const PeerId& peer, Reader& r)
    {
        const std::uint64_t number = r.U64();
        const std::uint32_t count = r.U32();
        std::vector<std::pair<std::uint32_t, std::uint32_t>> blocks;
        for (std::uint32_t i = 0; i < count && r.ok; ++i) {
            const std::uint32_t piece = r.U32();
            const std::uint32_t bits = r.U32();
            const std::string field = r.Bytes(r.U32());
            for (std::uint32_t b = 0; r.ok && b < bits && b / 8 < field.size(); ++b)
                if (field[b / 8] & (1 << (b % 8)))
                    blocks.push_back({piece, b});
        }
        if (!r.ok)
            return;
        boost::mutex::scoped_lock lock(m_mutex);
        auto it = m_peers.find(peer);
        if (it == m_peers.end() || !it->second.accepted)
            return;
        it->second.lastRequest = number;
        for (const auto& block : blocks)
            if (Held(block.first))
                it->second.queue.push_back(block);
        m_wake.notify_all();
    }

    void OnHeaderRequest(const PeerId& peer, std::uint32_t id, bool ok)
    {
        if (!ok || m_options.withholdHeader)
            return;
        const bool other = m_options.changeHeaderAt != 0 && id == m_channel.headerId + 1;
        if (id != m_channel.headerId && !other)
            return;
        const std::string& header = other ? m_otherHeader : m_channel.header;
        Writer w;
        w.U8(0x29);
        w.U32(id);
        w.U8(1);
        w.U32(static_cast<std::uint32_t>(header.size()));
        w.Raw(header);
        Say("HEADER " + std::to_string(id));
        Send(peer, PPN_CONN_SRUDP, w.bytes);
    }

    // Releases pieces on time and sends the queued blocks at the rate.
    void Run()
    {
        const DWORD begin = GetTickCount();
        DWORD nextRelease = begin + m_options.everyMs;
        double budget = 0;
        DWORD last = begin;
        boost::mutex::scoped_lock lock(m_mutex);
        while (!m_stop) {
            const DWORD now = GetTickCount();
            if (static_cast<std::int32_t>(now - nextRelease) >= 0 && m_released < m_channel.pieces.size()) {
                ++m_released;
                nextRelease += m_options.everyMs;
                Announce(lock);
            }
            budget = std::min(budget + (now - last) * (m_options.rateKbit * 1000.0 / 8 / 1000.0), 64.0 * kBlock);
            last = now;
            bool sent = false;
            for (auto& entry : m_peers) {
                PeerState& state = entry.second;
                if (state.queue.empty()) {
                    if (state.lastRequest > state.lastDone) {
                        state.lastDone = state.lastRequest;
                        Writer w;
                        w.U8(0x2C);
                        w.U64(state.lastDone);
                        const PeerId peer = entry.first;
                        lock.unlock();
                        Send(peer, PPN_CONN_SRUDP, w.bytes);
                        lock.lock();
                        break;   // the table may have changed
                    }
                    continue;
                }
                if (budget < kBlock)
                    continue;
                const auto block = state.queue.front();
                state.queue.pop_front();
                budget -= kBlock;
                sent = true;
                if (m_options.dropPercent > 0 && int(m_random() % 100) < m_options.dropPercent) {
                    Count(false);
                    continue;
                }
                const std::string piece = PieceBytes(block.first);
                const std::size_t at = std::size_t(block.second) * kBlock;
                if (at >= piece.size())
                    continue;
                const std::string data = piece.substr(at, kBlock);
                Writer w;
                w.U8(0x27);
                w.U32(block.first);
                w.U16(block.second);
                w.U16(static_cast<std::uint32_t>(std::min<std::size_t>(state.queue.size(), 65535)));
                w.U16(static_cast<std::uint32_t>(m_options.falseRateKbit >= 0 ? m_options.falseRateKbit
                                                                               : m_options.rateKbit));
                w.U16(static_cast<std::uint32_t>(data.size()));
                w.Raw(data);
                const PeerId peer = entry.first;
                lock.unlock();
                Send(peer, PPN_CONN_SUDT, w.bytes);
                lock.lock();
                Count(true);
                break;   // the table may have changed; start over
            }
            if (!sent)
                m_wake.timed_wait(lock, boost::posix_time::milliseconds(5));
        }
    }

    void Count(bool sent)
    {
        (sent ? m_sent : m_dropped)++;
        if ((m_sent + m_dropped) % 500 == 0)
            Say("BLOCKS " + std::to_string(m_sent) + " " + std::to_string(m_dropped));
    }

    // A HAVE of the newest piece to every accepted peer.
    void Announce(boost::mutex::scoped_lock& lock)
    {
        const std::uint32_t newest = Newest();
        Say("NEWEST " + std::to_string(newest));
        Writer w;
        w.U8(0x23);
        w.U32(1);
        w.U32(newest);
        w.U8(1);
        w.U32(m_channel.first);
        w.U32(1);
        w.U32(newest);
        w.U32(static_cast<std::uint32_t>(m_channel.pieces[newest - m_channel.first].size()));
        std::vector<PeerId> peers;
        for (const auto& entry : m_peers)
            if (entry.second.accepted)
                peers.push_back(entry.first);
        lock.unlock();
        for (const PeerId& peer : peers)
            Send(peer, PPN_CONN_SRUDP, w.bytes);
        lock.lock();
    }

    ppn::PPNCore& m_core;
    const Options m_options;
    Channel& m_channel;
    std::string m_otherHeader;
    std::mt19937 m_random;
    boost::mutex m_mutex;   // guards everything below
    boost::condition_variable m_wake;
    std::map<PeerId, PeerState, PeerIdLess> m_peers;
    std::uint32_t m_released = 0;
    std::uint64_t m_sent = 0;
    std::uint64_t m_dropped = 0;
    bool m_stop = false;
    boost::thread m_worker;
};

int Usage()
{
    std::fprintf(stderr, "usage: livesource --nat HOST:PORT --pieces FILE --cid N [--released N] [--every MS] "
                         "[--rate KBIT] [--false-rate KBIT] [--drop PERCENT] [--refuse] [--withhold-header] "
                         "[--change-header-at PIECE]\n");
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
        if (option == "--withhold-header") {
            options.withholdHeader = true;
            continue;
        }
        if (i + 1 >= argc)
            return Usage();
        const std::string value = argv[++i];
        const unsigned long number = std::strtoul(value.c_str(), nullptr, 10);
        if (option == "--nat") {
            if (!ReadNatOption(value, properties))
                return Usage();
        } else if (option == "--pieces") {
            options.pieces = value;
        } else if (option == "--cid") {
            options.cid = std::strtoull(value.c_str(), nullptr, 10);
        } else if (option == "--released") {
            options.released = static_cast<std::uint32_t>(std::max(1ul, number));
        } else if (option == "--every") {
            options.everyMs = static_cast<unsigned>(std::max(1ul, number));
        } else if (option == "--rate") {
            options.rateKbit = static_cast<unsigned>(std::max(1ul, number));
        } else if (option == "--false-rate") {
            options.falseRateKbit = static_cast<int>(number);
        } else if (option == "--drop") {
            options.dropPercent = static_cast<int>(number);
        } else if (option == "--change-header-at") {
            options.changeHeaderAt = static_cast<std::uint32_t>(number);
        } else {
            return Usage();
        }
    }
    Channel channel;
    if (!ReadChannel(options.pieces, channel)) {
        Say("ERROR cannot read " + options.pieces);
        return 1;
    }
    properties[PPN_PROP_LOGIN_INTERVAL] = "100";
    properties[PPN_PROP_LOGOUT_INTERVAL] = "100";
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    nettest::UseNoGateway();
    ppn::PPNCore core;
    int result = 0;
    {
        Source source(core, options, channel);
        result = ServeUntilStop(core, properties, source);
    }
    Say("STOPPED");
    return result;
}
