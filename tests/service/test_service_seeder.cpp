// A seeder over pairs of the Python writer, driven by the scripted
// requester: hellos, pieces, done messages and corrupt blocks.
#include "tests/service/SeederTestBase.h"

#include <map>
#include <set>

#include "net/PpnEvents.h"
#include "service/PieceBufferPool.h"
#include "service/SeederSettings.h"

using seedtest::kWaitMs;
using vodwire::Hello;
using vodwire::Request;
using vodwire::RequestBlocks;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

const std::string kRefused = Bytes({2, 1, 2, 0});
// Accepted, availability as a field: 5 blocks, 0, 1, 3 and 4 held.
const std::string kAcceptedA = Bytes({2, 1, 2, 3, 3, 5, 0, 0, 0, 1, 0, 0, 0, 0x1B});
// Accepted, but nothing offered.
const std::string kAcceptedNone = Bytes({2, 1, 2, 3, 1});

std::vector<std::uint32_t> Range(std::uint32_t from, std::uint32_t to) {
    std::vector<std::uint32_t> v;
    for (std::uint32_t i = from; i < to; ++i)
        v.push_back(i);
    return v;
}

// The pieces received, by number; a piece received twice must match itself.
std::map<std::uint32_t, std::string> ByNumber(const std::vector<vodwire::Piece>& pieces) {
    std::map<std::uint32_t, std::string> out;
    for (const vodwire::Piece& p : pieces) {
        auto it = out.find(p.piece);
        if (it != out.end()) {
            EXPECT_EQ(it->second, p.bytes) << "piece " << p.piece << " twice, different";
        }
        out[p.piece] = p.bytes;
    }
    return out;
}

class SeederServing : public seedtest::SeederTest {};

TEST_F(SeederServing, HelloIsAcceptedOnlyForAHeldVideoOfVersionOne) {
    VodRequester& r = Connect(StartSeeder(0));

    const struct {
        std::uint8_t version;
        std::string hash;
        const std::string& reply;
    } cases[] = {
        {1, std::string(32, 'f'), kRefused},        // not cached
        {2, pairs::kA, kRefused},                   // another version
        {1, pairs::kA.substr(0, 30), kRefused},     // too short: zero hash
        {1, "", kRefused},
        {1, "A1A1A1A1A1A1A1A1A1A1A1A1A1A1A1A1", kAcceptedA},  // read as bytes
        {1, pairs::kA + "tail", kAcceptedA},        // only 32 characters count
    };
    std::size_t n = 0;
    for (const auto& c : cases) {
        ASSERT_TRUE(r.Send(Hello(c.version, c.hash, "http://page.test/")));
        ASSERT_TRUE(r.WaitHelloReplies(++n, kWaitMs)) << c.hash;
        EXPECT_EQ(r.HelloReplies().back(), c.reply) << c.hash << " version " << int(c.version);
    }
    EXPECT_EQ(m_seeder->GetSessionCount(), 1u);

    // After a refusal the session serves nothing, also not the video it
    // served before.
    ASSERT_TRUE(r.Send(Hello(1, std::string(32, 'f'), "")));
    ASSERT_TRUE(r.WaitHelloReplies(++n, kWaitMs));
    EXPECT_EQ(r.HelloReplies().back(), kRefused);
    ASSERT_TRUE(r.Send(RequestBlocks(1, {0}, 0)));
    // Accepted again: the requests count from here, and only they are served.
    ASSERT_TRUE(r.Send(Hello(1, pairs::kA, "")));
    ASSERT_TRUE(r.WaitHelloReplies(++n, kWaitMs));
    EXPECT_EQ(r.HelloReplies().back(), kAcceptedA);
    ASSERT_TRUE(r.Send(Request(2, 3, 48, {7}, 0)));
    ASSERT_TRUE(r.WaitDone(2, kWaitMs));
    ASSERT_EQ(r.Pieces().size(), 1u);
    EXPECT_EQ(r.Pieces()[0].piece, 3u * 48 + 7);
    EXPECT_EQ(r.Pieces()[0].bytes, pairs::PieceBytes(3 * 48 + 7));
    for (const VodRequester::Done& d : r.Dones())
        EXPECT_EQ(d.number, 2u) << "request 1 came before the hello was accepted";
    EXPECT_EQ(r.Malformed(), 0u);
}

TEST_F(SeederServing, EveryPieceOfTheRequestedBlocksArrivesIntactBeforeItsDone) {
    VodRequester& r = Connect(StartSeeder(0));
    ASSERT_TRUE(r.Send(Hello(1, pairs::kA, "")));
    ASSERT_TRUE(r.WaitHelloReplies(1, kWaitMs));
    ASSERT_EQ(r.HelloReplies()[0], kAcceptedA);

    // Block 0 with 56 bits: those beyond the block's 48 name nothing.
    ASSERT_TRUE(r.Send(Request(1, 0, 56, Range(0, 56), 0)));
    ASSERT_TRUE(r.WaitDone(1, kWaitMs));
    // Two blocks in one request; the last block holds 47 pieces.
    ASSERT_TRUE(r.Send(RequestBlocks(2, {1, 3}, 0)));
    ASSERT_TRUE(r.Send(Request(3, 4, 47, Range(0, 47), 0)));
    ASSERT_TRUE(r.WaitDone(3, kWaitMs));

    const std::vector<VodRequester::Done> dones = r.Dones();
    ASSERT_GE(dones.size(), 2u);
    EXPECT_EQ(dones[0].number, 1u);
    EXPECT_EQ(dones[0].piecesBefore, 48u);
    EXPECT_EQ(dones.back().number, 3u);
    EXPECT_EQ(dones.back().piecesBefore, 48u * 3 + 47);

    const std::map<std::uint32_t, std::string> got = ByNumber(r.Pieces());
    std::set<std::uint32_t> expected;
    for (std::uint32_t block : {0u, 1u, 3u})
        for (std::uint32_t i = 0; i < 48; ++i)
            expected.insert(block * 48 + i);
    for (std::uint32_t i = 0; i < 47; ++i)
        expected.insert(4 * 48 + i);
    ASSERT_EQ(got.size(), expected.size());
    for (std::uint32_t piece : expected) {
        auto it = got.find(piece);
        ASSERT_NE(it, got.end()) << "piece " << piece << " missing";
        EXPECT_EQ(it->second, pairs::PieceBytes(piece)) << "piece " << piece;
    }
    EXPECT_EQ(got.at(4 * 48 + 46).size(), 536u);
    // The last piece of the queue reports nothing left behind it.
    EXPECT_EQ(r.Pieces().back().queued, 0);
    EXPECT_EQ(r.Pieces().front().rate, 800);
}

TEST_F(SeederServing, PiecesPastTheEndOrOfMissingBlocksNeverArrive) {
    VodRequester& r = Connect(StartSeeder(0));
    ASSERT_TRUE(r.Send(Hello(1, pairs::kA, "")));
    ASSERT_TRUE(r.WaitHelloReplies(1, kWaitMs));
    // Piece 239 lies past the end of the video, block 2 is not held, block
    // 5000 does not exist; a later piece carries the done message.
    ASSERT_TRUE(r.Send(Request(1, 4, 48, {47}, 0)));
    ASSERT_TRUE(r.Send(RequestBlocks(2, {2, 5000}, 0)));
    ASSERT_TRUE(r.Send(Request(3, 0xFFFFFFFFu, 48, {0}, 0)));
    ASSERT_TRUE(r.Send(Request(4, 1, 48, {5}, 0)));
    ASSERT_TRUE(r.WaitDone(4, kWaitMs));
    ASSERT_EQ(r.Pieces().size(), 1u);
    EXPECT_EQ(r.Pieces()[0].piece, 53u);
    EXPECT_EQ(r.Pieces()[0].bytes, pairs::PieceBytes(53));
    ASSERT_EQ(r.Dones().size(), 1u);

    // A data file that ends early: F is cut 100 bytes into block 1, whose
    // short read fails (and marks the record invalid); block 0, read
    // before, still comes from the cache.
    ASSERT_TRUE(r.Send(Hello(1, pairs::kF, "")));
    ASSERT_TRUE(r.WaitHelloReplies(2, kWaitMs));
    ASSERT_TRUE(r.Send(Request(5, 0, 48, {2}, 0)));
    ASSERT_TRUE(r.WaitDone(5, kWaitMs));
    ASSERT_TRUE(r.Send(RequestBlocks(6, {1}, 0)));
    ASSERT_TRUE(r.Send(Request(7, 0, 48, {3}, 0)));
    ASSERT_TRUE(r.WaitDone(7, kWaitMs));
    const std::vector<vodwire::Piece> pieces = r.Pieces();
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[1].piece, 2u);
    EXPECT_EQ(pieces[1].bytes, pairs::PieceBytes(2));
    EXPECT_EQ(pieces[2].piece, 3u);
    EXPECT_EQ(pieces[2].bytes, pairs::PieceBytes(3));
}

TEST_F(SeederServing, ACorruptBlockFailsAndItsVideoOffersNothingUntilRewritten) {
    VodRequester& r = Connect(StartSeeder(0));
    ASSERT_TRUE(r.Send(Hello(1, pairs::kE, "")));
    ASSERT_TRUE(r.WaitHelloReplies(1, kWaitMs));
    EXPECT_EQ(r.HelloReplies()[0], Bytes({2, 1, 2, 3, 3, 5, 0, 0, 0, 1, 0, 0, 0, 0x03}));

    ASSERT_TRUE(r.Send(Request(1, 0, 48, {0}, 0)));
    ASSERT_TRUE(r.WaitDone(1, kWaitMs));
    // Block 1 fails its digest: none of its pieces leaves. Block 0 is cached.
    ASSERT_TRUE(r.Send(RequestBlocks(2, {1}, 0)));
    ASSERT_TRUE(r.Send(Request(3, 0, 48, {1}, 0)));
    ASSERT_TRUE(r.WaitDone(3, kWaitMs));
    for (const vodwire::Piece& p : r.Pieces())
        EXPECT_LT(p.piece, 48u) << "a piece of the corrupt block left";
    EXPECT_EQ(r.PieceCount(), 2u);

    // The record is invalid: a new hello is accepted but offered no block.
    ASSERT_TRUE(r.Send(Hello(1, pairs::kE, "")));
    ASSERT_TRUE(r.WaitHelloReplies(2, kWaitMs));
    EXPECT_EQ(r.HelloReplies()[1], kAcceptedNone);
    std::uint16_t length = 1;
    m_list.GetBlockOffset(pairs::kE, 0, length);
    EXPECT_EQ(length, 0);

    // Mend the byte and write the index again: the watcher loads it anew.
    {
        const std::wstring data = pairs::InFolder(cachetest::kCacheFolder, pairs::kE);
        HANDLE file = CreateFileW(data.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        SetFilePointer(file, kVodBlockSize + 500, nullptr, FILE_BEGIN);
        char byte = 0;
        DWORD n = 0;
        ASSERT_TRUE(ReadFile(file, &byte, 1, &n, nullptr));
        byte = static_cast<char>(byte ^ 0xFF);
        SetFilePointer(file, kVodBlockSize + 500, nullptr, FILE_BEGIN);
        ASSERT_TRUE(WriteFile(file, &byte, 1, &n, nullptr));
        CloseHandle(file);
        const std::wstring index = pairs::InFolder(cachetest::kCacheFolder, pairs::kE + ".vd2");
        ASSERT_TRUE(DeleteFileW(index.c_str()));
        ASSERT_TRUE(WaitChange(IRecordNotify::kRemoved, pairs::kE, kWaitMs));
        ASSERT_TRUE(CopyFileW(pairs::InFolder(pairs::StagingFolder(), pairs::kE + ".vd2").c_str(),
                              index.c_str(), FALSE));
        ASSERT_TRUE(WaitChange(IRecordNotify::kAdded, pairs::kE, kWaitMs));
    }
    ASSERT_TRUE(r.Send(Hello(1, pairs::kE, "")));
    ASSERT_TRUE(r.WaitHelloReplies(3, kWaitMs));
    EXPECT_EQ(r.HelloReplies()[2], r.HelloReplies()[0]);
    const std::size_t before = r.PieceCount();
    ASSERT_TRUE(r.Send(RequestBlocks(4, {1}, 0)));
    ASSERT_TRUE(r.WaitDone(4, kWaitMs));
    const std::vector<vodwire::Piece> pieces = r.Pieces();
    ASSERT_EQ(pieces.size(), before + 48);
    for (std::size_t i = before; i < pieces.size(); ++i)
        EXPECT_EQ(pieces[i].bytes, pairs::PieceBytes(pieces[i].piece)) << pieces[i].piece;
}

TEST_F(SeederServing, APeerThatClosesLeavesAnEndedSessionAndMayComeBack) {
    const PeerAddress seeder = StartSeeder(0);
    VodRequester& r = Connect(seeder);
    ASSERT_TRUE(r.Send(Hello(1, pairs::kA, "")));
    ASSERT_TRUE(r.WaitHelloReplies(1, kWaitMs));
    r.Close();
    // The seeder hears of the close 2 s later; nothing else tells the test.
    const DWORD deadline = GetTickCount() + kWaitMs;
    while (m_seeder->GetEndedSessionCount() == 0 && GetTickCount() < deadline)
        Sleep(20);
    EXPECT_EQ(m_seeder->GetEndedSessionCount(), 1u);
    EXPECT_EQ(m_seeder->GetSessionCount(), 0u);

    ASSERT_TRUE(r.Connect(seeder, kWaitMs));
    ASSERT_TRUE(r.Send(Hello(1, pairs::kA, "")));
    ASSERT_TRUE(r.WaitHelloReplies(2, kWaitMs));
    EXPECT_EQ(r.HelloReplies()[1], kAcceptedA);
    EXPECT_EQ(m_seeder->GetSessionCount(), 1u);
    // The reaper deletes the ended session 10 to 20 s after it ended.
    const DWORD reaped = GetTickCount() + 2 * VodSeeder::kRetireMs + 5000;
    while (m_seeder->GetEndedSessionCount() != 0 && GetTickCount() < reaped)
        Sleep(100);
    EXPECT_EQ(m_seeder->GetEndedSessionCount(), 0u);
    ASSERT_TRUE(r.Send(RequestBlocks(1, {0}, 0)));
    ASSERT_TRUE(r.WaitDone(1, kWaitMs));
    // Stop deletes live and ended sessions alike, and stopping twice is harmless.
    m_seeder->Stop();
    EXPECT_EQ(m_seeder->GetSessionCount(), 0u);
    EXPECT_EQ(m_seeder->GetEndedSessionCount(), 0u);
    m_seeder->Stop();
    EXPECT_EQ(m_seeder->IsLoggedIn(), 0);
    std::list<std::string> ids{"x"};
    EXPECT_EQ(m_seeder->GetPeerIds(ids), 0);
    EXPECT_TRUE(ids.empty());
}

TEST_F(SeederServing, StopWhilePiecesFlowEndsEverySessionAndGivesTheBuffersBack) {
    VodRequester& r = Connect(StartSeeder(0));
    ASSERT_TRUE(r.Send(Hello(1, pairs::kA, "")));
    ASSERT_TRUE(r.WaitHelloReplies(1, kWaitMs));
    ASSERT_TRUE(r.Send(RequestBlocks(1, {0, 1, 3}, 0)));
    ASSERT_TRUE(r.WaitPieces(1, kWaitMs));
    // Under way: reads, ready pieces and ticks. Stop must neither hang nor
    // leave a piece buffer behind.
    m_seeder->Stop();
    EXPECT_FALSE(m_seeder->IsStarted());
    EXPECT_EQ(m_seeder->GetSessionCount(), 0u);
    EXPECT_EQ(PieceBufferPool::Instance().GetInUse(), 0u);
    EXPECT_EQ(m_seeder->GetBlockCache()->GetCachedCount(), 0u);
    EXPECT_LT(r.Pieces().size(), 3u * 48);
    // And it starts again.
    ASSERT_EQ(m_seeder->Start(), 1);
}

TEST_F(SeederServing, StartAndStopAreIdempotent) {
    VodSeeder idle(&m_list);
    idle.Stop();  // never started: nothing happens
    EXPECT_FALSE(idle.IsStarted());
    EXPECT_EQ(idle.IsLoggedIn(), 0);

    StartSeeder(0);
    EXPECT_EQ(m_seeder->Start(), 1);  // already running
    std::list<std::string> ids;
    EXPECT_EQ(m_seeder->GetPeerIds(ids), 1);
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids.front().size(), 20u);
}

TEST_F(SeederServing, TheUploadLimitComesFromTheAllUsersSettings) {
    const struct {
        const wchar_t* netUp;
        const wchar_t* dataType;
        int limit;
    } cases[] = {
        {L"", L"", 0},          // unlimited by default
        {L"512", L"1", 32},     // netup / 16
        {L"512", L"2", 256},    // netup / 2
        {L"100", L"1", 6},      // integer division
        {L"15", L"1", 0},
        {L"-64", L"2", 0},      // never negative
    };
    for (const auto& c : cases) {
        cachetest::WriteSetting(m_commonIni, L"netup", c.netUp);
        cachetest::WriteSetting(m_commonIni, L"datatype", c.dataType);
        EXPECT_EQ(UploadLimitFromSettings(), c.limit) << c.netUp << " " << c.dataType;
    }
}

}  // namespace
