// The GIF block walk: block lengths, the logical screen, the frames and
// their stand-alone copies, and data cut or broken anywhere.
#include <gtest/gtest.h>

#include "tests/ui/GifWriter.h"
#include "ui/GifBlocks.h"

namespace {

using gif_writer::Bytes;

struct BlockCase {
    const char* what;
    Bytes bytes;
    long length;
};

TEST(GifBlocks, BlockLengthTable)
{
    Bytes app = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                 0x03, 0x01, 0x00, 0x00, 0x00};
    Bytes plain(15, 0);
    plain[0] = 0x21;
    plain[1] = 0x01;
    plain.insert(plain.end(), {0x02, 'h', 'i', 0x00});
    Bytes image = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00};
    Bytes imageLocal = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x81};
    imageLocal.insert(imageLocal.end(), 12, 0x7F);   // 4 colours
    imageLocal.insert(imageLocal.end(), {0x02, 0x02, 0x44, 0x01, 0x00});
    const BlockCase cases[] = {
        {"application", app, 19},
        {"comment", {0x21, 0xFE, 0x02, 'h', 'i', 0x01, '!', 0x00}, 8},
        {"graphic control", {0x21, 0xF9, 0x04, 0x08, 0x0F, 0x00, 0x00, 0x00}, 8},
        {"plain text", plain, 19},
        {"image", image, 15},
        {"image with local table", imageLocal, 27},
        {"trailer", {0x3B}, 1},
        {"unknown extension", {0x21, 0x77, 0x00}, -1},
        {"not a block", {0x00, 0x3B}, -1},
        {"sub-blocks cut", {0x21, 0xFE, 0x05, 'a', 'b'}, -1},
        {"terminator missing", {0x21, 0xFE, 0x01, 'a'}, -1},
        {"graphic control cut", {0x21, 0xF9, 0x04, 0x08, 0x0F, 0x00, 0x00}, -1},
        {"descriptor cut", {0x2C, 0, 0, 0, 0, 1, 0, 1}, -1},
        {"local table cut", Bytes(imageLocal.begin(), imageLocal.begin() + 20), -1},
        {"lone introducer", {0x21}, -1},
        {"nothing", {}, -1},
    };
    for (const BlockCase& c : cases) {
        EXPECT_EQ(c.length, gif::BlockLength(c.bytes.data(), c.bytes.size(), 0)) << c.what;
    }
    // At an offset, the length is that block's alone.
    Bytes two = {0x3B, 0x21, 0xFE, 0x00, 0x3B};
    EXPECT_EQ(3, gif::BlockLength(two.data(), two.size(), 1));
    EXPECT_EQ(-1, gif::BlockLength(two.data(), two.size(), 5));
}

TEST(GifBlocks, ScreenAndBackground)
{
    Bytes file = gif_writer::Write(19, 7, gif_writer::BasicPalette(),
                                   {gif_writer::Solid(0, 0, 19, 7, 2, 15)}, 4);
    gif::Screen screen;
    ASSERT_TRUE(gif::ReadScreen(file.data(), file.size(), &screen));
    EXPECT_EQ(19, screen.width);
    EXPECT_EQ(7, screen.height);
    EXPECT_EQ(48u, screen.globalTableBytes);
    EXPECT_EQ(61u, screen.headerBytes);
    ASSERT_TRUE(screen.hasBackground);
    EXPECT_EQ(Bytes({0, 0, 255}), Bytes(screen.background, screen.background + 3));

    Bytes v87 = file;
    v87[4] = '7';
    EXPECT_TRUE(gif::ReadScreen(v87.data(), v87.size(), &screen));
    for (const char* version : {"90a", "89b", "8 a"}) {
        Bytes other = file;
        std::copy(version, version + 3, other.begin() + 3);
        EXPECT_FALSE(gif::ReadScreen(other.data(), other.size(), &screen)) << version;
    }
    EXPECT_FALSE(gif::ReadScreen(file.data(), 60, &screen)) << "global table cut";
    EXPECT_FALSE(gif::ReadScreen(file.data(), 12, &screen)) << "header cut";
}

TEST(GifBlocks, FramesTakeTheirControlExtensions)
{
    using gif_writer::Solid;
    gif_writer::FrameSpec local = Solid(6, 6, 7, 7, 1, 80, 3);
    local.local = {0x123456, 0x654321};
    Bytes file = gif_writer::Write(19, 19, gif_writer::BasicPalette(),
                                   {Solid(0, 0, 19, 19, 2, 15, 1), local,
                                    Solid(1, 2, 3, 4, 3, -1), Solid(0, 0, 1, 1, 4, 5, 2)});
    // A comment and an application extension between frames are skipped.
    gif::Screen screen;
    ASSERT_TRUE(gif::ReadScreen(file.data(), file.size(), &screen));
    file.insert(file.begin() + screen.headerBytes, {0x21, 0xFE, 0x01, 'x', 0x00});
    std::vector<gif::Frame> frames = gif::WalkFrames(file.data(), file.size(), screen);
    ASSERT_EQ(4u, frames.size());
    struct Expect { int delay, disposal, left, top, width, height; bool control; };
    const Expect expect[] = {{15, 1, 0, 0, 19, 19, true}, {80, 3, 6, 6, 7, 7, true},
                             {-1, 0, 1, 2, 3, 4, false}, {5, 2, 0, 0, 1, 1, true}};
    for (size_t i = 0; i < 4; ++i) {
        const gif::Frame& f = frames[i];
        const Expect& e = expect[i];
        EXPECT_EQ(e.delay, f.delay) << i;
        EXPECT_EQ(e.disposal, f.disposal) << i;
        EXPECT_EQ(e.left, f.left) << i;
        EXPECT_EQ(e.top, f.top) << i;
        EXPECT_EQ(e.width, f.width) << i;
        EXPECT_EQ(e.height, f.height) << i;
        EXPECT_EQ(e.control, f.controlOffset != 0) << i;
    }
    EXPECT_EQ(2u, gif::WalkFrames(file.data(), file.size(), screen, 2).size());

    // The stand-alone copy of frame 1: header and table, its control
    // extension, its image with the local table, a trailer.
    Bytes one = gif::StandAlone(file.data(), screen, frames[1]);
    ASSERT_EQ(screen.headerBytes + 8 + frames[1].imageBytes + 1, one.size());
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 13, one.begin()));
    EXPECT_EQ(0x21, one[screen.headerBytes]);
    EXPECT_EQ(0xF9, one[screen.headerBytes + 1]);
    EXPECT_EQ(0x2C, one[screen.headerBytes + 8]);
    EXPECT_EQ(0x3B, one.back());
    gif::Screen again;
    ASSERT_TRUE(gif::ReadScreen(one.data(), one.size(), &again));
    std::vector<gif::Frame> alone = gif::WalkFrames(one.data(), one.size(), again);
    ASSERT_EQ(1u, alone.size());
    EXPECT_EQ(80, alone[0].delay);
    EXPECT_EQ(7, alone[0].width);
}

TEST(GifBlocks, CutOrBrokenDataEndsTheWalk)
{
    using gif_writer::Solid;
    Bytes file = gif_writer::Write(4, 4, gif_writer::BasicPalette(),
                                   {Solid(0, 0, 4, 4, 2, 10), Solid(0, 0, 4, 4, 3, 10)});
    gif::Screen screen;
    ASSERT_TRUE(gif::ReadScreen(file.data(), file.size(), &screen));
    std::vector<gif::Frame> whole = gif::WalkFrames(file.data(), file.size(), screen);
    ASSERT_EQ(2u, whole.size());
    size_t firstEnd = whole[0].imageOffset + whole[0].imageBytes;
    // Every cut: no frame until the first image is whole, one until the second is.
    for (size_t cut = screen.headerBytes; cut < file.size(); ++cut) {
        size_t expected = cut < firstEnd ? 0 : cut < whole[1].imageOffset + whole[1].imageBytes ? 1 : 2;
        EXPECT_EQ(expected, gif::WalkFrames(file.data(), cut, screen).size()) << cut;
    }
    // A byte that starts no block ends the walk there.
    Bytes broken = file;
    broken[firstEnd] = 0x00;
    EXPECT_EQ(1u, gif::WalkFrames(broken.data(), broken.size(), screen).size());
}

}  // namespace
