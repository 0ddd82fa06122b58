#pragma once

// A scripted requester of the video-on-demand peer protocol: a network core
// of its own that connects to a seeder, and an encoder and decoder of the
// peer messages written byte by byte from the protocol's tables (not the
// product's codec), so that the two are checked against each other.
//
//   hello        01 | u8 version | u8 form | u8 flags | [str16 hash | str16 name]
//                   | [u8 availability | [u32 bits | u32 bytes | bytes]]
//   hello reply  02 | the same body
//   request      03 | u32 number | u32 N | N x (u32 block | u32 bits | u32 bytes | bytes)
//                   | u8 loss percent | u8 second ratio
//   piece        04 | u32 piece | u16 queued | u16 kbit/s | str16 bytes
//   done         05 | u32 last request number
//
// Integers are little-endian; str16 is a u16 length and the bytes; bit i of
// a field is bit i mod 8 of byte i / 8.
#include "net/Winsock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include "net/EventListener.h"
#include "net/PPNCore.h"
#include "net/PeerAddress.h"
#include "net/PropertyMap.h"

namespace vodwire {

std::string Hello(std::uint8_t version, const std::string& hash, const std::string& name);
// One block's field of `bits` bits with the given bits set.
std::string Request(std::uint32_t number, std::uint32_t block, std::uint32_t bits,
                    const std::vector<std::uint32_t>& set, std::uint8_t loss);
// A request for every piece (48 bits) of each block.
std::string RequestBlocks(std::uint32_t number, const std::vector<std::uint32_t>& blocks,
                          std::uint8_t loss);

struct Piece {
    std::uint32_t piece;
    std::uint16_t queued;
    std::uint16_t rate;
    std::string bytes;
};

}  // namespace vodwire

// Records what the seeder sends, in order of arrival.
class VodRequester : public ppn::EventListener {
public:
    struct Done {
        std::uint32_t number;
        std::size_t piecesBefore;  // pieces received when it arrived
    };

    explicit VodRequester(const PropertyMap& properties);
    ~VodRequester() override;

    // Starts the core and waits (bounded) for its login.
    bool Start(int waitMs);
    // Connects reliably and waits (bounded) for the connection.
    bool Connect(const PeerAddress& seeder, int waitMs);
    void Close();
    bool Send(const std::string& message);

    void OnEvent(const PeerId* peer, int event, int type) override;
    void OnReceive(const PeerId* peer, int type, const char* data, int length) override;

    // Waits at most ms for the condition, checked whenever something arrives,
    // with the requester's lock held: it must not call the requester.
    bool WaitFor(const std::function<bool()>& done, int ms);
    bool WaitDone(std::uint32_t number, int ms);
    bool WaitHelloReplies(std::size_t n, int ms);
    bool WaitPieces(std::size_t n, int ms);

    std::vector<std::string> HelloReplies();
    std::vector<vodwire::Piece> Pieces();
    std::vector<Done> Dones();
    std::size_t PieceCount();
    int Events(int event);
    std::size_t Malformed();

    ppn::PPNCore& Core() { return m_core; }

    // From now on pieces are checked as they arrive and not kept (for long
    // runs); Pieces() stays empty, PieceCount() and BadPieces() count.
    void CheckPieces(const std::function<bool(const vodwire::Piece&)>& check);
    std::size_t BadPieces();

private:
    void AddPiece(const vodwire::Piece& piece);
    void AddDone(std::uint32_t number);

    ppn::PPNCore m_core;
    PropertyMap m_properties;
    PeerId m_seeder;
    boost::mutex m_lock;
    boost::condition_variable m_changed;
    std::vector<std::string> m_helloReplies;
    std::vector<vodwire::Piece> m_pieces;
    std::vector<Done> m_dones;
    std::set<std::uint32_t> m_doneNumbers;
    std::function<bool(const vodwire::Piece&)> m_check;
    std::size_t m_pieceCount = 0;
    std::size_t m_badPieces = 0;
    std::map<int, int> m_events;
    std::size_t m_malformed = 0;
};
