#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "common/SerializationExports.h"

#include <boost/serialization/map.hpp>
#include <boost/serialization/nvp.hpp>
#include <boost/serialization/string.hpp>

#include "ui/SBmpItem.h"

namespace UI_Mgr {

// One skin: a bitmap resource held in a memory DC, and a skin set that names
// rectangles of it by item id. Drawing an item is one blit from that DC.
// Runs on the thread of the windows it draws for; not copied.
//
// Skin set, binary form (resource type "SknSet"):
//
//   +--------+-------------+-------+------------------------------+
//   | format | bitmap path | count | count x (key u32, SBmpItem)  |
//   | u8     | varstr      | u32   |                              |
//   +--------+-------------+-------+------------------------------+
//
// Bytes after the last entry are ignored. A key listed twice keeps its first
// entry.
class SBmpMapMgr {
public:
    SBmpMapMgr() = default;
    ~SBmpMapMgr();
    SBmpMapMgr(const SBmpMapMgr&) = delete;
    SBmpMapMgr& operator=(const SBmpMapMgr&) = delete;

    // 1 when the bitmap and a non-empty set are loaded; else 0 and nothing held.
    int Load(UINT skinSetId, UINT bitmapId, bool xml = false);
    // ReadSkinSet over the module's "SknSet" resource of that id.
    int LoadSkinSet(UINT skinSetId, bool xml = false);
    // Reads a set from bytes: the binary form, or with xml the XML text of a
    // Boost.Serialization archive whose root is "BMPMGR". A set that does not
    // read to its end leaves the map empty; 1 when the map holds an item.
    int ReadSkinSet(const void* bytes, std::size_t size, bool xml);
    // Throw nps::unpack_error on a short set.
    void Unpack(nps::Unpack& in);
    void UnpackMap(nps::Unpack& in);
    void Release();

    int GetItemRect(std::uint32_t id, RECT* rect) const;
    // The item's width and height; 0 x 0 when it is missing.
    SIZE ItemSize(std::uint32_t id) const;
    COLORREF GetItemKeyColor(std::uint32_t id) const;
    int Blt(HDC dc, const RECT& dest, const RECT& source, bool stretch, DWORD rop) const;
    int TransBlt(HDC dc, const RECT& dest, const RECT& source, COLORREF key) const;
    int DrawItem(HDC dc, const RECT& dest, std::uint32_t id, bool stretch = true,
                 DWORD rop = SRCCOPY) const;
    int DrawItemTrans(HDC dc, const RECT& dest, std::uint32_t id, COLORREF key) const;
    void DrawItem3(HDC dc, const RECT& dest, std::uint32_t leftId, std::uint32_t midId,
                   std::uint32_t rightId, bool transparent, COLORREF key) const;

    bool IsLoaded() const { return bitmap_ != nullptr; }
    std::size_t Count() const { return items_.size(); }
    const std::map<std::uint32_t, SBmpItem>& Items() const { return items_; }
    const std::string& BitmapPath() const { return bitmapPath_; }
    HBITMAP Bitmap() const { return bitmap_; }

    template <class Archive>
    void serialize(Archive& ar, unsigned int /*version*/)
    {
        ar& boost::serialization::make_nvp("BMPPATH", bitmapPath_);
        ar& boost::serialization::make_nvp("BMPMAP", items_);
    }

private:
    const SBmpItem* Find(std::uint32_t id) const;
    int ItemWidth(std::uint32_t id) const;
    void DrawPiece(HDC dc, const RECT& dest, std::uint32_t id, bool transparent,
                   COLORREF key) const;

    std::map<std::uint32_t, SBmpItem> items_;
    std::string bitmapPath_;
    std::uint8_t format_ = 1;
    HDC memoryDc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
};

}  // namespace UI_Mgr
