#include "ui/DialogText.h"

#include <algorithm>

#include "platform/window/WindowBase.h"
#include "ui/DialogIds.h"

namespace dialogs {

std::wstring LoadText(UINT id)
{
    const wchar_t* text = nullptr;
    // With a zero length the call hands out the read-only resource itself.
    const int length = LoadStringW(CWindowBase::ModuleInstance(), id,
                                   reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 && text ? std::wstring(text, length) : std::wstring();
}

void ShowNotice(HWND owner, UINT id)
{
    ShowNotice(owner, LoadText(id));
}

void ShowNotice(HWND owner, const std::wstring& text)
{
    MessageBoxW(owner, text.c_str(), LoadText(IDS_NOTICE_CAPTION).c_str(), MB_ICONINFORMATION);
}

std::wstring ItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    std::wstring text(GetWindowTextLengthW(item) + 1, L'\0');
    text.resize(GetWindowTextW(item, &text[0], static_cast<int>(text.size())));
    return text;
}

void CenterDialog(HWND dialog)
{
    RECT area, box;
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner || !IsWindowVisible(owner) || !GetWindowRect(owner, &area))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(dialog, &box);
    const int w = box.right - box.left, h = box.bottom - box.top;
    int x = area.left + (area.right - area.left - w) / 2;
    int y = area.top + (area.bottom - area.top - h) / 2;
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - w));
    y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - h));
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace dialogs
