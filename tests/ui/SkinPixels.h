#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

// A 32-bpp top-down DIB section selected into a memory DC: what the widgets
// draw into in the tests, read back pixel by pixel.
class DibCanvas {
public:
    DibCanvas(int width, int height) : width_(width), height_(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~DibCanvas()
    {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    HDC Dc() const { return dc_; }
    void Fill(COLORREF colour)
    {
        GdiFlush();
        for (int i = 0; i < width_ * height_; ++i)
            bits_[i] = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    }
    COLORREF At(int x, int y) const
    {
        GdiFlush();
        std::uint32_t p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

// The pixels of a bitmap resource as the resource holds them (a packed
// 24-bpp bottom-up DIB), independent of what the code under test loads.
class ResourcePixels {
public:
    explicit ResourcePixels(UINT id)
    {
        HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));
        auto bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
        info_ = reinterpret_cast<const BITMAPINFOHEADER*>(bytes);
        pixels_ = bytes + info_->biSize;
    }
    int Width() const { return info_->biWidth; }
    int Height() const { return info_->biHeight; }
    int Bits() const { return info_->biBitCount; }
    COLORREF At(int x, int y) const
    {
        int stride = (Width() * 3 + 3) & ~3;
        const std::uint8_t* p = pixels_ + (Height() - 1 - y) * stride + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }

private:
    const BITMAPINFOHEADER* info_ = nullptr;
    const std::uint8_t* pixels_ = nullptr;
};
