#include "ui/SVolumeCtrl.h"

#include <windowsx.h>

#include <algorithm>

#include "ui/PaintWindow.h"
#include "ui/SBmpMapMgr.h"
#include "ui/TimeSpanText.h"
#include "ui/WidgetArea.h"

#ifdef SubclassWindow
#undef SubclassWindow
#endif

namespace UI {

namespace {

// A travel of zero or less (a slider no wider than its thumb, or bounds that
// meet) has every place at per mille 0 and the thumb at low.
int PerMille(int offset, int travel)
{
    return travel > 0 ? static_cast<int>(static_cast<std::int64_t>(offset) * 1000 / travel) : 0;
}

int Place(int travel, int perMille, int low)
{
    return travel > 0 ? static_cast<int>(travel * perMille * 0.001) + low : low;
}

}  // namespace

void SVolumeCtrl::DescribeClass(WNDCLASSEXW& wc)
{
    CWindowBase::DescribeClass(wc);
    wc.hbrBackground = nullptr;
    wc.lpszClassName = L"KX:SliderCtrl";
}

void SVolumeCtrl::Rescale(int oldLow, int oldHigh)
{
    if (high_ < low_)
        std::swap(high_, low_);
    int oldTravel = oldHigh - thumbWidth - oldLow;
    int travel = Travel();
    if (oldTravel <= 0 || travel <= 0)
        thumbLeft_ = low_;
    else
        thumbLeft_ = low_ + static_cast<int>(static_cast<double>(thumbLeft_ - oldLow) / oldTravel *
                                             travel);
    Layout();
    Invalidate(false);
}

bool SVolumeCtrl::SetRangeHigh(int high)
{
    int oldLow = low_, oldHigh = high_;
    high_ = high;
    Rescale(oldLow, oldHigh);
    return true;
}

bool SVolumeCtrl::SetRangeLow(int low)
{
    int oldLow = low_, oldHigh = high_;
    low_ = low;
    Rescale(oldLow, oldHigh);
    return true;
}

int SVolumeCtrl::GetPos() const
{
    return PerMille(thumbLeft_ - low_, Travel());
}

int SVolumeCtrl::GetPos2() const
{
    return PerMille(second_ - low_, high_ - low_);
}

bool SVolumeCtrl::SetPos(int perMille)
{
    if (perMille == GetPos())
        return false;
    thumbLeft_ = Place(Travel(), perMille, low_);
    Layout();
    Invalidate(false);
    return true;
}

bool SVolumeCtrl::SetPos2(int perMille)
{
    if (perMille == GetPos2())
        return false;
    second_ = Place(high_ - low_, perMille, low_);
    Layout();
    Invalidate(false);
    return true;
}

bool SVolumeCtrl::SetToolTip(HWND tip, const wchar_t* text)
{
    return text && *text && tool_.Add(tip, Handle(), text);
}

bool SVolumeCtrl::UpdateToolTipText(const wchar_t* text)
{
    return tool_.UpdateText(text ? text : L"");
}

void SVolumeCtrl::Layout()
{
    RECT client = {0, 0, 0, 0};
    if (Handle())
        GetClientRect(Handle(), &client);
    int width = client.right - client.left, height = client.bottom - client.top;
    int top = height / 2 - trackHeight / 2;
    track_ = {0, top, width, top + trackHeight};
    int mid = track_.top + (track_.bottom - track_.top) / 2;
    thumb_ = {thumbLeft_, mid - thumbHeight / 2, thumbLeft_ + thumbWidth,
              mid - thumbHeight / 2 + thumbHeight};
    if (keyItemId && Handle())
        InvalidateParentArea(Handle());
}

void SVolumeCtrl::Invalidate(bool withParent)
{
    if (!Handle())
        return;
    if (withParent || keyItemId)
        InvalidateParentArea(Handle());
    InvalidateRect(Handle(), nullptr, keyItemId ? TRUE : FALSE);
}

void SVolumeCtrl::Drag(int x)
{
    RECT moved = thumb_;
    OffsetRect(&moved, (x - dragOffset_) - moved.left, 0);
    state = kDragging;
    // Both bounds may apply to a slider narrower than its range: the right one
    // wins.
    if (moved.left < low_)
        OffsetRect(&moved, low_ - moved.left, 0);
    int right = low_ + std::min(high_ - low_, static_cast<int>(track_.right - track_.left)) -
                thumbWidth;
    if (moved.left > right)
        OffsetRect(&moved, right - moved.left, 0);
    thumb_ = moved;
    thumbLeft_ = moved.left;
    if (callback) {
        SliderChange change = {0, GetPos(), 0};
        callback(&change, callbackUser);
    }
    Invalidate(true);
}

bool SVolumeCtrl::InThumb(int x, int y) const
{
    POINT p = {x, y};
    return PtInRect(&thumb_, p) != FALSE;
}

void SVolumeCtrl::ShowTimeAt(int x)
{
    if (!duration || !tool_.Tip())
        return;
    std::int64_t perMille = PerMille(x - low_, Travel());
    std::int64_t seconds = perMille * static_cast<std::int64_t>(duration) / 1000;
    seconds = std::max<std::int64_t>(0, std::min<std::int64_t>(seconds, duration));
    UpdateToolTipText(TimeSpanText(seconds).c_str());
}

bool SVolumeCtrl::HandleMouse(UINT message, LPARAM lParam)
{
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    switch (message) {
    case WM_LBUTTONDOWN:
        if (state == kDisabled)
            return true;
        if (InThumb(x, y)) {
            dragOffset_ = x - thumbLeft_;
            state = kDragging;
            SetCapture(Handle());
            capturing_ = 1;
        } else {
            dragOffset_ = 0;
            Drag(x);
        }
        return true;
    case WM_MOUSEMOVE:
        if (capturing_) {
            Drag(x);
        } else if (state != kDisabled) {
            int hover = InThumb(x, y) ? kHover : kNormal;
            if (hover != state) {
                state = hover;
                Invalidate(false);
            }
        }
        ShowTimeAt(x);
        return true;
    case WM_LBUTTONUP:
        ReleaseCapture();
        capturing_ = 0;
        if (state != kDisabled)
            state = InThumb(x, y) ? kHover : kNormal;
        Invalidate(true);
        return true;
    }
    return false;
}

void SVolumeCtrl::Paint(HDC dc)
{
    if (!skin)
        return;
    RECT client = {0, 0, 0, 0};
    GetClientRect(Handle(), &client);
    RECT second = track_;
    second.right = second_;
    RECT fill = track_;
    fill.right = thumb_.left;
    std::uint32_t thumbId = thumbIds[std::max(0, std::min(state, 3))];
    RECT fillSource = {0, 0, 0, 0};
    skin->GetItemRect(fillId, &fillSource);
    if (keyItemId) {
        COLORREF key = skin->GetItemKeyColor(keyItemId);
        skin->DrawItemTrans(dc, client, backgroundId, key);
        skin->DrawItemTrans(dc, track_, trackId, key);
        skin->DrawItemTrans(dc, second, secondId, key);
        // The fill is cut, not squeezed, where the item is wider than the part
        // left of the thumb.
        if (fillSource.right - fillSource.left > fill.right - fill.left)
            fillSource.right = fillSource.left + (fill.right - fill.left);
        if (fill.right > fill.left)
            skin->TransBlt(dc, fill, fillSource, key);
        skin->DrawItemTrans(dc, thumb_, thumbId, key);
    } else {
        skin->DrawItem(dc, client, backgroundId, true, SRCCOPY);
        skin->DrawItem(dc, track_, trackId, true, SRCCOPY);
        skin->DrawItem(dc, second, secondId, true, SRCCOPY);
        skin->DrawItem(dc, thumb_, thumbId, true, SRCCOPY);
        skin->DrawItem(dc, fill, fillId, false, SRCCOPY);
    }
}

bool SVolumeCtrl::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT& result)
{
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) {
        if (duration)
            tool_.Relay(message, wParam, lParam);
        if (HandleMouse(message, lParam)) {
            result = 0;
            return true;
        }
        return false;
    }
    if (HandleSelfPaint(Handle(), message, [this](HDC dc, const RECT&) { Paint(dc); }, result))
        return true;
    switch (message) {
    case WM_SIZE:
        result = DefaultProc(message, wParam, lParam);
        Layout();
        return true;
    case kReflectBase + WM_CTLCOLORSTATIC:
        result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return true;
    }
    return false;
}

}  // namespace UI
