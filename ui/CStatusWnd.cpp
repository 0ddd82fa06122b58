#include "ui/CStatusWnd.h"

#include "ui/PaintWindow.h"

void CStatusWnd::SetStateText(const wchar_t* text)
{
    stateText_ = text ? text : L"";
    if (Handle()) {
        LayoutTexts();
        InvalidateRect(Handle(), nullptr, TRUE);
    }
}

void CStatusWnd::SetStateText(UINT stringId)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(CWindowBase::ModuleInstance(), stringId,
                             reinterpret_cast<wchar_t*>(&text), 0);
    SetStateText(length > 0 ? std::wstring(text, length).c_str() : L"");
}

void CStatusWnd::SetText(int key, const wchar_t* text)
{
    if (text && *text)
        texts_[key] = text;
    else
        texts_.erase(key);
    if (Handle())
        InvalidateRect(Handle(), &rotationRect_, TRUE);
}

std::wstring CStatusWnd::GetCurrentText()
{
    if (texts_.empty())
        return std::wstring();
    auto it = texts_.find(currentKey_);
    if (it == texts_.end()) {
        it = texts_.begin();
        currentKey_ = it->first;
    }
    return it->second;
}

void CStatusWnd::ClearAll()
{
    stateText_.clear();
    texts_.clear();
    if (Handle())
        InvalidateRect(Handle(), nullptr, TRUE);
}

// The state text is measured, never cut: the rotating text starts after it.
void CStatusWnd::LayoutTexts()
{
    RECT client;
    GetClientRect(Handle(), &client);
    stateRect_ = client;
    stateRect_.left += 5;
    HDC dc = GetDC(Handle());
    HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(dc, stateText_.c_str(), -1, &stateRect_, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
    SelectObject(dc, font);
    rotationRect_ = client;
    rotationRect_.left = stateRect_.right + 5;
    ReleaseDC(Handle(), dc);
}

void CStatusWnd::Rotate()
{
    if (texts_.empty()) {
        currentKey_ = 0;
        return;
    }
    auto it = texts_.find(currentKey_);
    if (it == texts_.end() || std::next(it) == texts_.end())
        currentKey_ = texts_.begin()->first;
    else
        currentKey_ = std::next(it)->first;
    InvalidateRect(Handle(), &rotationRect_, TRUE);
}

void CStatusWnd::Paint(HDC dc)
{
    RECT client;
    GetClientRect(Handle(), &client);
    COLORREF background = SetBkColor(dc, RGB(0, 0, 0));
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    SetBkColor(dc, background);
    HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    COLORREF colour = SetTextColor(dc, RGB(255, 255, 255));
    int mode = SetBkMode(dc, TRANSPARENT);
    RECT state = stateRect_;
    DrawTextW(dc, stateText_.c_str(), -1, &state, DT_SINGLELINE | DT_BOTTOM);
    std::wstring current = GetCurrentText();
    RECT rotation = rotationRect_;
    DrawTextW(dc, current.c_str(), -1, &rotation,
              DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    SetBkMode(dc, mode);
    SetTextColor(dc, colour);
    SelectObject(dc, font);
}

bool CStatusWnd::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result)
{
    if (HandleSelfPaint(Handle(), message, [this](HDC dc, const RECT&) { Paint(dc); }, result))
        return true;
    switch (message) {
    case WM_SIZE:
        result = DefaultProc(message, wParam, lParam);
        LayoutTexts();
        return true;
    case WM_TIMER:
        if (wParam != kRotateTimer)
            return false;
        Rotate();
        result = 0;
        return true;
    }
    return false;
}
