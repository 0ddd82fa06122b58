// Received reliable-UDP datagrams: decoding, and what an established
// connection does with them. A decoded control message, acknowledgement or
// keepalive must encode back to its own bytes; whatever arrives, the
// connection keeps within its bounds.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/SrudpConnection.h"

namespace {

class NullIo : public srudp::ConnectionIo {
public:
    void SendDatagram(const char*, std::uint32_t) override {}
    void DeliverMessage(const char*, std::uint32_t length) override {
        if (length > srudp::SrudpConnection::kMaxMessageBytes)
            std::abort();
    }
};

const PeerId kOwn = PeerId::FromBytes("OWN.OWN.OWN.OWN.OWN.", 20);

void CheckRoundTrip(const SrudpMessage& m, const char* bytes, std::size_t size) {
    nps::DefaultBlockBuffer again;
    switch (m.code) {
    case SRUDP_ACK:
        EncodeSrudpAck(again, m.ack.cumulative, m.sender, m.ack.sequences);
        break;
    case SRUDP_KEEPALIVE:
        EncodeSrudpKeepalive(again, m.sender);
        break;
    case SRUDP_DATA:
        return;
    default:
        EncodeSrudpControl(again, m.control, m.header.version);
        break;
    }
    // The fields read must be the bytes sent; what follows them is ignored,
    // as are the keepalive's three spare bytes, and an acknowledgement list
    // of odd length loses its spare bytes.
    const std::size_t from = kPpnHeaderSize + (m.code == SRUDP_KEEPALIVE ? 4 : 0);
    if (again.size > size ||
        (m.code != SRUDP_ACK && std::memcmp(again.data + from, bytes + from, again.size - from)))
        std::abort();
}

}  // namespace

// The input is a run of datagrams, each preceded by a u16 length, fed to one
// established connection.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    srudp::SrudpConnection c(kOwn, kOwn, false, 0);
    NullIo io;
    SrudpControlMessage connect = {SRUDP_CONNECT, 10, 1, 0, 0, kOwn};
    c.OnControl(connect, PPN_VERSION, 0, io);
    c.Queue("queued", 6);
    srudp::Millis now = 0;
    while (size >= 2) {
        const std::size_t n = std::min<std::size_t>(size - 2, data[0] | (data[1] << 8));
        const char* bytes = reinterpret_cast<const char*>(data + 2);
        SrudpMessage m;
        if (n <= 1500 && DecodeSrudpMessage(bytes, static_cast<std::uint32_t>(n), m)) {
            CheckRoundTrip(m, bytes, n);
            now += 7;
            switch (m.code) {
            case SRUDP_DATA:
                c.OnData(m.data, now, io);
                break;
            case SRUDP_ACK:
                c.OnAck(m.ack, now);
                break;
            case SRUDP_KEEPALIVE:
                c.OnKeepalive(now);
                break;
            default:
                c.OnControl(m.control, m.header.version, now, io);
                break;
            }
            c.Sweep(now, io);
        }
        if (c.OutOfOrder() > srudp::SrudpConnection::kMaxOutOfOrder ||
            c.ReassemblyBytes() > srudp::SrudpConnection::kMaxMessageBytes)
            std::abort();
        data += 2 + n;
        size -= 2 + n;
    }
    return 0;
}
