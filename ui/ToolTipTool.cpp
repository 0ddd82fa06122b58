#include "ui/ToolTipTool.h"

#include "platform/window/WindowBase.h"

TTTOOLINFOW ToolTipTool::Info(const std::wstring& text) const
{
    TTTOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND;
    info.hwnd = GetParent(widget_);
    info.uId = reinterpret_cast<UINT_PTR>(widget_);
    info.hinst = CWindowBase::ModuleInstance();
    info.lpszText = const_cast<wchar_t*>(text.c_str());
    return info;
}

bool ToolTipTool::Add(HWND tip, HWND widget, const std::wstring& text)
{
    text_.clear();
    if (!IsWindow(tip))
        return false;
    widget_ = widget;
    SendMessageW(tip, TTM_ACTIVATE, TRUE, 0);
    TTTOOLINFOW info = Info(text);
    if (!SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)))
        return false;
    tip_ = tip;
    text_ = text;
    return true;
}

void ToolTipTool::Remove()
{
    if (tip_ && IsWindow(tip_)) {
        TTTOOLINFOW info = Info(L"");
        SendMessageW(tip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    tip_ = nullptr;
    text_.clear();
}

bool ToolTipTool::UpdateText(const std::wstring& text)
{
    if (!tip_ || !IsWindow(tip_))
        return false;
    TTTOOLINFOW info = Info(text);
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    text_ = text;
    return true;
}

void ToolTipTool::Relay(UINT message, WPARAM wParam, LPARAM lParam) const
{
    if (!tip_)
        return;
    MSG msg = {widget_, message, wParam, lParam, 0, {0, 0}};
    SendMessageW(tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}
