// The skin manager over the generated skins: the sets read whole, damaged sets
// refused, the XML form, and the pixels each drawing operation leaves.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <boost/archive/xml_oarchive.hpp>

#include "common/pack/Unpack.h"
#include "tests/ui/SkinPixels.h"
#include "ui/SBmpMapMgr.h"
#include "ui/SkinIds.h"

using UI_Mgr::SBmpMapMgr;

namespace {

const COLORREF kKey = RGB(255, 0, 255);
const COLORREF kSentinel = RGB(1, 2, 3);

std::vector<char> ResourceBytes(UINT id)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"SknSet");
    auto bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    return std::vector<char>(bytes, bytes + SizeofResource(nullptr, found));
}

// A binary set built by hand: header, then entries of (key, id, rect, name).
struct SetBytes {
    std::string bytes;
    void U8(std::uint8_t v) { bytes.push_back(static_cast<char>(v)); }
    void U16(std::uint16_t v) { bytes.append(reinterpret_cast<const char*>(&v), 2); }
    void U32(std::uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); }
    void Str(const std::string& s) { U16(static_cast<std::uint16_t>(s.size())); bytes += s; }
    SetBytes& Header(std::uint32_t count) { U8(1); Str("..\\t.bmp"); U32(count); return *this; }
    SetBytes& Entry(std::uint32_t key, std::uint32_t id, std::uint32_t right, const char* name)
    {
        U32(key); U8(1); U32(id); U32(0); U32(0); U32(right); U32(1); Str(name); Str("");
        return *this;
    }
};

TEST(SkinSet, GeneratedSetsReadToTheirLastByte)
{
    const struct { UINT set, bitmap; std::size_t bytes, entries; int width, height; } cases[] = {
        {IDR_SKINSET_MAIN, IDB_SKIN_MAIN, 2224, 52, 270, 304},
        {IDR_SKINSET_CHAT, IDB_SKIN_CHAT, 1120, 26, 131, 279},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        std::vector<char> bytes = ResourceBytes(c.set);
        ASSERT_EQ(c.bytes, bytes.size());
        SBmpMapMgr skin;
        nps::Unpack in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        skin.Unpack(in);
        EXPECT_EQ(0u, in.left);
        EXPECT_EQ(c.entries, skin.Count());
        for (const auto& entry : skin.Items())
            EXPECT_EQ(entry.first, entry.second.ID);

        ASSERT_EQ(1, skin.Load(c.set, c.bitmap));
        BITMAP info = {};
        GetObjectW(skin.Bitmap(), sizeof info, &info);
        EXPECT_EQ(c.width, info.bmWidth);
        EXPECT_EQ(c.height, info.bmHeight);
        EXPECT_EQ(24, info.bmBitsPixel);
        ResourcePixels pixels(c.bitmap);
        EXPECT_EQ(kKey, pixels.At(0, 0));
    }
    SBmpMapMgr chat;
    ASSERT_EQ(1, chat.Load(IDR_SKINSET_CHAT, IDB_SKIN_CHAT));
    EXPECT_EQ("..\\chat.bmp", chat.BitmapPath());
    EXPECT_EQ("IDB_CT_CLOST_H", chat.Items().at(1002).Name);
    RECT rect;
    ASSERT_EQ(1, chat.GetItemRect(IDB_CT_CLOSE_N, &rect));
    EXPECT_EQ(65, rect.right);
    EXPECT_EQ(22, rect.bottom);
    EXPECT_EQ(0, chat.GetItemRect(999, &rect));
    EXPECT_TRUE(IsRectEmpty(&rect));
}

// The key colour is used nowhere but at (0, 0) and in the key-coloured
// backgrounds: the opaque pieces hold none of it.
TEST(SkinSet, OpaquePiecesHoldNoKeyColour)
{
    SBmpMapMgr skin;
    ASSERT_EQ(1, skin.Load(IDR_SKINSET_MAIN, IDB_SKIN_MAIN));
    ResourcePixels pixels(IDB_SKIN_MAIN);
    for (UINT id : {IDB_BK_LEFT, IDB_BK_MID, IDB_BK_RIGHT, IDB_HEADER_BK, IDB_BK_TIME_MID,
                    IDB_PROG_S, IDB_PROG_N, IDB_PROG_H}) {
        RECT r;
        ASSERT_EQ(1, skin.GetItemRect(id, &r));
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                ASSERT_NE(kKey, pixels.At(x, y)) << id << " at " << x << "," << y;
    }
}

TEST(SkinSet, DamagedSetsTable)
{
    const struct { const char* name; std::string bytes; int answer; std::size_t count; } cases[] = {
        {"two entries", SetBytes().Header(2).Entry(5, 5, 3, "A").Entry(6, 6, 4, "B").bytes, 1, 2},
        {"count past the data", SetBytes().Header(3).Entry(5, 5, 3, "A").Entry(6, 6, 4, "B").bytes,
         0, 0},
        {"count 0", SetBytes().Header(0).bytes, 0, 0},
        {"cut inside a name", SetBytes().Header(1).Entry(5, 5, 3, "ABC").bytes.substr(0, 40), 0, 0},
        {"header only, cut", std::string("\x01\x05\x00..", 5), 0, 0},
        {"key twice", SetBytes().Header(2).Entry(5, 5, 3, "first").Entry(5, 5, 9, "second").bytes,
         1, 1},
        {"trailing bytes", SetBytes().Header(1).Entry(5, 5, 3, "A").bytes + "xyz", 1, 1},
        {"huge count", SetBytes().Header(0xFFFFFFFF).Entry(5, 5, 3, "A").bytes, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SBmpMapMgr skin;
        EXPECT_EQ(c.answer, skin.ReadSkinSet(c.bytes.data(), c.bytes.size(), false));
        EXPECT_EQ(c.count, skin.Count());
    }
    SBmpMapMgr twice;
    std::string bytes = cases[5].bytes;
    twice.ReadSkinSet(bytes.data(), bytes.size(), false);
    EXPECT_EQ("first", twice.Items().at(5).Name);
    EXPECT_EQ(3, twice.Items().at(5).Rect.right);
}

TEST(SkinSet, MissingResourcesLeaveNothingLoaded)
{
    const struct { UINT set, bitmap; } cases[] = {
        {999, IDB_SKIN_MAIN}, {IDR_SKINSET_MAIN, 999}, {IDR_SKINSET_CHAT, 998}};
    for (const auto& c : cases) {
        SBmpMapMgr skin;
        EXPECT_EQ(0, skin.Load(c.set, c.bitmap));
        EXPECT_FALSE(skin.IsLoaded());
        EXPECT_EQ(0u, skin.Count());
        DibCanvas canvas(8, 8);
        EXPECT_EQ(0, skin.DrawItem(canvas.Dc(), {0, 0, 8, 8}, IDB_BTN_PLAY_N));
        EXPECT_EQ(0u, skin.GetItemKeyColor(IDB_BG_TRANS));
    }
}

TEST(SkinSet, XmlFormReadsBackWhatTheArchiveWrote)
{
    SBmpMapMgr written;
    ASSERT_EQ(1, written.Load(IDR_SKINSET_MAIN, IDB_SKIN_MAIN));
    std::ostringstream out;
    {
        boost::archive::xml_oarchive archive(out);
        archive << boost::serialization::make_nvp("BMPMGR", written);
    }
    std::string text = out.str();
    EXPECT_NE(std::string::npos, text.find("<BMPPATH>..\\main.bmp</BMPPATH>"));
    EXPECT_NE(std::string::npos, text.find("<l>"));

    SBmpMapMgr read;
    ASSERT_EQ(1, read.ReadSkinSet(text.c_str(), text.size() + 1, true));
    EXPECT_EQ(written.BitmapPath(), read.BitmapPath());
    ASSERT_EQ(written.Count(), read.Count());
    for (const auto& entry : written.Items()) {
        const UI_Mgr::SBmpItem& item = read.Items().at(entry.first);
        EXPECT_EQ(entry.second.Name, item.Name);
        EXPECT_TRUE(EqualRect(&entry.second.Rect, &item.Rect));
    }

    std::string broken = text.substr(0, text.size() / 2);
    SBmpMapMgr bad;
    EXPECT_EQ(0, bad.ReadSkinSet(broken.c_str(), broken.size(), true));
    EXPECT_EQ(0u, bad.Count());
}

class SkinDrawing : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, skin.Load(IDR_SKINSET_MAIN, IDB_SKIN_MAIN)); }
    RECT Item(UINT id)
    {
        RECT r;
        skin.GetItemRect(id, &r);
        return r;
    }
    SBmpMapMgr skin;
    ResourcePixels source{IDB_SKIN_MAIN};
};

TEST_F(SkinDrawing, CopyAndStretch)
{
    DibCanvas canvas(64, 64);
    RECT play = Item(IDB_BTN_PLAY_N);
    ASSERT_EQ(1, skin.DrawItem(canvas.Dc(), {2, 3, 30, 31}, IDB_BTN_PLAY_N, false));
    for (int y = 0; y < 28; ++y)
        for (int x = 0; x < 28; ++x)
            ASSERT_EQ(source.At(play.left + x, play.top + y), canvas.At(2 + x, 3 + y));

    // The 1-pixel middle piece stretched 20 wide: every column the same.
    RECT mid = Item(IDB_BK_MID);
    ASSERT_EQ(1, skin.DrawItem(canvas.Dc(), {0, 0, 20, 48}, IDB_BK_MID, true));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(source.At(mid.left, mid.top + y), canvas.At(x, y));

    EXPECT_EQ(0, skin.DrawItem(nullptr, {0, 0, 4, 4}, IDB_BK_MID));
    EXPECT_EQ(0, skin.DrawItem(canvas.Dc(), {0, 0, 4, 4}, 4242));
}

TEST_F(SkinDrawing, TransparentLeavesKeyPixels)
{
    COLORREF key = skin.GetItemKeyColor(IDB_BG_TRANS);
    EXPECT_EQ(kKey, key);
    EXPECT_EQ(source.At(0, 0), skin.GetItemKeyColor(4242));
    RECT stop = Item(IDB_BTN_STOP_N);
    EXPECT_EQ(source.At(stop.left, stop.top), skin.GetItemKeyColor(IDB_BTN_STOP_N));

    DibCanvas canvas(32, 32);
    canvas.Fill(kSentinel);
    RECT play = Item(IDB_BTN_PLAY_N);
    ASSERT_EQ(1, skin.DrawItemTrans(canvas.Dc(), {0, 0, 28, 28}, IDB_BTN_PLAY_N, key));
    int kept = 0, drawn = 0;
    for (int y = 0; y < 28; ++y)
        for (int x = 0; x < 28; ++x) {
            COLORREF s = source.At(play.left + x, play.top + y);
            if (s == key) {
                ASSERT_EQ(kSentinel, canvas.At(x, y));
                ++kept;
            } else {
                ASSERT_EQ(s, canvas.At(x, y));
                ++drawn;
            }
        }
    EXPECT_GT(kept, 0);
    EXPECT_GT(drawn, 0);
}

TEST_F(SkinDrawing, ThreePiecesWideAndNarrow)
{
    RECT l = Item(IDB_BK_TIME_LEFT), m = Item(IDB_BK_TIME_MID), r = Item(IDB_BK_TIME_RIGHT);
    const int h = 21;
    const struct { bool transparent; } looks[] = {{false}, {true}};
    for (const auto& look : looks) {
        SCOPED_TRACE(look.transparent);
        DibCanvas canvas(40, h);
        canvas.Fill(kSentinel);
        skin.DrawItem3(canvas.Dc(), {0, 0, 40, h}, IDB_BK_TIME_LEFT, IDB_BK_TIME_MID,
                       IDB_BK_TIME_RIGHT, look.transparent, kKey);
        for (int y = 0; y < h; ++y) {
            EXPECT_EQ(source.At(l.left + 3, l.top + y), canvas.At(3, y));
            EXPECT_EQ(source.At(m.left, m.top + y), canvas.At(20, y));
            EXPECT_EQ(source.At(r.left + 5, r.top + y), canvas.At(40 - 8 + 5, y));
        }
    }
    // Narrower than both ends: they keep their widths and overlap; no middle.
    DibCanvas narrow(10, h);
    narrow.Fill(kSentinel);
    skin.DrawItem3(narrow.Dc(), {0, 0, 10, h}, IDB_BK_TIME_LEFT, IDB_BK_TIME_MID,
                   IDB_BK_TIME_RIGHT, false, 0);
    for (int y = 0; y < h; ++y) {
        EXPECT_EQ(source.At(l.left, l.top + y), narrow.At(0, y));
        EXPECT_EQ(source.At(l.left + 1, l.top + y), narrow.At(1, y));
        for (int x = 2; x < 10; ++x)
            EXPECT_EQ(source.At(r.left + x - 2, r.top + y), narrow.At(x, y));
    }
}

// Each manager owns its bitmap: one control's skin going away leaves the
// other's drawing.
TEST(SkinSet, TwoManagersOwnTheirBitmaps)
{
    SBmpMapMgr first, second;
    ASSERT_EQ(1, first.Load(IDR_SKINSET_MAIN, IDB_SKIN_MAIN));
    ASSERT_EQ(1, second.Load(IDR_SKINSET_MAIN, IDB_SKIN_MAIN));
    EXPECT_NE(first.Bitmap(), second.Bitmap());
    first.Release();
    EXPECT_FALSE(first.IsLoaded());
    DibCanvas canvas(28, 28);
    canvas.Fill(kSentinel);
    ASSERT_EQ(1, second.DrawItem(canvas.Dc(), {0, 0, 28, 28}, IDB_BTN_PLAY_N, false));
    ResourcePixels source(IDB_SKIN_MAIN);
    RECT play;
    second.GetItemRect(IDB_BTN_PLAY_N, &play);
    EXPECT_EQ(source.At(play.left + 14, play.top + 1), canvas.At(14, 1));
    EXPECT_EQ(kKey, second.GetItemKeyColor(IDB_BG_TRANS));
}

}  // namespace
