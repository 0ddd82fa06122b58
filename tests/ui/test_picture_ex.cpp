// The animated picture: frames and their times, composition with the disposal
// methods on the canvas's pixels, stills, broken data, and the frame timer
// stopped and unloaded while steps are under way.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "tests/ui/GifWriter.h"
#include "tests/ui/SkinPixels.h"
#include "tests/ui/WidgetHost.h"
#include "ui/CPictureEx.h"

namespace {

using gif_writer::Bytes;
using gif_writer::Solid;

class Ole {
public:
    Ole() { OleInitialize(nullptr); }
    ~Ole() { OleUninitialize(); }
};

HGLOBAL Block(const Bytes& bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
    if (!bytes.empty())
        memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

BOOL LoadBytes(CPictureEx& picture, const Bytes& bytes)
{
    HGLOBAL block = Block(bytes);
    BOOL ok = picture.LoadFromMemory(block, static_cast<DWORD>(bytes.size()));
    GlobalFree(block);
    return ok;
}

// The next frame step: dispatches until the step count moves, within a bound.
bool NextStep(const CPictureEx& picture, DWORD ms = 3000)
{
    unsigned before = picture.GetStepCount();
    return PumpUntil([&] { return picture.GetStepCount() != before; }, ms);
}

class PictureTest : public ::testing::Test {
protected:
    Ole ole;
    HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 40, 40, nullptr, nullptr,
                                nullptr, nullptr);
    ~PictureTest() override { DestroyWindow(host); }
};

TEST_F(PictureTest, EmoticonFramesAndTheirTimes)
{
    struct Case { int id; std::vector<int> ms; };
    const Case cases[] = {
        {230, {150, 150, 150, 150, 150, 150, 150, 150}},
        {234, {800, 100, 100, 800}},
    };
    for (const Case& c : cases) {
        CPictureEx picture(host);
        ASSERT_TRUE(picture.Load(MAKEINTRESOURCEW(c.id), L"GIF")) << c.id;
        EXPECT_EQ(19, picture.GetSize().cx);
        EXPECT_EQ(19, picture.GetSize().cy);
        ASSERT_EQ(static_cast<int>(c.ms.size()), picture.GetFrameCount()) << c.id;
        for (size_t i = 0; i < c.ms.size(); ++i)
            EXPECT_EQ(c.ms[i], picture.GetFrameDelay(static_cast<int>(i))) << c.id << " frame " << i;
    }
    // Every emoticon loads and animates.
    for (int id = 230; id <= 244; ++id) {
        CPictureEx picture(host);
        ASSERT_TRUE(picture.Load(MAKEINTRESOURCEW(id), L"GIF")) << id;
        EXPECT_GT(picture.GetFrameCount(), 1) << id;
    }
    CPictureEx missing(host);
    EXPECT_FALSE(missing.Load(MAKEINTRESOURCEW(229), L"GIF"));
}

TEST_F(PictureTest, ShortDelaysShowForATenthOfASecond)
{
    std::vector<gif_writer::FrameSpec> frames;
    for (int delay : {0, 5, 10, 11, 15, -1})
        frames.push_back(Solid(0, 0, 2, 2, 2, delay));
    CPictureEx picture(host);
    ASSERT_TRUE(LoadBytes(picture, gif_writer::Write(2, 2, gif_writer::BasicPalette(), frames)));
    const int expect[] = {100, 100, 100, 110, 150, -1};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(expect[i], picture.GetFrameDelay(i)) << i;
}

TEST_F(PictureTest, TheWholeCycleRunsAndRestsWithoutAControlExtension)
{
    CPictureEx cycle(host);
    ASSERT_TRUE(cycle.Load(MAKEINTRESOURCEW(230), L"GIF"));
    cycle.Start();
    ASSERT_TRUE(cycle.IsRunning());
    for (int i = 1; i <= 8; ++i) {
        ASSERT_TRUE(NextStep(cycle)) << i;
        EXPECT_EQ(i % 8, cycle.GetFrameIndex());
    }
    cycle.Stop();
    EXPECT_FALSE(cycle.IsRunning());

    // The second frame has no control extension: the animation stays on it.
    CPictureEx rest(host);
    ASSERT_TRUE(LoadBytes(rest, gif_writer::Write(2, 2, gif_writer::BasicPalette(),
                                                  {Solid(0, 0, 2, 2, 2, 1), Solid(0, 0, 2, 2, 3, -1),
                                                   Solid(0, 0, 2, 2, 4, 1)})));
    rest.Start();
    ASSERT_TRUE(NextStep(rest));
    EXPECT_EQ(1, rest.GetFrameIndex());
    EXPECT_FALSE(rest.IsRunning());
}

// Frame 0 fills the 4 x 4 screen red, frame 1 puts green on (1, 1)-(3, 3) with
// the disposal under test, frame 2 a black pixel at (3, 3).
TEST_F(PictureTest, DisposalsOnTheCanvas)
{
    struct Case { int disposal; bool local; COLORREF after; };
    const Case cases[] = {
        {2, false, RGB(0, 0, 255)},   // the background index's colour (4: blue)
        {3, true, RGB(255, 0, 0)},    // what lay under the frame
        {1, false, RGB(0, 255, 0)},   // left in place
    };
    for (const Case& c : cases) {
        gif_writer::FrameSpec green = Solid(1, 1, 2, 2, 3, 1, c.disposal);
        if (c.local) {
            green.local = {0, 0, 0, 0, 0, 0, 0x00FF00};
            green.pixels.assign(4, 6);
        }
        Bytes file = gif_writer::Write(4, 4, gif_writer::BasicPalette(),
                                       {Solid(0, 0, 4, 4, 2, 1), green, Solid(3, 3, 1, 1, 1, 1)}, 4);
        CPictureEx picture(host);
        ASSERT_TRUE(LoadBytes(picture, file));
        ASSERT_EQ(3, picture.GetFrameCount());
        RECT where = {2, 3, 6, 7};
        picture.SetPaintRect(where);
        DibCanvas dib(8, 8);
        dib.Fill(RGB(9, 9, 9));
        picture.Draw(dib.Dc());
        EXPECT_EQ(RGB(255, 0, 0), dib.At(2, 3));
        EXPECT_EQ(RGB(255, 0, 0), dib.At(5, 6));
        EXPECT_EQ(RGB(9, 9, 9), dib.At(1, 3)) << "outside the paint rectangle";
        picture.Start();
        ASSERT_TRUE(NextStep(picture));
        // Painted twice while it shows: what lay under it is kept from the first time.
        picture.Draw(dib.Dc());
        picture.Draw(dib.Dc());
        EXPECT_EQ(RGB(0, 255, 0), dib.At(2 + 1, 3 + 1)) << c.disposal;
        EXPECT_EQ(RGB(0, 255, 0), dib.At(2 + 2, 3 + 2)) << c.disposal;
        ASSERT_TRUE(NextStep(picture));
        picture.Draw(dib.Dc());
        EXPECT_EQ(c.after, dib.At(2 + 1, 3 + 1)) << c.disposal;
        EXPECT_EQ(c.after, dib.At(2 + 2, 3 + 2)) << c.disposal;
        EXPECT_EQ(RGB(255, 0, 0), dib.At(2 + 0, 3 + 3)) << c.disposal;
        EXPECT_EQ(RGB(0, 0, 0), dib.At(2 + 3, 3 + 3)) << c.disposal;
        picture.Stop();
    }
}

TEST_F(PictureTest, OneFrameOtherVersionsAndBitmapsAreStills)
{
    Bytes one = gif_writer::Write(3, 2, gif_writer::BasicPalette(), {Solid(0, 0, 3, 2, 3, 10)});
    Bytes other = one;
    other[3] = '9';
    other[4] = '0';
    // A 3 x 2 24-bit bitmap, bottom row blue, top row red.
    Bytes bmp = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0,
                 0, 1, 0, 24, 0};
    bmp.resize(54, 0);
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 3; ++x) {
            Bytes px = row == 0 ? Bytes{255, 0, 0} : Bytes{0, 0, 255};
            bmp.insert(bmp.end(), px.begin(), px.end());
        }
        bmp.insert(bmp.end(), 3, 0);
    }
    struct Case { const char* what; const Bytes* bytes; COLORREF top, bottom; };
    const Case cases[] = {
        {"one frame", &one, RGB(0, 255, 0), RGB(0, 255, 0)},
        {"GIF90a", &other, RGB(0, 255, 0), RGB(0, 255, 0)},
        {"bitmap", &bmp, RGB(255, 0, 0), RGB(0, 0, 255)},
    };
    for (const Case& c : cases) {
        CPictureEx picture(host);
        ASSERT_TRUE(LoadBytes(picture, *c.bytes)) << c.what;
        EXPECT_EQ(3, picture.GetSize().cx) << c.what;
        EXPECT_EQ(2, picture.GetSize().cy) << c.what;
        EXPECT_EQ(0, picture.GetFrameCount()) << c.what;
        picture.Start();
        EXPECT_FALSE(picture.IsRunning()) << c.what;
        DibCanvas dib(4, 4);
        dib.Fill(RGB(9, 9, 9));
        picture.Draw(dib.Dc());
        EXPECT_EQ(c.top, dib.At(0, 0)) << c.what;
        EXPECT_EQ(c.bottom, dib.At(2, 1)) << c.what;
        EXPECT_EQ(RGB(9, 9, 9), dib.At(3, 0)) << c.what;
    }
}

// An animation of which only one frame decodes shows that frame, still.
TEST_F(PictureTest, AnAnimationWithOneDecodableFrameShowsIt)
{
    // A green 2 x 2 frame at (1, 1) of a 4 x 4 screen, then a second frame
    // whose blocks walk well but whose picture cannot be made.
    const Bytes good = gif_writer::Write(4, 4, gif_writer::BasicPalette(),
                                         {Solid(1, 1, 2, 2, 3, 10)});
    struct Case { const char* what; Bytes frame; };
    const Case cases[] = {
        {"code size 12", {0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 12, 2, 0xFF, 0xFF, 0}},
    };
    for (const Case& c : cases) {
        Bytes file(good.begin(), good.end() - 1);
        file.insert(file.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0});
        file.insert(file.end(), c.frame.begin(), c.frame.end());
        file.push_back(0x3B);
        CPictureEx picture(host);
        ASSERT_TRUE(LoadBytes(picture, file)) << c.what;
        ASSERT_EQ(1, picture.GetFrameCount()) << c.what;
        picture.Start();
        EXPECT_FALSE(picture.IsRunning()) << c.what;
        DibCanvas dib(4, 4);
        dib.Fill(RGB(9, 9, 9));
        picture.Draw(dib.Dc());
        EXPECT_EQ(RGB(0, 255, 0), dib.At(1, 1)) << c.what;
        EXPECT_EQ(RGB(0, 255, 0), dib.At(2, 2)) << c.what;
    }
}

TEST_F(PictureTest, BrokenDataFailsCleanly)
{
    Bytes good = gif_writer::Write(4, 4, gif_writer::BasicPalette(),
                                   {Solid(0, 0, 4, 4, 2, 10), Solid(0, 0, 4, 4, 3, 10)});
    Bytes noImage = Bytes(good.begin(), good.begin() + 61);
    noImage.push_back(0x3B);
    struct Case { const char* what; Bytes bytes; };
    const Case cases[] = {
        {"empty", {}},
        {"signature only", {'G', 'I', 'F', '8', '9', 'a'}},
        {"table cut", Bytes(good.begin(), good.begin() + 40)},
        {"first frame cut", Bytes(good.begin(), good.begin() + 75)},
        {"no image", noImage},
        {"not a picture", {'h', 'e', 'l', 'l', 'o', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const Case& c : cases) {
        CPictureEx picture(host);
        EXPECT_FALSE(LoadBytes(picture, c.bytes)) << c.what;
        EXPECT_EQ(0, picture.GetSize().cx) << c.what;
        picture.Start();
        EXPECT_FALSE(picture.IsRunning()) << c.what;
        DibCanvas dib(2, 2);
        dib.Fill(RGB(9, 9, 9));
        picture.Draw(dib.Dc());
        EXPECT_EQ(RGB(9, 9, 9), dib.At(0, 0)) << c.what;
    }
    // A size beyond the block is held to the block.
    CPictureEx picture(host);
    HGLOBAL block = Block(Bytes(good.begin(), good.begin() + 75));
    EXPECT_FALSE(picture.LoadFromMemory(block, 1 << 20));
    GlobalFree(block);
    // A failed load leaves a picture that loads again.
    EXPECT_TRUE(LoadBytes(picture, good));
    EXPECT_EQ(2, picture.GetFrameCount());
}

// A step already posted when Stop or Unload runs changes nothing; deleting a
// picture with a step on its way is harmless.
TEST_F(PictureTest, StopUnloadAndDeleteWhileStepsArePending)
{
    Bytes file = gif_writer::Write(2, 2, gif_writer::BasicPalette(),
                                   {Solid(0, 0, 2, 2, 2, 1), Solid(0, 0, 2, 2, 3, 1)});
    auto waitPosted = [] {
        return MsgWaitForMultipleObjects(0, nullptr, FALSE, 3000, QS_POSTMESSAGE) == WAIT_OBJECT_0;
    };
    for (int round = 0; round < 20; ++round) {
        auto picture = std::make_unique<CPictureEx>(host);
        ASSERT_TRUE(LoadBytes(*picture, file));
        picture->Start();
        ASSERT_TRUE(waitPosted());
        switch (round % 3) {
        case 0:
            picture->Stop();
            break;
        case 1:
            picture->Unload();
            break;
        default:
            picture.reset();
            break;
        }
        // A restarted timer of a stopped picture must not be taken for the old one.
        if (picture && round % 3 == 0)
            picture->Start();
        PumpUntil([] { return false; }, 0);
        if (picture) {
            EXPECT_EQ(0u, picture->GetStepCount()) << round;
            EXPECT_EQ(0, picture->GetFrameIndex()) << round;
        }
    }
    // Many pictures started and stopped while their frames run.
    std::vector<std::unique_ptr<CPictureEx>> many;
    for (int i = 0; i < 8; ++i) {
        many.push_back(std::make_unique<CPictureEx>(host));
        ASSERT_TRUE(many.back()->Load(MAKEINTRESOURCEW(230 + i), L"GIF"));
        many.back()->Start();
    }
    ASSERT_TRUE(NextStep(*many[0]));
    for (int i = 0; i < 200; ++i) {
        CPictureEx& p = *many[i % 8];
        switch (i % 4) {
        case 0: p.Stop(); break;
        case 1: p.Start(); break;
        case 2: p.Unload(); break;
        default: p.Load(MAKEINTRESOURCEW(230 + i % 15), L"GIF"); p.Start(); break;
        }
        PumpUntil([] { return false; }, 0);
    }
    for (auto& p : many) {
        p->Load(MAKEINTRESOURCEW(230), L"GIF");
        p->Start();
    }
    ASSERT_TRUE(NextStep(*many[7]));
    many.clear();
    PumpUntil([] { return false; }, 0);
}

}  // namespace
