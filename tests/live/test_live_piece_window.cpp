// The live piece window: slots, blocks, the slide, the feeder's read, and a
// reader thread against a writer that stores and slides.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "live/LivePieceWindow.h"

namespace {

// Bytes of a piece that tell pieces and positions apart.
std::string PieceBytes(std::uint32_t piece, std::uint32_t length) {
    std::string bytes(length, '\0');
    for (std::uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((piece * 31 + i * 7) & 0xFF);
    return bytes;
}

bool StoreAll(LivePieceWindow& window, std::uint32_t piece, const std::string& bytes) {
    for (std::uint32_t b = 0; b < LiveBlockCount(static_cast<std::uint32_t>(bytes.size())); ++b) {
        const std::uint32_t n = LiveBlockLength(static_cast<std::uint32_t>(bytes.size()), b);
        if (!window.StoreBlock(piece, b, n, bytes.data() + b * kLiveBlockSize))
            return false;
    }
    return true;
}

}  // namespace

TEST(LivePieceWindow, AddingPieceAfterPieceSlidesByAFifthOfTheCapacity) {
    LivePieceWindow window(180);
    for (std::uint32_t piece = 1; piece <= 182; ++piece)
        ASSERT_TRUE(window.AddPiece(piece, 0, nullptr)) << piece;
    EXPECT_EQ(window.GetStart(), 37u);
    EXPECT_EQ(window.GetEnd(), 182u);
    EXPECT_FALSE(window.HasSlot(36));
    EXPECT_TRUE(window.IsComplete(37));  // empty pieces are complete with their slot
}

TEST(LivePieceWindow, APieceBeyondTheEndMakesPositionsButOneSlot) {
    LivePieceWindow window;
    window.SetStart(100);
    ASSERT_TRUE(window.AddPiece(105, 10, nullptr));
    EXPECT_EQ(window.GetEnd(), 105u);
    std::uint32_t start;
    nps::BitField bits;
    window.Snapshot(start, bits);
    EXPECT_EQ(start, 100u);
    EXPECT_EQ(bits.size(), 6u);
    for (std::uint32_t piece = 100; piece <= 105; ++piece)
        EXPECT_EQ(window.HasSlot(piece), piece == 105) << piece;
    // The gap's positions take slots later; a slot is made once.
    EXPECT_TRUE(window.AddPiece(102, 10, nullptr));
    EXPECT_FALSE(window.AddPiece(102, 10, nullptr));
}

TEST(LivePieceWindow, AddPieceRefusals) {
    const struct {
        const char* name;
        std::uint32_t piece;
        std::uint32_t length;
    } cases[] = {
        {"piece 0", 0, 10},
        {"below the start", 99, 10},
        {"slot exists", 100, 10},
        {"longer than 16 MiB", 101, kLiveMostPieceBytes + 1},
        {"too far past the end", 100 + kLiveMostAheadPieces + 1, 10},
    };
    for (const auto& c : cases) {
        LivePieceWindow window;
        window.SetStart(100);
        ASSERT_TRUE(window.AddPiece(100, 10, nullptr));
        EXPECT_FALSE(window.AddPiece(c.piece, c.length, nullptr)) << c.name;
        EXPECT_EQ(window.GetEnd(), 100u) << c.name;
    }
    LivePieceWindow empty;
    EXPECT_FALSE(empty.AddPiece(0, 10, nullptr));
    EXPECT_EQ(empty.GetStart(), 0u);
    EXPECT_TRUE(empty.AddPiece(7, kLiveMostPieceBytes, nullptr));
}

TEST(LivePieceWindow, BlocksCarryExactlyTheirShareOfThePiece) {
    LivePieceWindow window;
    ASSERT_TRUE(window.AddPiece(5, 1537, nullptr));
    EXPECT_EQ(window.BlockCountOf(5), 3u);
    const std::string bytes = PieceBytes(5, 1537);
    const struct {
        const char* name;
        std::uint32_t block;
        std::uint32_t length;
        bool stored;
    } cases[] = {
        {"last block longer than its share", 2, 2, false},
        {"first block short", 0, 767, false},
        {"empty", 1, 0, false},
        {"u16 length of 0", 1, 0x10000, false},
        {"index beyond the piece", 3, 1, false},
        {"first", 0, 768, true},
        {"second", 1, 768, true},
        {"last", 2, 1, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(window.StoreBlock(5, c.block, c.length, bytes.data() + c.block * 768), c.stored) << c.name;
    const char* data;
    std::uint32_t length;
    const std::uint32_t lengths[] = {768, 768, 1};
    for (std::uint32_t b = 0; b < 3; ++b) {
        ASSERT_TRUE(window.GetBlock(5, b, data, length));
        EXPECT_EQ(length, lengths[b]);
    }
    EXPECT_TRUE(window.IsComplete(5));
    EXPECT_FALSE(window.StoreBlock(6, 0, 1, "x"));  // no slot
}

TEST(LivePieceWindow, ASecondStoreKeepsTheFirstBytes) {
    LivePieceWindow window;
    ASSERT_TRUE(window.AddPiece(1, 2, nullptr));
    ASSERT_TRUE(window.StoreBlock(1, 0, 2, "ab"));
    EXPECT_TRUE(window.StoreBlock(1, 0, 2, "xy"));
    char buffer[2];
    std::uint32_t length = sizeof buffer;
    ASSERT_EQ(window.GetPiece(1, buffer, length), 2);
    EXPECT_EQ(std::string(buffer, 2), "ab");
}

TEST(LivePieceWindow, GetPieceAnswers) {
    LivePieceWindow window(10);
    for (std::uint32_t piece = 1; piece <= 11; ++piece)
        ASSERT_TRUE(window.AddPiece(piece, 1537, PieceBytes(piece, 1537).data()));
    // The slide looks at the end before an addition moves it: 11 pieces are
    // held until the next one comes.
    ASSERT_EQ(window.GetStart(), 1u);
    ASSERT_TRUE(window.AddPiece(13, 1537, nullptr));
    ASSERT_TRUE(StoreAll(window, 13, PieceBytes(13, 1537).substr(0, 768)));  // first block only
    ASSERT_TRUE(window.AddPiece(14, 0, nullptr));
    ASSERT_EQ(window.GetStart(), 5u);

    std::vector<char> buffer(4000);
    const struct {
        const char* name;
        std::uint32_t piece;
        bool withBuffer;
        std::uint32_t room;
        std::int32_t result;
        std::uint32_t length;
    } cases[] = {
        {"slid out", 2, true, 4000, -2, 4000},
        {"ahead of the end", 15, true, 4000, -1, 4000},
        {"position without slot", 12, true, 4000, -1, 4000},
        {"incomplete", 13, true, 4000, -1, 4000},
        {"length asked", 5, false, 0, 0, 1537},
        {"buffer too short", 5, true, 1536, -1, 1536},
        {"empty piece", 14, true, 4000, 0, 0},
        {"whole piece", 5, true, 4000, 1537, 1537},
    };
    for (const auto& c : cases) {
        std::uint32_t length = c.room;
        EXPECT_EQ(window.GetPiece(c.piece, c.withBuffer ? buffer.data() : nullptr, length), c.result) << c.name;
        EXPECT_EQ(length, c.length) << c.name;
    }
    EXPECT_EQ(std::string(buffer.data(), 1537), PieceBytes(5, 1537));
}

TEST(LivePieceWindow, HaveChangesListCompletedPiecesOnce) {
    LivePieceWindow window;
    window.SetStart(10);
    ASSERT_TRUE(window.AddPiece(10, 800, nullptr));
    ASSERT_TRUE(window.AddPiece(11, 0, nullptr));
    ASSERT_TRUE(StoreAll(window, 10, PieceBytes(10, 800)));
    LivePieceWindow::HaveChanges changes;
    window.TakeHaveChanges(changes);
    EXPECT_EQ(changes.completed, (BlockFlagMap{{10, 1}, {11, 1}}));
    EXPECT_EQ(changes.start, 10u);
    EXPECT_EQ(changes.lengths, (LivePieceLengths{{10, 800}, {11, 0}}));
    window.TakeHaveChanges(changes);
    EXPECT_TRUE(changes.completed.empty());
    LivePieceLengths sizes;
    window.GetPieceSizes({9, 10, 12}, sizes);
    EXPECT_EQ(sizes, (LivePieceLengths{{10, 800}}));
}

TEST(LivePieceWindow, SchedulingHelpersListWhatIsMissing) {
    LivePieceWindow window;
    window.SetStart(1);
    ASSERT_TRUE(window.AddPiece(1, 3 * 768, nullptr));
    ASSERT_TRUE(window.AddPiece(2, 768, PieceBytes(2, 768).data()));
    ASSERT_TRUE(window.StoreBlock(1, 1, 768, PieceBytes(1, 3 * 768).data() + 768));

    // Lost blocks: piece 1's block 1 is stored since, block 2 is not; piece 3
    // has no slot yet and waits.
    std::set<std::uint64_t> rerequest = {LiveBlockKey(1, 1), LiveBlockKey(1, 2), LiveBlockKey(3, 0)};
    BlockBitFieldMap wanted;
    window.CollectLostBlocks(rerequest, wanted);
    EXPECT_EQ(rerequest, (std::set<std::uint64_t>{LiveBlockKey(3, 0)}));
    ASSERT_EQ(wanted.size(), 1u);
    EXPECT_EQ(wanted[1], nps::BitField(std::string("100")));

    LivePieceSet pieces = {1, 2, 4};
    wanted.clear();
    window.CollectMissingBlocks(pieces, wanted);
    EXPECT_EQ(pieces, (LivePieceSet{4}));
    ASSERT_EQ(wanted.size(), 1u);
    EXPECT_EQ(wanted[1], nps::BitField(std::string("101")));
}

TEST(LivePieceWindow, ClearEmptiesTheWindow) {
    LivePieceWindow window;
    ASSERT_TRUE(window.AddPiece(4, 1537, PieceBytes(4, 1537).data()));
    window.Clear();
    EXPECT_EQ(window.GetStart(), 0u);
    EXPECT_EQ(window.GetEnd(), 0u);
    EXPECT_FALSE(window.HasSlot(4));
    ASSERT_TRUE(window.AddPiece(9, 10, PieceBytes(9, 10).data()));
    EXPECT_EQ(window.GetStart(), 9u);
}

// The feeder's reads run while the engine stores blocks and slides the
// window: every read either fails or gives the piece's exact bytes. At some
// points the writer waits (bounded) for the reader to have read its newest
// piece, so reads are known to fall between the writer's slides.
TEST(LivePieceWindow, ReaderSeesWholePiecesWhileAWriterStoresAndSlides) {
    LivePieceWindow window(20);
    const std::uint32_t kPieces = 600;
    const std::uint32_t kLength = 3000;
    const std::uint32_t kMeetEvery = 50;  // above the capacity: each meeting follows slides
    std::atomic<std::uint32_t> written{0};
    std::atomic<bool> bad{false};
    std::mutex lock;
    std::condition_variable readChanged;
    std::uint32_t lastRead = 0;
    std::uint32_t reads = 0;
    std::thread reader([&] {
        std::vector<char> buffer(kLength);
        for (std::uint32_t piece = 1; written.load() < kPieces || piece <= kPieces;) {
            std::uint32_t length = kLength;
            const std::int32_t got = window.GetPiece(piece, buffer.data(), length);
            if (got == -2 || piece > kPieces) {
                ++piece;  // slid out before we got to it
                continue;
            }
            if (got > 0) {
                if (std::string(buffer.data(), length) != PieceBytes(piece, kLength))
                    bad = true;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    ++reads;
                    lastRead = piece;
                }
                readChanged.notify_all();
                ++piece;
            } else if (written.load() >= kPieces) {
                ++piece;
            }
        }
    });
    std::uint32_t meetings = 0;
    for (std::uint32_t piece = 1; piece <= kPieces; ++piece) {
        ASSERT_TRUE(window.AddPiece(piece, kLength, nullptr));
        ASSERT_TRUE(StoreAll(window, piece, PieceBytes(piece, kLength)));
        written = piece;
        // After a missed meeting the rest are not waited for.
        if (piece % kMeetEvery == 0 && piece < kPieces && meetings == piece / kMeetEvery - 1) {
            std::unique_lock<std::mutex> hold(lock);
            if (readChanged.wait_for(hold, std::chrono::seconds(10), [&] { return lastRead >= piece; }))
                ++meetings;
        }
    }
    reader.join();
    EXPECT_FALSE(bad.load());
    EXPECT_EQ(meetings, kPieces / kMeetEvery - 1) << "the reader read the newest piece while the writer went on";
    EXPECT_GE(reads, meetings);
    EXPECT_EQ(window.GetEnd(), kPieces);
}

// A window one piece over its capacity slides at the next addition, even one
// inside it: a position the slide takes is refused, not written below the start.
TEST(LivePieceWindow, AnAdditionInsideAFullWindowThatSlidesItOutIsRefused) {
    LivePieceWindow window(10);
    window.SetStart(1);
    ASSERT_TRUE(window.AddPiece(11, 0, nullptr));  // 11 positions, no slide yet
    EXPECT_FALSE(window.AddPiece(2, 0, nullptr));
    EXPECT_EQ(window.GetStart(), 3u);
    EXPECT_TRUE(window.AddPiece(3, 0, nullptr));
}
