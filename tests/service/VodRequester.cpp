#include "tests/service/VodRequester.h"

#include "net/PPNException.h"
#include "net/PpnEvents.h"

namespace vodwire {

namespace {

void U8(std::string& out, std::uint32_t v) { out += static_cast<char>(v & 0xFF); }
void U16(std::string& out, std::uint32_t v) {
    U8(out, v);
    U8(out, v >> 8);
}
void U32(std::string& out, std::uint32_t v) {
    U16(out, v & 0xFFFF);
    U16(out, v >> 16);
}
void Str16(std::string& out, const std::string& s) {
    U16(out, static_cast<std::uint32_t>(s.size()));
    out += s;
}

std::string Field(std::uint32_t bits, const std::vector<std::uint32_t>& set) {
    std::string bytes((bits + 7) / 8, '\0');
    for (std::uint32_t i : set)
        if (i < bits)
            bytes[i / 8] = static_cast<char>(bytes[i / 8] | (1 << (i % 8)));
    std::string out;
    U32(out, bits);
    U32(out, static_cast<std::uint32_t>(bytes.size()));
    return out + bytes;
}

// Reads little-endian integers; any read past the end marks it bad.
struct Reader {
    const unsigned char* p;
    std::size_t left;
    bool bad = false;

    std::uint32_t Take(int n) {
        if (left < static_cast<std::size_t>(n)) {
            bad = true;
            left = 0;
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
        p += n;
        left -= n;
        return v;
    }
    std::string Bytes(std::size_t n) {
        if (left < n) {
            bad = true;
            left = 0;
            return std::string();
        }
        std::string s(reinterpret_cast<const char*>(p), n);
        p += n;
        left -= n;
        return s;
    }
};

}  // namespace

std::string Hello(std::uint8_t version, const std::string& hash, const std::string& name) {
    std::string out;
    U8(out, 1);
    U8(out, version);
    U8(out, 1);  // form: the two strings follow
    U8(out, 1);  // flags: availability follows
    Str16(out, hash);
    Str16(out, name);
    U8(out, 1);  // holds no block
    return out;
}

std::string Request(std::uint32_t number, std::uint32_t block, std::uint32_t bits,
                    const std::vector<std::uint32_t>& set, std::uint8_t loss) {
    std::string out;
    U8(out, 3);
    U32(out, number);
    U32(out, 1);
    U32(out, block);
    out += Field(bits, set);
    U8(out, loss);
    U8(out, 0);
    return out;
}

std::string RequestBlocks(std::uint32_t number, const std::vector<std::uint32_t>& blocks,
                          std::uint8_t loss) {
    std::vector<std::uint32_t> all;
    for (std::uint32_t i = 0; i < 48; ++i)
        all.push_back(i);
    std::string out;
    U8(out, 3);
    U32(out, number);
    U32(out, static_cast<std::uint32_t>(blocks.size()));
    for (std::uint32_t block : blocks) {  // the caller lists them in ascending order
        U32(out, block);
        out += Field(48, all);
    }
    U8(out, loss);
    U8(out, 0);
    return out;
}

bool ReadPiece(const char* data, int length, Piece& piece) {
    Reader r{reinterpret_cast<const unsigned char*>(data), static_cast<std::size_t>(length)};
    if (r.Take(1) != 4)
        return false;
    piece.piece = r.Take(4);
    piece.queued = static_cast<std::uint16_t>(r.Take(2));
    piece.rate = static_cast<std::uint16_t>(r.Take(2));
    piece.bytes = r.Bytes(r.Take(2));
    return !r.bad && r.left == 0;
}

bool ReadDone(const char* data, int length, std::uint32_t& number) {
    Reader r{reinterpret_cast<const unsigned char*>(data), static_cast<std::size_t>(length)};
    const bool typed = r.Take(1) == 5;
    number = r.Take(4);
    return typed && !r.bad && r.left == 0;
}

}  // namespace vodwire

VodRequester::VodRequester(const PropertyMap& properties) : m_properties(properties) {
    std::memset(m_seeder.bytes, 0, PeerId::kSize);
}

VodRequester::~VodRequester() {
    m_core.RemoveListener(this);
    try {
        m_core.Stop();
    } catch (const ppn::PPNException&) {
    }
}

bool VodRequester::Start(int waitMs) {
    m_core.SetProperties(m_properties);
    m_core.AddListener(this);
    m_core.StartListen(0);
    // The facade offers no wait for the login: ask until it answers.
    const DWORD deadline = GetTickCount() + waitMs;
    for (;;) {
        try {
            PeerAddress own;
            m_core.GetLocalAddress(own, true);
            return true;
        } catch (const ppn::PPNException&) {
            if (GetTickCount() > deadline)
                return false;
            Sleep(10);
        }
    }
}

bool VodRequester::Connect(const PeerAddress& seeder, int waitMs) {
    const int before = Events(PPN_EVENT_CONNECTED);
    m_seeder = seeder.id;
    m_core.ConnectTo(seeder, PPN_CONN_SRUDP);
    return WaitFor([&] { return m_events[PPN_EVENT_CONNECTED] > before; }, waitMs);
}

void VodRequester::Close() {
    try {
        m_core.Close(m_seeder, PPN_CONN_SRUDP);
    } catch (const ppn::PPNException&) {
    }
}

bool VodRequester::Send(const std::string& message) {
    try {
        m_core.Send(m_seeder, PPN_CONN_SRUDP, message.data(), static_cast<int>(message.size()));
        return true;
    } catch (const ppn::PPNException&) {
        return false;
    }
}

void VodRequester::OnEvent(const PeerId*, int event, int) {
    boost::mutex::scoped_lock lock(m_lock);
    ++m_events[event];
    m_changed.notify_all();
}

void VodRequester::OnReceive(const PeerId*, int, const char* data, int length) {
    boost::mutex::scoped_lock lock(m_lock);
    vodwire::Piece piece;
    std::uint32_t done = 0;
    if (length > 0 && data[0] == 2)
        m_helloReplies.push_back(std::string(data, length));
    else if (vodwire::ReadPiece(data, length, piece))
        AddPiece(piece);
    else if (vodwire::ReadDone(data, length, done))
        AddDone(done);
    else
        ++m_malformed;
    m_changed.notify_all();
}

// Called with the lock held.
void VodRequester::AddPiece(const vodwire::Piece& piece) {
    ++m_pieceCount;
    if (!m_check)
        m_pieces.push_back(piece);
    else if (!m_check(piece))
        ++m_badPieces;
}

// Called with the lock held.
void VodRequester::AddDone(std::uint32_t number) {
    m_doneNumbers.insert(number);
    if (!m_check)
        m_dones.push_back(Done{number, m_pieceCount});
}

void VodRequester::CheckPieces(const std::function<bool(const vodwire::Piece&)>& check) {
    boost::mutex::scoped_lock lock(m_lock);
    m_check = check;
}

std::size_t VodRequester::BadPieces() {
    boost::mutex::scoped_lock lock(m_lock);
    return m_badPieces;
}

bool VodRequester::WaitFor(const std::function<bool()>& done, int ms) {
    boost::mutex::scoped_lock lock(m_lock);
    return m_changed.wait_for(lock, boost::chrono::milliseconds(ms), done);
}

bool VodRequester::WaitDone(std::uint32_t number, int ms) {
    return WaitFor([&] { return m_doneNumbers.count(number) != 0; }, ms);
}

bool VodRequester::WaitHelloReplies(std::size_t n, int ms) {
    return WaitFor([&] { return m_helloReplies.size() >= n; }, ms);
}

bool VodRequester::WaitPieces(std::size_t n, int ms) {
    return WaitFor([&] { return m_pieceCount >= n; }, ms);
}

std::vector<std::string> VodRequester::HelloReplies() {
    boost::mutex::scoped_lock lock(m_lock);
    return m_helloReplies;
}

std::vector<vodwire::Piece> VodRequester::Pieces() {
    boost::mutex::scoped_lock lock(m_lock);
    return m_pieces;
}

std::vector<VodRequester::Done> VodRequester::Dones() {
    boost::mutex::scoped_lock lock(m_lock);
    return m_dones;
}

std::size_t VodRequester::PieceCount() {
    boost::mutex::scoped_lock lock(m_lock);
    return m_pieceCount;
}

int VodRequester::Events(int event) {
    boost::mutex::scoped_lock lock(m_lock);
    return m_events[event];
}

std::size_t VodRequester::Malformed() {
    boost::mutex::scoped_lock lock(m_lock);
    return m_malformed;
}
