#pragma once

#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "ui/ADClock.h"
#include "ui/ADStrings.h"
#include "ui/BrowserLink.h"
#include "platform/window/WindowBase.h"
#include "ui/CADSet.h"

// What the pane and the overlay share: a ticker of text ads painted with
// double buffering, the item under the cursor, the hand cursor over linked
// items and the browser for a clicked link. T is the window class deriving
// from CWindowBase and from this; all calls on the window's thread.
template <class T>
class CADDisplayWnd {
public:
    static const UINT_PTR kTickTimer = 1;
    static const UINT kTickMs = 40;

    CADDisplayWnd() = default;
    CADDisplayWnd(const CADDisplayWnd&) = delete;
    CADDisplayWnd& operator=(const CADDisplayWnd&) = delete;
    // The window is gone by now: T's destructor runs Reset.
    virtual ~CADDisplayWnd()
    {
        if (set_)
            set_->Release();
        FreeFonts();
    }

    virtual void SetAdSet(CADSet* set);
    virtual void Reset();
    virtual void DrawBackground(HDC dc, const RECT& rect) = 0;
    virtual const _tagADSetting* GetSettings() = 0;
    virtual const std::vector<_tagAD>* GetItems() = 0;

    // 1-based index of the item under the cursor, 0 for none.
    int HitTest();
    // The client area as it looks now, drawn into dc at its origin.
    void Paint(HDC dc);
    // One step of the ticker (timer 1).
    void Tick();

    CADSet* AdSet() const { return set_; }
    HFONT AdFont() const { return adFont_; }
    HFONT LinkFont() const { return linkFont_; }
    double Offset() const { return offset_; }
    double Step() const { return step_; }
    int OverLink() const { return overLink_; }
    int WaitingUntil() const { return waitingUntil_; }
    int CurrentItem() const { return current_; }
    int PreviousItem() const { return previous_; }
    int Loops() const { return loop_; }
    // A horizontal one-at-a-time ticker between two items (not finished).
    bool IsPausingBetweenItems();
    // Starts a finished run again from its first item.
    void Restart();

protected:
    HWND Window() const { return static_cast<const T*>(this)->Handle(); }
    // The ticker's messages: timer 1, painting, the mouse and WM_DESTROY.
    bool HandleAdMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Builds the ad and link fonts; overlay: a large default face when the
    // settings name no font of their own.
    void BuildFonts(const _tagADSetting* settings, bool overlay);

    int loop_ = 0;

private:
    bool Valid(int index) { return GetItems() && index >= 0 && index < static_cast<int>(GetItems()->size()); }
    const _tagAD& Item(int index) { return (*GetItems())[index]; }
    bool Horizontal() { return GetSettings()->scrollMode == _tagADSetting::kHorizontal; }
    bool Vertical() { return GetSettings()->scrollMode == _tagADSetting::kVertical; }
    POINT CursorInClient() const;
    RECT Client() const;
    HFONT Font() const { return adFont_ ? adFont_ : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }
    RECT MeasureAt(HDC dc, const _tagAD& item, double x, const RECT& client);
    template <class Visit>
    bool LayoutTicker(HDC dc, const RECT& client, Visit visit);
    void DrawItem(HDC dc, const _tagAD& item, RECT rect, UINT format, bool link);
    void PaintTicker(HDC dc, const RECT& client, POINT cursor);
    void PaintOneAtATime(HDC dc, const RECT& client, POINT cursor);
    void PaintVertical(HDC dc, const RECT& client, POINT cursor);
    void TickVertical(int now);
    void OnMouse();
    void OnClick();
    void FreeFonts();

    CADSet* set_ = nullptr;   // one reference held
    double offset_ = 0;
    double step_ = 1.0;
    HFONT adFont_ = nullptr;
    HFONT linkFont_ = nullptr;
    int tracking_ = 0;
    int overLink_ = 0;
    HCURSOR hand_ = nullptr, arrow_ = nullptr;
    int waitingUntil_ = 0;
    int current_ = 0;
    int arrivedAt_ = 0;
    int previous_ = -1;
};

template <class T>
void CADDisplayWnd<T>::SetAdSet(CADSet* set)
{
    Reset();
    if (!set)
        return;
    set->AddRef();
    set_ = set;
    waitingUntil_ = 0;
    step_ = GetSettings()->speed * 0.04;
    if (Window())
        SetTimer(Window(), kTickTimer, kTickMs, nullptr);
}

template <class T>
void CADDisplayWnd<T>::Reset()
{
    if (set_) {
        CADSet* set = set_;
        set_ = nullptr;
        set->Release();
    }
    if (Window())
        KillTimer(Window(), kTickTimer);
    offset_ = 0;
    waitingUntil_ = 0;
    overLink_ = 0;
    current_ = 0;
    step_ = 1.0;
    arrivedAt_ = 0;
    previous_ = -1;
}

template <class T>
bool CADDisplayWnd<T>::IsPausingBetweenItems()
{
    return set_ && waitingUntil_ && Horizontal() && GetSettings()->pause > 0 && Valid(current_);
}

template <class T>
void CADDisplayWnd<T>::Restart()
{
    waitingUntil_ = 0;
    if (!Valid(current_))
        current_ = 0;
    if (set_ && Horizontal())
        offset_ = 0;
    arrivedAt_ = 0;
    previous_ = -1;
    if (Window())
        InvalidateRect(Window(), nullptr, FALSE);
}

template <class T>
void CADDisplayWnd<T>::FreeFonts()
{
    if (adFont_)
        DeleteObject(adFont_);
    if (linkFont_)
        DeleteObject(linkFont_);
    adFont_ = linkFont_ = nullptr;
}

template <class T>
void CADDisplayWnd<T>::BuildFonts(const _tagADSetting* settings, bool overlay)
{
    FreeFonts();
    LOGFONTW font = {};
    if (settings && settings->IsSet()) {
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
        font.lfHeight = settings->height;
        font.lfCharSet = settings->charset;
        font.lfPitchAndFamily = settings->pitchAndFamily;
        wchar_t face[LF_FACESIZE] = {};
        MultiByteToWideChar(CP_ACP, 0, settings->face.c_str(), -1, face, LF_FACESIZE - 1);
        lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
        adFont_ = CreateFontIndirectW(&font);
    } else if (overlay) {
        font.lfHeight = 30;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfWeight = FW_NORMAL;
        font.lfPitchAndFamily = FF_SWISS;
        LoadStringW(CWindowBase::ModuleInstance(), IDS_AD_OVERLAY_FACE, font.lfFaceName, LF_FACESIZE);
        adFont_ = CreateFontIndirectW(&font);
    }
    GetObjectW(Font(), sizeof font, &font);
    font.lfUnderline = 1;
    linkFont_ = CreateFontIndirectW(&font);
    if (!hand_)
        hand_ = LoadCursorW(nullptr, IDC_HAND);
    if (!arrow_)
        arrow_ = LoadCursorW(nullptr, IDC_ARROW);
}

template <class T>
POINT CADDisplayWnd<T>::CursorInClient() const
{
    POINT cursor = {-1000000, -1000000};
    if (GetCursorPos(&cursor))
        ScreenToClient(Window(), &cursor);
    return cursor;
}

template <class T>
RECT CADDisplayWnd<T>::Client() const
{
    RECT client = {0, 0, 0, 0};
    GetClientRect(Window(), &client);
    return client;
}

// The item's single line from x, as tall as the client area.
template <class T>
RECT CADDisplayWnd<T>::MeasureAt(HDC dc, const _tagAD& item, double x, const RECT& client)
{
    const int left = static_cast<int>(std::floor(x));
    RECT rect = {left, client.top, left, client.bottom};
    DrawTextW(dc, item.text.c_str(), -1, &rect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    rect.top = client.top;
    rect.bottom = client.bottom;
    return rect;
}

// Calls visit(index, rect) for each ticker item on screen, laid out as they
// are painted: from the right edge plus the offset, 5 pixels apart. False
// when every item has passed the left edge.
template <class T>
template <class Visit>
bool CADDisplayWnd<T>::LayoutTicker(HDC dc, const RECT& client, Visit visit)
{
    double x = client.right + offset_;
    bool any = false;
    for (int i = 0; Valid(i); ++i) {
        RECT rect = MeasureAt(dc, Item(i), x, client);
        x += (rect.right - rect.left) + 5;
        if (rect.right < 0)
            continue;
        if (rect.left > client.right)
            break;
        any = true;
        if (visit(i, rect))
            break;
    }
    return any;
}

template <class T>
void CADDisplayWnd<T>::DrawItem(HDC dc, const _tagAD& item, RECT rect, UINT format, bool link)
{
    SelectObject(dc, link && linkFont_ ? linkFont_ : Font());
    SetTextColor(dc, static_cast<COLORREF>(item.colour));
    DrawTextW(dc, item.text.c_str(), -1, &rect, format | DT_SINGLELINE | DT_NOPREFIX);
}

template <class T>
void CADDisplayWnd<T>::Paint(HDC target)
{
    const RECT client = Client();
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, Font());
    DrawBackground(dc, client);
    if (set_ && GetItems()) {
        SetBkMode(dc, TRANSPARENT);
        const POINT cursor = CursorInClient();
        overLink_ = 0;
        if (Vertical())
            PaintVertical(dc, client, cursor);
        else if (Horizontal() && GetSettings()->pause <= 0)
            PaintTicker(dc, client, cursor);
        else if (Horizontal())
            PaintOneAtATime(dc, client, cursor);
    }
    BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

template <class T>
void CADDisplayWnd<T>::PaintTicker(HDC dc, const RECT& client, POINT cursor)
{
    const bool drawn = LayoutTicker(dc, client, [&](int i, const RECT& rect) {
        const bool hovered = PtInRect(&rect, cursor) && linkFont_;
        if (hovered)
            overLink_ = 1;
        DrawItem(dc, Item(i), rect, DT_END_ELLIPSIS | DT_VCENTER, hovered);
        SelectObject(dc, Font());   // the next item is measured with the ad font
        return false;
    });
    if (!drawn) {
        // Every item has left on the left: start again, or finish the run.
        offset_ = 0;
        waitingUntil_ = loop_ ? 0 : ADClock::Now();
    }
}

template <class T>
void CADDisplayWnd<T>::PaintOneAtATime(HDC dc, const RECT& client, POINT cursor)
{
    if (waitingUntil_ || !Valid(current_))
        return;
    const RECT rect = MeasureAt(dc, Item(current_), client.right + offset_, client);
    if (rect.right >= 0) {
        const bool hovered = PtInRect(&rect, cursor) && linkFont_;
        if (hovered)
            overLink_ = 1;
        DrawItem(dc, Item(current_), rect, DT_END_ELLIPSIS | DT_VCENTER, hovered);
        return;
    }
    offset_ = 0;
    ++current_;
    if (!Valid(current_) && loop_)
        current_ = 0;
    const int now = ADClock::Now();
    waitingUntil_ = Valid(current_) ? now + GetSettings()->pause : now;
}

template <class T>
void CADDisplayWnd<T>::PaintVertical(HDC dc, const RECT& client, POINT cursor)
{
    if (waitingUntil_)
        return;
    const int height = client.bottom - client.top;
    const UINT format = DT_END_ELLIPSIS | DT_VCENTER | DT_CENTER;
    const int shift = static_cast<int>(std::ceil(offset_));
    if (offset_ > 0 && Valid(previous_)) {
        RECT leaving = client;
        OffsetRect(&leaving, 0, -(height - shift));
        DrawItem(dc, Item(previous_), leaving, format, false);
    }
    if (Valid(current_)) {
        RECT arriving = client;
        if (offset_ > 0)
            OffsetRect(&arriving, 0, shift);
        // The item shown is the one a click opens: it stays while hovered.
        const bool hovered = PtInRect(&client, cursor) != FALSE;
        if (hovered)
            overLink_ = 1;
        DrawItem(dc, Item(current_), arriving, format, hovered);
    }
}

template <class T>
void CADDisplayWnd<T>::Tick()
{
    if (overLink_)
        overLink_ = HitTest();
    if (!set_ || !GetSettings())
        return;
    const int now = ADClock::Now();
    if (Horizontal()) {
        if (Window() && !overLink_ && !waitingUntil_) {
            offset_ -= step_;
            InvalidateRect(Window(), nullptr, FALSE);
        } else if (waitingUntil_ && GetSettings()->pause > 0 && now >= waitingUntil_ &&
                   Valid(current_)) {
            waitingUntil_ = 0;
            offset_ = 0;
        }
    } else if (Vertical()) {
        TickVertical(now);
    }
}

template <class T>
void CADDisplayWnd<T>::TickVertical(int now)
{
    const RECT client = Client();
    const int height = client.bottom - client.top;
    if (overLink_)
        arrivedAt_ = now;   // the item stays while the cursor rests on it
    if (arrivedAt_ == 0) {
        offset_ = height;
        arrivedAt_ = now;
        step_ = height * 0.04;
    }
    if ((!loop_ && waitingUntil_) || now - arrivedAt_ < GetSettings()->stayTime) {
        if (!Valid(current_) && offset_ <= 0 && Valid(previous_)) {
            waitingUntil_ = now;   // the last item has left: the run is finished
            previous_ = -1;
        }
        if (offset_ <= 0)
            return;
        offset_ -= step_;
        if (offset_ < 1e-6)   // 25 steps of 4 % land on the place, not a hair above
            offset_ = 0;
    } else {
        previous_ = current_;
        ++current_;
        if (!Valid(current_) && loop_)
            current_ = 0;
        offset_ = height;
        arrivedAt_ = now;
        step_ = height * 0.04;
    }
    InvalidateRect(Window(), nullptr, FALSE);
}

template <class T>
int CADDisplayWnd<T>::HitTest()
{
    if (!set_ || !GetItems() || GetItems()->empty() || !Window())
        return 0;
    const RECT client = Client();
    const POINT cursor = CursorInClient();
    if (Vertical())
        return PtInRect(&client, cursor) && Valid(current_) ? current_ + 1 : 0;
    HDC dc = GetDC(Window());
    HGDIOBJ oldFont = SelectObject(dc, Font());
    int hit = 0;
    if (GetSettings()->pause > 0) {
        if (Valid(current_)) {
            const RECT rect = MeasureAt(dc, Item(current_), client.right + offset_, client);
            if (PtInRect(&rect, cursor))
                hit = current_ + 1;
        }
    } else {
        LayoutTicker(dc, client, [&](int i, const RECT& rect) {
            if (PtInRect(&rect, cursor))
                hit = i + 1;
            return hit != 0;
        });
    }
    SelectObject(dc, oldFont);
    ReleaseDC(Window(), dc);
    return hit;
}

template <class T>
void CADDisplayWnd<T>::OnMouse()
{
    overLink_ = HitTest();
    const bool linked = overLink_ && hand_ && !Item(overLink_ - 1).link.empty();
    SetCursor(linked ? hand_ : arrow_);
    // A player may have hidden the cursor: show it over the ads.
    CURSORINFO info = {};
    info.cbSize = sizeof info;
    if (GetCursorInfo(&info) && !(info.flags & CURSOR_SHOWING)) {
        int count;
        while ((count = ShowCursor(TRUE)) < 0) {
        }
        if (count > 0)
            ShowCursor(FALSE);
    }
    InvalidateRect(Window(), nullptr, FALSE);
}

// The server's link reaches the browser only when OpenBrowserLink finds it
// safe to hand on.
template <class T>
void CADDisplayWnd<T>::OnClick()
{
    const int hit = HitTest();
    if (hit)
        OpenBrowserLink(Item(hit - 1).link);
}

template <class T>
bool CADDisplayWnd<T>::HandleAdMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Window(), &ps);
        Paint(dc);
        EndPaint(Window(), &ps);
        result = 0;
        return true;
    }
    case WM_TIMER:
        if (wParam != kTickTimer)
            return false;
        Tick();
        result = 0;
        return true;
    case WM_MOUSEMOVE:
        if (!tracking_) {
            TRACKMOUSEEVENT track = {};
            track.cbSize = sizeof track;
            track.dwFlags = TME_HOVER | TME_LEAVE;
            track.hwndTrack = Window();
            track.dwHoverTime = 1;
            tracking_ = TrackMouseEvent(&track) ? 1 : 0;
        }
        OnMouse();
        result = 0;
        return true;
    case WM_MOUSEHOVER:
        OnMouse();
        result = 0;
        return true;
    case WM_MOUSELEAVE:
        overLink_ = 0;
        tracking_ = 0;
        InvalidateRect(Window(), nullptr, FALSE);
        result = 0;
        return true;
    case WM_LBUTTONDOWN:
        OnClick();
        result = 0;
        return true;
    case WM_DESTROY:
        static_cast<T*>(this)->Reset();
        return false;
    }
    return false;
}
