#include "ui/CFakeBtn.h"

#include "ui/SBmpMapMgr.h"

void CFakeBtn::Setup(HWND owner, UINT id, std::uint32_t imageBase, COLORREF keyColour)
{
    window = owner;
    command = id;
    for (int i = 0; i < 4; ++i)
        images[i] = imageBase + i;
    key = keyColour;
}

int CFakeBtn::DrawnState() const
{
    if (disabled)
        return 3;
    if (latched || pressed)
        return 2;
    return hover ? 1 : 0;
}

void CFakeBtn::Draw(HDC dc, const UI_Mgr::SBmpMapMgr& skin)
{
    drawn = DrawnState();
    if (transparent)
        skin.DrawItemTrans(dc, *this, images[drawn], key);
    else
        skin.DrawItem(dc, *this, images[drawn], true, SRCCOPY);
}

void CFakeBtn::Invalidate() const
{
    if (window)
        InvalidateRect(window, this, TRUE);
}

bool CFakeBtn::MouseMove(POINT at)
{
    bool inside = PtInRect(this, at) != FALSE;
    if (inside == hover)
        return false;
    hover = inside;
    Invalidate();
    return true;
}

void CFakeBtn::ButtonDown(POINT at)
{
    if (PtInRect(this, at) && !pressed) {
        pressed = true;
        Invalidate();
    }
}

bool CFakeBtn::ButtonUp(POINT at)
{
    bool click = pressed && PtInRect(this, at);
    if (click) {
        pressed = false;
    } else {
        hover = false;
        pressed = false;
    }
    Invalidate();
    return click;
}
