#include "ui/SBmpMapMgr.h"

#include <cstring>
#include <exception>
#include <sstream>

#include <boost/archive/xml_iarchive.hpp>

#include "common/pack/Unpack.h"
#include "platform/window/WindowBase.h"

namespace UI_Mgr {

namespace {

const wchar_t kSkinSetType[] = L"SknSet";

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

}  // namespace

SBmpMapMgr::~SBmpMapMgr()
{
    Release();
}

int SBmpMapMgr::Load(UINT skinSetId, UINT bitmapId, bool xml)
{
    Release();
    // A bitmap of our own (not LR_SHARED): two controls of one page each load
    // a skin, and each deletes its bitmap and selects it into its own DC.
    bitmap_ = static_cast<HBITMAP>(LoadImageW(CWindowBase::ModuleInstance(),
                                              MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0,
                                              LR_CREATEDIBSECTION));
    if (!bitmap_)
        return 0;
    if (!LoadSkinSet(skinSetId, xml)) {
        DeleteObject(bitmap_);
        bitmap_ = nullptr;
        items_.clear();
        return 0;
    }
    memoryDc_ = CreateCompatibleDC(nullptr);
    if (!memoryDc_) {
        Release();
        return 0;
    }
    previousBitmap_ = SelectObject(memoryDc_, bitmap_);
    return 1;
}

int SBmpMapMgr::LoadSkinSet(UINT skinSetId, bool xml)
{
    HINSTANCE module = CWindowBase::ModuleInstance();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(skinSetId), kSkinSetType);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return 0;
    return ReadSkinSet(bytes, SizeofResource(module, found), xml);
}

int SBmpMapMgr::ReadSkinSet(const void* bytes, std::size_t size, bool xml)
{
    items_.clear();
    try {
        if (xml) {
            // The text ends at its NUL or at the end of the bytes.
            const char* text = static_cast<const char*>(bytes);
            std::istringstream stream(std::string(text, strnlen(text, size)));
            boost::archive::xml_iarchive archive(stream);
            archive >> boost::serialization::make_nvp("BMPMGR", *this);
        } else {
            nps::Unpack in(bytes, static_cast<std::uint32_t>(size));
            Unpack(in);
        }
    } catch (const std::exception&) {
        // A set cut short is a damaged resource: none of it is drawn.
        items_.clear();
    }
    return items_.empty() ? 0 : 1;
}

void SBmpMapMgr::Unpack(nps::Unpack& in)
{
    format_ = in.pop_uint8();
    bitmapPath_ = in.pop_varstr().str();
    UnpackMap(in);
}

void SBmpMapMgr::UnpackMap(nps::Unpack& in)
{
    std::uint32_t count = in.pop_uint32();
    // The count comes from the resource: entries are read one by one, so a
    // count past the data ends in the packer's read error, not a huge loop.
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t key = in.pop_uint32();
        SBmpItem item;
        item.Unpack(in);
        items_.emplace(key, std::move(item));
    }
}

void SBmpMapMgr::Release()
{
    if (memoryDc_) {
        SelectObject(memoryDc_, previousBitmap_);
        DeleteDC(memoryDc_);
        memoryDc_ = nullptr;
        previousBitmap_ = nullptr;
    }
    if (bitmap_) {
        DeleteObject(bitmap_);
        bitmap_ = nullptr;
    }
    items_.clear();
}

const SBmpItem* SBmpMapMgr::Find(std::uint32_t id) const
{
    auto it = items_.find(id);
    return it == items_.end() ? nullptr : &it->second;
}

int SBmpMapMgr::GetItemRect(std::uint32_t id, RECT* rect) const
{
    const SBmpItem* item = Find(id);
    *rect = item ? item->Rect : RECT{0, 0, 0, 0};
    return item ? 1 : 0;
}

SIZE SBmpMapMgr::ItemSize(std::uint32_t id) const
{
    const SBmpItem* item = Find(id);
    return item ? SIZE{Width(item->Rect), Height(item->Rect)} : SIZE{0, 0};
}

COLORREF SBmpMapMgr::GetItemKeyColor(std::uint32_t id) const
{
    if (!bitmap_ || items_.empty())
        return 0;
    const SBmpItem* item = Find(id);
    POINT at = item ? POINT{item->Rect.left, item->Rect.top} : POINT{0, 0};
    COLORREF colour = GetPixel(memoryDc_, at.x, at.y);
    return colour == CLR_INVALID ? 0 : colour;
}

int SBmpMapMgr::Blt(HDC dc, const RECT& dest, const RECT& source, bool stretch, DWORD rop) const
{
    if (!dc || !bitmap_)
        return 0;
    if (stretch) {
        StretchBlt(dc, dest.left, dest.top, Width(dest), Height(dest), memoryDc_, source.left,
                   source.top, Width(source), Height(source), rop);
    } else {
        BitBlt(dc, dest.left, dest.top, Width(dest), Height(dest), memoryDc_, source.left,
               source.top, rop);
    }
    return 1;
}

int SBmpMapMgr::TransBlt(HDC dc, const RECT& dest, const RECT& source, COLORREF key) const
{
    if (!dc || !bitmap_)
        return 0;
    return TransparentBlt(dc, dest.left, dest.top, Width(dest), Height(dest), memoryDc_,
                          source.left, source.top, Width(source), Height(source), key)
               ? 1
               : 0;
}

int SBmpMapMgr::DrawItem(HDC dc, const RECT& dest, std::uint32_t id, bool stretch,
                         DWORD rop) const
{
    const SBmpItem* item = dc ? Find(id) : nullptr;
    return item ? Blt(dc, dest, item->Rect, stretch, rop) : 0;
}

int SBmpMapMgr::DrawItemTrans(HDC dc, const RECT& dest, std::uint32_t id, COLORREF key) const
{
    const SBmpItem* item = dc ? Find(id) : nullptr;
    return item ? TransBlt(dc, dest, item->Rect, key) : 0;
}

int SBmpMapMgr::ItemWidth(std::uint32_t id) const
{
    const SBmpItem* item = Find(id);
    return item ? Width(item->Rect) : 0;
}

void SBmpMapMgr::DrawPiece(HDC dc, const RECT& dest, std::uint32_t id, bool transparent,
                           COLORREF key) const
{
    if (transparent)
        DrawItemTrans(dc, dest, id, key);
    else
        DrawItem(dc, dest, id, true, SRCCOPY);
}

// The end pieces keep their natural widths (overlapping when the destination
// is narrower than both); the middle piece stretches over the gap.
void SBmpMapMgr::DrawItem3(HDC dc, const RECT& dest, std::uint32_t leftId, std::uint32_t midId,
                           std::uint32_t rightId, bool transparent, COLORREF key) const
{
    int wL = ItemWidth(leftId);
    int wR = ItemWidth(rightId);
    DrawPiece(dc, {dest.left, dest.top, dest.left + wL, dest.bottom}, leftId, transparent, key);
    DrawPiece(dc, {dest.right - wR, dest.top, dest.right, dest.bottom}, rightId, transparent, key);
    // No gap, no middle: a negative width would draw it mirrored over the ends.
    if (dest.right - wR > dest.left + wL)
        DrawPiece(dc, {dest.left + wL, dest.top, dest.right - wR, dest.bottom}, midId,
                  transparent, key);
}

}  // namespace UI_Mgr
