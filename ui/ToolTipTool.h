#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

// A tool of a shared tooltip: the whole window of a widget, named by its
// handle, its tip text kept here. The record is the version-2 size, which
// every common-controls version takes.
class ToolTipTool {
public:
    // Activates the tooltip and adds the tool; false when the tooltip is not a
    // window or refuses it.
    bool Add(HWND tip, HWND widget, const std::wstring& text);
    void Remove();
    bool UpdateText(const std::wstring& text);
    // Hands a mouse message to the tooltip so that it can pop up.
    void Relay(UINT message, WPARAM wParam, LPARAM lParam) const;

    HWND Tip() const { return tip_; }
    const std::wstring& Text() const { return text_; }

private:
    TTTOOLINFOW Info(const std::wstring& text) const;

    HWND tip_ = nullptr;
    HWND widget_ = nullptr;
    std::wstring text_;
};
